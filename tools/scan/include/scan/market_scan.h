#pragma once
// The market scan: the indicator's last bar in every bar file below a folder, on several threads.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "marketdata/bar_file_walk.h"
#include "marketdata/bar_series.h"
#include "marketdata/instrument.h"
#include "marketdata/tdx_export.h"
#include "os/os.h"
#include "scan/band_stop_tail.h"
#include "scan/last_bar_row.h"
#include "scan/phase.h"

namespace tarvok::tools {

// Why a file has no row.
enum class LeftOut {
  Unreadable,
  TooLarge,
  Empty,
  CutShort,
  BadDate,
  Changing,
  UnknownUnit,
  BrokenExport,
  OtherPeriod,
  AlsoExported,
  TooFewBars,
  kKinds
};
std::string leftOutName(LeftOut kind);  // "unreadable", "fewer than 5 bars", ...

// A bar file larger than this is no terminal's (2 million days), and is not read.
inline constexpr std::size_t kMaxScanFileBytes = std::size_t{64} << 20;

// A chart shows a file's last bars, this many.
inline constexpr std::size_t kChartBars = 250;

// A file that gives no whole snapshot because it changes while read is read this many times.
inline constexpr int kReadsOfAChangingFile = 3;

struct ScanSettings {
  int period = 14;
  float multiplier = 2.0f;
  unsigned workers = 1;
  Timeframe timeframe = Timeframe::Day;
  // Which rows the caller lists (by the row and its instrument's kind); only those can get a
  // chart. Null: all.
  std::function<bool(const ScanRow&, InstrumentKind)> listed;
  // Whether the caller lists only current rows (days behind 0), so that a chart goes to no other.
  bool currentOnly = false;
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
    std::string symbol;  // "sh600000" (of a daily file, a minute file or an export alike), or
                         // the file's name without its extension when it names no instrument
    InstrumentKind kind = InstrumentKind::Other;
    std::uint32_t scale = 100;  // units of its prices in a yuan: what its decimals show
    Adjustment adjustment = Adjustment::None;
    std::string name;  // UTF-8, from an export's first line; empty when the file has none
    // Trading dates of the scanned files (the dates any file of the timeframe has) after the
    // row's last bar's date.
    std::int32_t daysBehind = 0;
  };
  std::vector<Listed> rows;           // by symbol, then in walk order
  std::vector<std::string> messages;  // one per broken file and unreadable folder, in walk order
  std::array<std::size_t, static_cast<std::size_t>(LeftOut::kKinds)> leftOut{};
  std::size_t bars = 0;             // bars of the files that could be read
  std::size_t unitsByCheck = 0;     // daily files priced by their amounts, against the code table
  std::vector<ChartSeries> charts;  // in the order the charts go: most recent phase change first
  // Files read that are one of the outputs, by index into the file list, in walk order.
  std::vector<std::size_t> outputsRead;
};

// Reads and computes every file of the list, each worker taking the next file not yet taken, so
// that the result is the same for any number of workers. Each file is read once. A worker holds
// one file at a time; besides, the bars of at most `charts` files are kept. A symbol that has a
// daily or minute file and an export is listed once, from the export, which carries its
// adjustment.
ScanResult scanMarket(const BarFileList& files, const ScanSettings& settings);

}  // namespace tarvok::tools
