#pragma once
// Data and paths quoted in messages, shown so that no byte of them can act on the terminal.

#include <string>
#include <string_view>

namespace tarvok::tools {

// The text with every control byte (below 0x20, and 0x7F) written as \xNN: a CR, a form feed or
// an escape sequence in the data cannot move the cursor or colour the terminal, and a NUL cannot
// cut the message short. Other bytes stay as they are (paths in UTF-8 or the ANSI code page), and
// so does the backslash, so that escaping twice changes nothing.
std::string printable(std::string_view text);

// The longest a byte is shown: "\xNN".
inline constexpr std::size_t kMaxShownByte = 4;

// One byte as printable() shows it, written to out (room for kMaxShownByte); returns the count.
std::size_t showByte(unsigned char c, char* out) noexcept;

}  // namespace tarvok::tools
