#pragma once
// Messages on standard error that quote data or paths: shown so that no byte of the data can act
// on the terminal, and written so that a failed write can neither throw nor stop the program.

#include <string>
#include <string_view>

namespace tarvok::tools {

// The text with every control byte (below 0x20, and 0x7F) written as \xNN: a CR, a form feed or
// an escape sequence in the data cannot move the cursor or colour the terminal, and a NUL cannot
// cut the message short. Other bytes stay as they are (paths in UTF-8 or the ANSI code page), and
// so does the backslash, so that escaping twice changes nothing.
std::string printable(std::string_view text);

// Writes "<program>: <message>\n" on standard error, the message passed through printable(), in
// one locked stretch so that lines from several threads do not interleave. Never throws and
// allocates nothing; false when the line could not be written (standard error closed or full),
// which the caller may ignore, as there is nowhere left to report it.
bool writeMessage(std::string_view program, std::string_view message) noexcept;

}  // namespace tarvok::tools
