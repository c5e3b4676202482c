#include "marketdata/bar_date.h"

#include <fmt/format.h>

namespace tarvok::tools {

std::uint32_t daysInMonth(std::uint32_t year, std::uint32_t month) noexcept {
  static constexpr std::uint32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool isCalendarDate(std::uint32_t yyyymmdd) noexcept {
  const std::uint32_t year = yyyymmdd / 10000;
  const std::uint32_t month = yyyymmdd / 100 % 100;
  const std::uint32_t day = yyyymmdd % 100;
  if (year < 1000 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  return day <= daysInMonth(year, month);
}

std::uint32_t monthEnd(std::uint32_t yyyymmdd) noexcept {
  return yyyymmdd - yyyymmdd % 100 + daysInMonth(yyyymmdd / 10000, yyyymmdd / 100 % 100);
}

std::string dateText(std::uint32_t d) {
  return fmt::format("{:04}-{:02}-{:02}", d / 10000, d / 100 % 100, d % 100);
}

std::string dateTimeText(std::uint32_t d, std::uint16_t minutes) {
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}", d / 10000, d / 100 % 100, d % 100,
                     minutes / 60, minutes % 60);
}

std::optional<std::uint32_t> parseDate(std::string_view text) noexcept {
  const bool separated =
      text.size() == 10 && (text[4] == '-' || text[4] == '/') && text[7] == text[4];
  if (!separated && text.size() != 8) return std::nullopt;
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (separated && (i == 4 || i == 7)) continue;
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
  }
  if (!isCalendarDate(value)) return std::nullopt;
  return value;
}

}  // namespace tarvok::tools
