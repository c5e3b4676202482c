#include "text/message_text.h"

#include <cstdio>

namespace tarvok::tools {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// Appends the byte as shown, to at most 4 chars at out; returns how many.
std::size_t show(unsigned char c, char* out) {
  if (!isControl(c)) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  out[0] = '\\';
  out[1] = 'x';
  out[2] = kHexDigits[c >> 4];
  out[3] = kHexDigits[c & 0xF];
  return 4;
}

void lockStream(std::FILE* stream) {
#ifdef _WIN32
  _lock_file(stream);
#else
  flockfile(stream);
#endif
}

void unlockStream(std::FILE* stream) {
#ifdef _WIN32
  _unlock_file(stream);
#else
  funlockfile(stream);
#endif
}

}  // namespace

std::string printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  char bytes[4];
  for (const char c : text) shown.append(bytes, show(static_cast<unsigned char>(c), bytes));
  return shown;
}

bool writeMessage(std::string_view program, std::string_view message) noexcept {
  // Standard error is unbuffered: gather the line in pieces of a fixed size, so that a short
  // message is one write.
  char buffer[1024];
  std::size_t used = 0;
  bool written = true;
  std::FILE* const out = stderr;
  lockStream(out);
  const auto flush = [&] {
    if (used != 0 && std::fwrite(buffer, 1, used, out) != used) written = false;
    used = 0;
  };
  const auto put = [&](std::string_view text, bool escape) {
    for (const char c : text) {
      if (used + 4 > sizeof buffer) flush();
      if (escape) {
        used += show(static_cast<unsigned char>(c), buffer + used);
      } else {
        buffer[used++] = c;
      }
    }
  };
  put(program, true);
  put(": ", false);
  put(message, true);
  put("\n", false);
  flush();
  if (std::fflush(out) != 0) written = false;
  // A later message gets its own chance, e.g. once a full disk has room again.
  if (!written) std::clearerr(out);
  unlockStream(out);
  return written;
}

}  // namespace tarvok::tools
