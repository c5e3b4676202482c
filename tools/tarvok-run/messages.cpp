#include "messages.h"

#include <cstdio>

#include "exit_status.h"
#include "os/os.h"
#include "text/message_text.h"

namespace tarvok::tools {

bool note(std::string_view message) noexcept {
  // Standard error is unbuffered: gather the line in pieces of a fixed size, so that a short
  // message is one write.
  char buffer[1024];
  std::size_t used = 0;
  bool written = true;
  std::FILE* const out = stderr;
  os::lockStream(out);
  const auto flush = [&] {
    if (used != 0 && !os::writeText(out, std::string_view(buffer, used))) written = false;
    used = 0;
  };
  const auto put = [&](std::string_view text, bool escape) {
    for (const char c : text) {
      // Pieces end before a character, not inside one, so that a console shows each whole; the
      // margin leaves room for the rest of a character begun near the end (bytes that are no
      // UTF-8 are cut anywhere).
      const bool startsCharacter = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
      if (used + kMaxShownByte > sizeof buffer ||
          (used + 2 * kMaxShownByte > sizeof buffer && startsCharacter)) {
        flush();
      }
      if (escape) {
        used += showByte(static_cast<unsigned char>(c), buffer + used);
      } else {
        buffer[used++] = c;
      }
    }
  };
  put(kProgram, true);
  put(": ", false);
  put(message, true);
  put("\n", false);
  flush();
  if (std::fflush(out) != 0) written = false;
  // A later message gets its own chance, e.g. once a full disk has room again.
  if (!written) std::clearerr(out);
  os::unlockStream(out);
  return written;
}

}  // namespace tarvok::tools
