#pragma once
// Plain decimals, as the terminal's text exports write prices: read fast, and to the same float
// as parseNumber.

#include <optional>
#include <string_view>

namespace tarvok::tools {

// The float nearest the decimal (ties to even): an optional sign, digits, and optionally a point
// followed by digits ("10.35", "-0.125", "007"); no value for any other text (no exponent, no
// "inf" or "nan", no blanks). Bit for bit what parseNumber gives for the same text.
std::optional<float> parseDecimal(std::string_view text) noexcept;

}  // namespace tarvok::tools
