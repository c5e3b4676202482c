#include "text/language.h"

#include "text/ascii.h"

namespace tarvok::tools {

Language languageOfLocale(std::string_view locale) noexcept {
  const std::string_view language = locale.substr(0, locale.find_first_of("_-.@"));
  return equalsIgnoringCase(language, "zh") ? Language::Chinese : Language::English;
}

std::optional<Language> parseLanguage(std::string_view name) noexcept {
  if (equalsIgnoringCase(name, "zh")) return Language::Chinese;
  if (equalsIgnoringCase(name, "en")) return Language::English;
  return std::nullopt;
}

}  // namespace tarvok::tools
