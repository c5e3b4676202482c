#include "text/markup_text.h"

namespace tarvok::tools {

namespace {

bool forbidden(std::uint32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0xFFFE || cp == 0xFFFF;
}

}  // namespace

std::size_t utf8Length(std::string_view text, std::size_t i, std::uint32_t& cp) noexcept {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  std::uint32_t least = 0;
  if (lead < 0x80) {
    cp = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, cp = lead & 0x1Fu, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, cp = lead & 0x0Fu, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, cp = lead & 0x07u, least = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3Fu);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

std::string markupText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t cp = 0;
    const std::size_t length = utf8Length(text, i, cp);
    if (length == 0 || forbidden(cp)) {
      out += '?';
      i += length == 0 ? 1 : length;
      continue;
    }
    switch (text[i]) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out.append(text.data() + i, length);
    }
    i += length;
  }
  return out;
}

std::string_view lastCharacters(std::string_view text, std::size_t maxChars, bool& cut) noexcept {
  // The start of each of the last maxChars - 3 characters is found from the front, since UTF-8
  // cannot be read backwards when it is not well formed.
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++count) {
    std::uint32_t cp = 0;
    const std::size_t length = utf8Length(text, i, cp);
    i += length == 0 ? 1 : length;
  }
  cut = count > maxChars;
  if (!cut) return text;
  std::size_t skip = count - (maxChars - 3);
  std::size_t i = 0;
  while (skip-- > 0) {
    std::uint32_t cp = 0;
    const std::size_t length = utf8Length(text, i, cp);
    i += length == 0 ? 1 : length;
  }
  return text.substr(i);
}

}  // namespace tarvok::tools
