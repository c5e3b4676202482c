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
    if (used != 0 && std::fwrite(buffer, 1, used, out) != used) written = false;
    used = 0;
  };
  const auto put = [&](std::string_view text, bool escape) {
    for (const char c : text) {
      if (used + kMaxShownByte > sizeof buffer) flush();
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
