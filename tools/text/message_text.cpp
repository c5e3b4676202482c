#include "text/message_text.h"

namespace tarvok::tools {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

}  // namespace

std::size_t showByte(unsigned char c, char* out) noexcept {
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

std::string printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  char bytes[4];
  for (const char c : text) shown.append(bytes, showByte(static_cast<unsigned char>(c), bytes));
  return shown;
}

}  // namespace tarvok::tools
