#pragma once
// The market scan: the indicator's last bar in every daily file below a folder, on several threads.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "marketdata/day_file_walk.h"

namespace tarvok::tools {

enum class Phase { Rising, Falling, Flat };
const char* phaseName(Phase phase) noexcept;  // "rising", "falling", "flat"
// Rising below 0, falling above 0, flat at 0.
Phase phaseOf(std::int32_t state) noexcept;

// The last bar of a file, as the indicator sees it.
struct ScanRow {
  std::uint32_t date = 0;  // YYYYMMDD
  float close = 0.0f;
  float stop = 0.0f;
  std::int32_t state = 0;
  // The bars of the run that ends at the last bar and whose states all have its sign.
  std::int32_t phaseBars = 0;
};

// (close - stop) / close * 100 in double precision; NaN or infinite when close is 0.
double distancePercent(const ScanRow& row) noexcept;

// The row's fields as the scan prints them: the date as YYYY-MM-DD; the distance with two
// decimals, "0.00" for a value that rounds to zero either side, empty when it is not finite.
std::string dateText(std::uint32_t yyyymmdd);
std::string distanceText(const ScanRow& row);

// The last bar's row for n >= 5 bars: the engine over all of them, with period 2..100 and a
// multiplier that function 10 takes. date is the last bar's.
ScanRow lastBarRow(int n, const float* high, const float* low, const float* close,
                   std::uint32_t date, int period, float multiplier) noexcept;

// Why a file has no row.
enum class LeftOut { Unreadable, TooLarge, Empty, CutShort, BadDate, TooFewBars, kKinds };
const char* leftOutName(LeftOut kind) noexcept;  // "unreadable", "fewer than 5 bars", ...

// A daily file larger than this is no terminal's (2 million days), and is not read in full.
inline constexpr std::size_t kMaxScanFileBytes = std::size_t{64} << 20;

struct ScanSettings {
  int period = 14;
  float multiplier = 2.0f;
  unsigned workers = 1;
  // Called after each file, from the worker that read it, with the number of files done so far.
  std::function<void(std::size_t done)> progress;
};

struct ScanResult {
  struct Listed {
    std::size_t file;  // index into the file list
    ScanRow row;
  };
  std::vector<Listed> rows;           // by symbol, then in walk order
  std::vector<std::string> messages;  // one per broken file and unreadable folder, in walk order
  std::array<std::size_t, static_cast<std::size_t>(LeftOut::kKinds)> leftOut{};
  std::size_t bars = 0;               // records in the files that could be decoded
};

// Reads and computes every file of the list, each worker taking the next file not yet taken, so
// that the result is the same for any number of workers. A worker holds one file at a time.
ScanResult scanMarket(const DayFileList& files, const ScanSettings& settings);

}  // namespace tarvok::tools
