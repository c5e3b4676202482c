#pragma once
// The words of a message or page in either language are templates with named places, since the
// order of what they say differs between Chinese and English.

#include <initializer_list>
#include <string>
#include <utility>

namespace tarvok::tools {

// Each "{name}" place of the template replaced by its text; a replacement is not searched again.
std::string filled(std::string text,
                   std::initializer_list<std::pair<const char*, std::string>> values);

}  // namespace tarvok::tools
