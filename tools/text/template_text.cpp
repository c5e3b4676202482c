#include "text/template_text.h"

namespace tarvok::tools {

std::string filled(std::string text,
                   std::initializer_list<std::pair<const char*, std::string>> values) {
  for (const auto& [name, value] : values) {
    const std::string key = std::string("{") + name + "}";
    for (std::size_t at = text.find(key); at != std::string::npos;
         at = text.find(key, at + value.size())) {
      text.replace(at, key.size(), value);
    }
  }
  return text;
}

}  // namespace tarvok::tools
