#pragma once
// Plain decimals, as the terminal's text exports write prices: read fast, and to the same float
// as parseNumber.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace tarvok::tools {

// The float nearest the decimal (ties to even): an optional sign, digits, and optionally a point
// followed by digits ("10.35", "-0.125", "007"); no value for any other text (no exponent, no
// "inf" or "nan", no blanks). Bit for bit what parseNumber gives for the same text.
std::optional<float> parseDecimal(std::string_view text) noexcept;

namespace decimal_detail {

// The bytes at p as one 64-bit word, the first in the lowest byte, on any host.
inline std::uint64_t loadWord(const char* p) noexcept {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  w = __builtin_bswap64(w);
#endif
  return w;
}

// The place of the lowest byte whose high bit is set (flags not 0).
inline unsigned lowestByte(std::uint64_t flags) noexcept {
  return static_cast<unsigned>(__builtin_ctzll(flags)) >> 3;
}

}  // namespace decimal_detail

inline constexpr float kDecimalPowers[] = {1.0f, 10.0f, 100.0f, 1000.0f};

// Whether the first `length` bytes of w (1 to 7, the first byte lowest; the rest of w is not
// looked at) are a plain decimal without its sign on the fast path: digits, optionally a point and
// 1 to 3 digits. Then m holds its digits as one integer and places their number after the point,
// and float(m) / kDecimalPowers[places] is its float, as parseDecimal and parseNumber read it:
// below 2^24 (7 digits at most) m is an exact float, and so is 10^k for k up to 3; IEEE division
// rounds the exact quotient once, to nearest even, so the quotient is the float nearest the
// decimal. Negating is exact. That needs single-precision division as IEEE defines it, never x87's
// wider one: tarvok::float_rules, which every user of this header has from the text library.
// No byte's test carries or borrows into the next, so every byte is judged on its own.
inline bool decimalOfLength(std::uint64_t w, unsigned length, std::uint32_t& m,
                            unsigned& places) noexcept {
  constexpr std::uint64_t kHigh = 0x8080808080808080ull, kLow7 = 0x7F7F7F7F7F7F7F7Full;
  if (length - 1 > 6) return false;
  // A digit is 0x30 to 0x39: its high bit clear, its low 7 bits at least 0x30 (+ 0x50 sets bit 7)
  // and below 0x3A (+ 0x46 leaves bit 7 clear). Only the field's own bytes count.
  const std::uint64_t low = w & kLow7;
  const std::uint64_t nonDigit =
      (w | ~(low + 0x5050505050505050ull) | (low + 0x4646464646464646ull)) & kHigh &
      ((std::uint64_t{1} << (8 * length)) - 1);
  std::uint64_t values = w & 0x0F0F0F0F0F0F0F0Full;  // each digit's value, in its byte
  unsigned digits = length;
  places = 0;
  if (nonDigit != 0) {
    // One point, with digits before it and 1 to 3 after it.
    const unsigned point = decimal_detail::lowestByte(nonDigit);
    places = length - point - 1;
    if ((nonDigit & (nonDigit - 1)) != 0 || static_cast<unsigned char>(w >> (8 * point)) != '.' ||
        point == 0 || places - 1 > 2) {
      return false;
    }
    // The places moved down one byte, onto the point.
    const std::uint64_t front = (std::uint64_t{1} << (8 * point)) - 1;
    values = (values & front) | ((values >> 8) & ~front);
    --digits;
  }
  // The digits to the top bytes, the bytes past them shifted out and zeros before them; then pairs,
  // fours and eights of digits summed in place, each product within its lane.
  values <<= 8 * (8 - digits);
  values = (values * 2561) >> 8 & 0x00FF00FF00FF00FFull;
  values = (values * 6553601) >> 16 & 0x0000FFFF0000FFFFull;
  values = (values * 42949672960001ull) >> 32;
  m = static_cast<std::uint32_t>(values);
  return true;
}

}  // namespace tarvok::tools
