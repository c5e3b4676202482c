#pragma once
// Bars from the terminal's own daily files (vipdoc/sh/lday/*.day, vipdoc/sz/lday/*.day).

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tools/bar_csv.h"

namespace tarvok::tools {

// One 32-byte little-endian record per day, oldest first.
inline constexpr std::size_t kDayRecordSize = 32;

// A broken file, with the 1-based record it was found in, or 0 when it concerns the file as a whole.
class DayFileError : public std::runtime_error {
 public:
  DayFileError(std::size_t record, const std::string& message)
      : std::runtime_error(message), record_(record) {}
  std::size_t record() const noexcept { return record_; }

 private:
  std::size_t record_;
};

// The float nearest to a price held in hundredths of a yuan: what the terminal hands a formula.
float dayFilePrice(std::uint32_t hundredths) noexcept;

// Date, open, high, low and close of every record; turnover, volume and the reserved field are not
// used. Each date must be a calendar day after the one before. Throws DayFileError.
BarSeries parseDayFile(std::string_view bytes);

}  // namespace tarvok::tools
