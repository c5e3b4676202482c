#pragma once
// Names in paths as the user gives them, with '/' or '\' between folders on any system.

#include <string_view>

namespace tarvok::tools {

// What follows the last separator: the file's own name.
constexpr std::string_view baseName(std::string_view path) noexcept {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace tarvok::tools
