#pragma once
// Formatting onto the end of a string, as the chart and the page build their documents.

#include <iterator>
#include <string>
#include <utility>

#include <fmt/format.h>

namespace tarvok::tools {

template <typename... T>
void appendFormat(std::string& out, fmt::format_string<T...> format, T&&... args) {
  fmt::format_to(std::back_inserter(out), format, std::forward<T>(args)...);
}

}  // namespace tarvok::tools
