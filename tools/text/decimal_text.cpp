#include "text/decimal_text.h"

#include "text/number_text.h"

namespace tarvok::tools {

std::optional<float> parseDecimal(std::string_view text) noexcept {
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p != end && *p == '-';
  if (p != end && (*p == '-' || *p == '+')) ++p;
  const auto length = static_cast<unsigned>(end - p < 8 ? end - p : 8);
  // Up to 7 bytes: all at once, from a copy that reads nothing past the text.
  if (length - 1 < 7) {
    char word[8] = {};
    std::memcpy(word, p, length);
    std::uint32_t m;
    unsigned places;
    if (decimalOfLength(decimal_detail::loadWord(word), length, m, places)) {
      const float magnitude = static_cast<float>(m) / kDecimalPowers[places];
      return negative ? -magnitude : magnitude;
    }
  }
  // Longer, or not on the fast path: byte by byte. The digits as one integer m, exact in 64 bits
  // for up to 19 of them (leading zeros cost nothing).
  std::uint64_t m = 0;
  int digits = 0, places = 0;
  bool point = false;
  const char* const first = p;
  for (; p != end; ++p) {
    if (*p == '.' && !point && p != first) {
      point = true;
      continue;
    }
    const unsigned d = static_cast<unsigned char>(*p) - unsigned{'0'};
    if (d > 9) return std::nullopt;
    m = m * 10 + d;
    ++digits;
    if (point) ++places;
  }
  if (digits == 0 || (point && places == 0)) return std::nullopt;
  // As decimalOfLength: m below 2^24 and 10^places are exact floats, and the division rounds once.
  if (digits <= 19 && places <= 3 && m < (std::uint64_t{1} << 24)) {
    const float magnitude =
        static_cast<float>(static_cast<std::uint32_t>(m)) / kDecimalPowers[places];
    return negative ? -magnitude : magnitude;
  }
  // A plain decimal, which parseNumber reads exactly.
  return parseNumber(text);
}

}  // namespace tarvok::tools
