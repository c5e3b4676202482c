#pragma once
// Text of any bytes (file names, symbols, messages) inside a UTF-8 document: an SVG picture or an
// HTML page.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvok::tools {

// The length of the well-formed UTF-8 sequence at text[i], its code point in cp; 0 when there is
// none there (a stray byte, an overlong form, a surrogate or a code point past U+10FFFF).
std::size_t utf8Length(std::string_view text, std::size_t i, std::uint32_t& cp) noexcept;

// The text as character data or attribute value of a UTF-8 document: the markup characters
// & < > " ' as references; a '?' for every byte that is not part of well-formed UTF-8 and for
// every character that XML forbids or that a reader cannot see (C0 and C1 controls, U+FFFE,
// U+FFFF). The result is always well-formed UTF-8.
std::string markupText(std::string_view text);

// The last maxChars characters of the text (a byte outside well-formed UTF-8 counts as one), after
// "..." when it is longer; maxChars is at least 4.
std::string_view lastCharacters(std::string_view text, std::size_t maxChars, bool& cut) noexcept;

}  // namespace tarvok::tools
