#pragma once
// GBK (code page 936), the encoding of the terminal's text files and code tables, to and from
// UTF-8, the tools' own text. The table is Python's gbk codec, written out at build time: the same
// in every build, and none of the runtimes the tools are built with has a GBK decoder of its own.
// Single bytes below 0x80 are ASCII; a pair is a lead byte 0x81 to 0xFE and a trail byte 0x40 to
// 0xFE but 0x7F, of which 21,791 are characters. Everything else is refused: the byte 0x80 (the
// euro sign of Windows' code page), the user-defined areas, 0xFF, and a lead byte at the end.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarvok::tools {

// Appends the UTF-8 form of the GBK text to out. Returns true; or false with errorAt set to the
// offset of the first byte that does not begin a GBK character, out then holding the text before
// it.
bool gbkToUtf8(std::string_view gbk, std::string& out, std::size_t& errorAt);

// The UTF-8 form of the GBK text; no value when it is not wholly GBK.
std::optional<std::string> gbkToUtf8(std::string_view gbk);

// Appends the GBK form of the UTF-8 text to out. Returns true; or false with errorAt set to the
// offset of the first character that GBK lacks or that is not well-formed UTF-8.
bool utf8ToGbk(std::string_view utf8, std::string& out, std::size_t& errorAt);

// Whether the text is wholly well-formed UTF-8 (no stray byte, overlong form or surrogate).
bool isValidUtf8(std::string_view text) noexcept;

}  // namespace tarvok::tools
