#pragma once
// The market scan: the indicator's last bar in every daily file below a folder, on several threads.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "marketdata/day_file_walk.h"
#include "scan/last_bar_row.h"
#include "scan/phase.h"

namespace tarvok::tools {

// Why a file has no row.
enum class LeftOut { Unreadable, TooLarge, Empty, CutShort, BadDate, TooFewBars, kKinds };
std::string leftOutName(LeftOut kind);  // "unreadable", "fewer than 5 bars", ...

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
  std::size_t bars = 0;  // records in the files that could be decoded
};

// Reads and computes every file of the list, each worker taking the next file not yet taken, so
// that the result is the same for any number of workers. A worker holds one file at a time.
ScanResult scanMarket(const DayFileList& files, const ScanSettings& settings);

}  // namespace tarvok::tools
