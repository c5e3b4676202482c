#pragma once
// The language a user reads the tool's page, charts and console lines in.

#include <optional>
#include <string_view>

namespace tarvok::tools {

enum class Language { English, Chinese };

// The language of a locale name as the system gives it ("zh_CN.UTF-8", "zh-CN", "zh_TW", "C",
// "en_US"): Chinese for any Chinese locale, English for every other.
Language languageOfLocale(std::string_view locale) noexcept;

// "zh" or "en", in any case.
std::optional<Language> parseLanguage(std::string_view name) noexcept;

}  // namespace tarvok::tools
