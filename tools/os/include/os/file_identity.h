#pragma once
// Whether two names reach one file, so that an output never overwrites an input.

#include <cstdio>
#include <string>

namespace tarvok::tools {

// Whether the path names the file open on the stream, through any name or link. False when the
// path names nothing, or the stream is no regular file (a pipe, a terminal, a device).
bool isOpenFile(std::FILE* stream, const std::string& path) noexcept;

// Whether the two paths name one existing regular file.
bool isSameFile(const std::string& a, const std::string& b) noexcept;

// Whether the path names a directory.
bool isDirectory(const std::string& path) noexcept;

}  // namespace tarvok::tools
