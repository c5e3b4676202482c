#pragma once
// tarvok-run's messages on standard error: "tarvok-run: <message>", one line each.

#include <string_view>
#include <utility>

#include <fmt/format.h>

namespace tarvok::tools {

// Writes "tarvok-run: <message>\n" on standard error, the message passed through printable(), in
// one locked stretch so that lines from several threads do not interleave. Never throws and
// allocates nothing; false when the line could not be written (standard error closed or full),
// which the caller may ignore, as there is nowhere left to report it.
bool note(std::string_view message) noexcept;

// A failure's message, then its exit status: a line that cannot be written changes nothing, the
// status stays.
template <typename... Args>
int fail(int status, fmt::format_string<Args...> format, Args&&... args) {
  note(fmt::format(format, std::forward<Args>(args)...));
  return status;
}

}  // namespace tarvok::tools
