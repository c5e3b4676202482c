#pragma once
// Bar dates as the terminal keeps them: one uint32 YYYYMMDD per bar.

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvok::tools {

// Whether the number names a day of the Gregorian calendar (years 1000 to 9999).
bool isCalendarDate(std::uint32_t yyyymmdd) noexcept;

// The date in a text field: YYYY-MM-DD, YYYY/MM/DD or YYYYMMDD, naming a calendar day.
std::optional<std::uint32_t> parseDate(std::string_view text) noexcept;

}  // namespace tarvok::tools
