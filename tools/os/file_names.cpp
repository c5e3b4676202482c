// Rules of file names that every build applies the same way.

#include "os/os.h"
#include "text/ascii.h"

namespace tarvok::os {

std::string_view withoutTrailingDotsAndSpaces(std::string_view name) noexcept {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
  return name;
}

bool isWindowsDeviceName(std::string_view name) noexcept {
  using tools::equalsIgnoringCase;
  // The device is named by what comes before the first dot, blanks at its end dropped.
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (equalsIgnoringCase(stem, device)) return true;
  }
  if (stem.size() < 4) return false;
  const std::string_view kind = stem.substr(0, 3);
  if (!equalsIgnoringCase(kind, "COM") && !equalsIgnoringCase(kind, "LPT")) return false;
  const std::string_view number = stem.substr(3);
  // A digit, or the superscripts one, two and three in UTF-8.
  return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
         number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace tarvok::os
