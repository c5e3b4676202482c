#include "text/decimal_text.h"

#include <cstdint>

#include "text/number_text.h"

namespace tarvok::tools {

std::optional<float> parseDecimal(std::string_view text) noexcept {
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p != end && *p == '-';
  if (p != end && (*p == '-' || *p == '+')) ++p;
  // The digits as one integer m, while it fits in 32 bits (nine digits always do).
  std::uint32_t m = 0;
  int digits = 0, places = 0;
  bool point = false;
  const char* const first = p;
  for (; p != end; ++p) {
    if (*p == '.' && !point && p != first) {
      point = true;
      continue;
    }
    const unsigned d = static_cast<unsigned char>(*p) - '0';
    if (d > 9) return std::nullopt;
    if (digits < 9) m = m * 10 + d;
    ++digits;
    if (point) ++places;
  }
  if (digits == 0 || (point && places == 0)) return std::nullopt;
  // Below 2^24, m is an exact float, and so is 10^k for k up to 3 (1000 < 2^24). IEEE division
  // rounds the exact quotient of its operands once, to nearest even, so float(m) / float(10^k) is
  // the float nearest m / 10^k, the decimal's value, as parseNumber reads it. Negating is exact.
  // Longer or larger decimals take parseNumber itself.
  static constexpr float kPowers[] = {1.0f, 10.0f, 100.0f, 1000.0f};
  if (digits <= 9 && places <= 3 && m < (1u << 24)) {
    const float magnitude = static_cast<float>(m) / kPowers[places];
    return negative ? -magnitude : magnitude;
  }
  return parseNumber(text);
}

}  // namespace tarvok::tools
