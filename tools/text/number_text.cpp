#include "text/number_text.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>

#include "text/ascii.h"

namespace tarvok::tools {

namespace {

bool isDigit(char c, int base) {
  const char l = asciiLower(c);
  return (c >= '0' && c <= '9') || (base == 16 && l >= 'a' && l <= 'f');
}

float withSign(float magnitude, bool negative) { return negative ? -magnitude : magnitude; }

float floatFromBits(std::uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// "nan" or "nan(P)", after the sign.
std::optional<float> parseNan(std::string_view text, bool negative) {
  constexpr std::uint32_t kQuietNan = 0x7FC00000u;
  constexpr std::uint32_t kPayloadLimit = 1u << 22;
  std::uint32_t payload = 0;
  if (text.size() > 3) {
    if (text[3] != '(' || text.back() != ')') return std::nullopt;
    std::string_view digits = text.substr(4, text.size() - 5);
    int base = 10;
    if (startsWithIgnoringCase(digits, "0x")) {
      base = 16;
      digits.remove_prefix(2);
    }
    if (digits.empty()) return std::nullopt;
    for (const char c : digits) {
      if (!isDigit(c, base)) return std::nullopt;
      const char l = asciiLower(c);
      payload = payload * static_cast<std::uint32_t>(base) +
                static_cast<std::uint32_t>(l <= '9' ? l - '0' : l - 'a' + 10);
      if (payload >= kPayloadLimit) return std::nullopt;
    }
  }
  return floatFromBits((negative ? 0x80000000u : 0u) | kQuietNan | payload);
}

// Whether a number that from_chars found out of range overflowed rather than underflowed: such a
// number lies far from 1, on the side that the place of its first significant digit and its
// exponent give. The text was wholly taken by from_chars, so its form is known.
bool overflowed(std::string_view text, bool hex) {
  const char exponentMark = hex ? 'p' : 'e';
  long long integerDigits = 0;
  long long leadingZeros = 0;
  bool point = false;
  bool significant = false;
  std::size_t i = 0;
  for (; i < text.size() && asciiLower(text[i]) != exponentMark; ++i) {
    if (text[i] == '.') {
      point = true;
      continue;
    }
    if (!point) ++integerDigits;
    if (!significant && text[i] == '0') {
      ++leadingZeros;
    } else {
      significant = true;
    }
  }
  long long exponent = 0;  // a power of ten, or of two for hex-float
  if (i < text.size()) {
    ++i;
    bool negative = false;
    if (text[i] == '-' || text[i] == '+') negative = text[i++] == '-';
    for (; i < text.size(); ++i) {
      if (exponent < 1000000000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  const long long place = integerDigits - leadingZeros;  // of the first significant digit; 1: units
  return place * (hex ? 4 : 1) + exponent > 0;
}

}  // namespace

std::optional<float> parseNumber(std::string_view text) noexcept {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (startsWithIgnoringCase(text, "nan")) return parseNan(text, negative);
  std::chars_format format = std::chars_format::general;
  if (startsWithIgnoringCase(text, "0x")) {
    format = std::chars_format::hex;
    text.remove_prefix(2);
    // from_chars would also take "inf" here.
    if (text.empty() || !(isDigit(text[0], 16) || text[0] == '.')) return std::nullopt;
  }
  // from_chars takes a minus sign of its own, never a second one from us.
  if (text.empty() || text[0] == '-' || text[0] == '+') return std::nullopt;
  float value = 0.0f;
  const char* const end = text.data() + text.size();
  const std::from_chars_result result = std::from_chars(text.data(), end, value, format);
  if (result.ptr != end) return std::nullopt;
  if (result.ec == std::errc::result_out_of_range) {
    value = overflowed(text, format == std::chars_format::hex)
                ? std::numeric_limits<float>::infinity()
                : 0.0f;
  } else if (result.ec != std::errc()) {
    return std::nullopt;
  }
  return withSign(value, negative);
}

}  // namespace tarvok::tools
