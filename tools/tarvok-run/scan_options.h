#pragma once
// The options of tarvok-run --scan.

#include <optional>
#include <string>
#include <string_view>

#include "marketdata/bar_file_walk.h"
#include "marketdata/instrument.h"
#include "option_error.h"

namespace tarvok::tools {

struct ScanOptions {
  std::string dir;                   // the folder to scan; empty: no scan
  std::string phase;                 // list only rows of this phase; empty: all
  std::optional<int> changedWithin;  // list only rows with phase_bars at most this
  unsigned jobs = 0;                 // worker threads; 0: one per hardware thread
  std::string html;                  // where to write the page; empty: no page
  std::optional<int> charts;         // charts on the page (default kDefaultCharts)
  std::optional<KindSet> kinds;      // list only rows of these kinds; none: all
  std::string kindList;              // the kinds as given, for the page's words
  bool current = false;              // list only rows with days_behind 0
  std::string names;                 // a file of names (code and name) to read; empty: none
  Timeframe timeframe = Timeframe::Day;
};

inline constexpr int kDefaultCharts = 50;
inline constexpr unsigned kMaxJobs = 256;

// Whether the option (its name without a value) is one of the scan's: --scan, or one that only a
// scan takes.
bool isScanOption(std::string_view name) noexcept;
bool isScanOnlyOption(std::string_view name) noexcept;

// Takes the option's value, or throws OptionError naming what is wrong with it. Words are taken in
// any case.
void setScanOption(ScanOptions& scan, std::string_view name, const std::string& value);

// Throws OptionError when the scan options do not go together.
void checkScanOptions(const ScanOptions& scan);

// The part of the usage text about the scan.
std::string scanUsageText();

}  // namespace tarvok::tools
