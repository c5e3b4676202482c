#pragma once
// The market scan: the indicator's last bar in every daily file below a folder, on several threads.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "marketdata/bar_series.h"
#include "marketdata/day_file_walk.h"
#include "os/os.h"
#include "scan/band_stop_tail.h"
#include "scan/last_bar_row.h"
#include "scan/phase.h"

namespace tarvok::tools {

// Why a file has no row.
enum class LeftOut { Unreadable, TooLarge, Empty, CutShort, BadDate, Changing, TooFewBars, kKinds };
std::string leftOutName(LeftOut kind);  // "unreadable", "fewer than 5 bars", ...

// A daily file larger than this is no terminal's (2 million days), and is not read.
inline constexpr std::size_t kMaxScanFileBytes = std::size_t{64} << 20;

// A chart shows a file's last bars, this many.
inline constexpr std::size_t kChartBars = 250;

// A file that gives no whole snapshot because it changes while read is read this many times.
inline constexpr int kReadsOfAChangingFile = 3;

struct ScanSettings {
  int period = 14;
  float multiplier = 2.0f;
  unsigned workers = 1;
  // Which rows the caller lists; only those can get a chart. Null: all.
  std::function<bool(const ScanRow&)> listed;
  // How many listed rows get a chart: those whose phase began most recently, ties by symbol, then
  // in walk order. Their bars are kept from the one read that gave the row.
  std::size_t charts = 0;
  std::size_t chartBars = kChartBars;
  // Files that must not be among those read (the outputs of the run): one that is, is named in
  // the result.
  std::vector<os::FileIdentity> outputs;
  // Called after each file, from the worker that read it, with the number of files done so far.
  std::function<void(std::size_t done)> progress;
};

// What a chart of a file draws: its last bars and the indicator on them, from the bytes its row
// came from.
struct ChartSeries {
  std::size_t file = 0;  // index into the file list
  BarSeries bars;
  BandStopTail indicator;
};

struct ScanResult {
  struct Listed {
    std::size_t file;  // index into the file list
    ScanRow row;
  };
  std::vector<Listed> rows;           // by symbol, then in walk order
  std::vector<std::string> messages;  // one per broken file and unreadable folder, in walk order
  std::array<std::size_t, static_cast<std::size_t>(LeftOut::kKinds)> leftOut{};
  std::size_t bars = 0;             // records in the files that could be decoded
  std::vector<ChartSeries> charts;  // in the order the charts go: most recent phase change first
  // Files read that are one of the outputs, by index into the file list, in walk order.
  std::vector<std::size_t> outputsRead;
};

// Reads and computes every file of the list, each worker taking the next file not yet taken, so
// that the result is the same for any number of workers. Each file is read once. A worker holds
// one file at a time; besides, the bars of at most `charts` files are kept.
ScanResult scanMarket(const DayFileList& files, const ScanSettings& settings);

}  // namespace tarvok::tools
