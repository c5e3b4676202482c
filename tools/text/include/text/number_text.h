#pragma once
// Numbers in text, read the same way in every build: the CSV fields and the options that reach
// function 10.

#include <optional>
#include <string_view>

namespace tarvok::tools {

// The float a text spells, correctly rounded (to nearest, ties to even); no value when the text
// is not wholly a number. Accepted, after an optional sign: decimal ("12", "-0.5", ".5", "1e3"),
// hex-float ("0x1.8p3"), "inf" or "infinity", and "nan" or "nan(P)" in any case. Too large a value
// gives an infinity, too small a one a zero, both with the sign. A NaN is quiet: "nan" has the
// bits 0x7FC00000, "nan(P)" has P, a decimal or 0x-hex number below 2^22, in its low bits
// (0x7FC00000 | P); a minus sign sets the sign bit. No blanks are taken: the caller trims them.
// The same code in every build (std::from_chars, with signs, prefixes and NaNs handled here), so
// that no C library's reading of NaN payloads or locale enters.
std::optional<float> parseNumber(std::string_view text) noexcept;

}  // namespace tarvok::tools
