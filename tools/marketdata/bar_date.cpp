#include "marketdata/bar_date.h"

namespace tarvok::tools {

bool isCalendarDate(std::uint32_t yyyymmdd) noexcept {
  const std::uint32_t year = yyyymmdd / 10000;
  const std::uint32_t month = yyyymmdd / 100 % 100;
  const std::uint32_t day = yyyymmdd % 100;
  if (year < 1000 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr std::uint32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::optional<std::uint32_t> parseDate(std::string_view text) noexcept {
  const bool separated = text.size() == 10 && (text[4] == '-' || text[4] == '/') && text[7] == text[4];
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
