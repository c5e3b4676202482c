#pragma once
// Bar dates as the terminal keeps them: one uint32 YYYYMMDD per bar, and the minutes since
// midnight for bars within a day.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvok::tools {

// The days of a month of the Gregorian calendar (month 1 to 12).
std::uint32_t daysInMonth(std::uint32_t year, std::uint32_t month) noexcept;

// Whether the number names a day of the Gregorian calendar (years 1000 to 9999).
bool isCalendarDate(std::uint32_t yyyymmdd) noexcept;

// The last day of a calendar date's month, as YYYYMMDD.
std::uint32_t monthEnd(std::uint32_t yyyymmdd) noexcept;

// YYYY-MM-DD.
std::string dateText(std::uint32_t yyyymmdd);

// YYYY-MM-DD HH:MM, of a date and the minutes since its midnight (below 1440).
std::string dateTimeText(std::uint32_t yyyymmdd, std::uint16_t minutes);

// The date in a text field: YYYY-MM-DD, YYYY/MM/DD or YYYYMMDD, naming a calendar day.
std::optional<std::uint32_t> parseDate(std::string_view text) noexcept;

}  // namespace tarvok::tools
