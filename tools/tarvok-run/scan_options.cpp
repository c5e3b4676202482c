#include "scan_options.h"

#include <charconv>
#include <climits>

#include <fmt/format.h>

#include "marketdata/bar_file_walk.h"
#include "os/os.h"
#include "scan/phase.h"
#include "text/message_text.h"
#include "text/path_name.h"

namespace tarvok::tools {

namespace {

constexpr std::string_view kScanOnly[] = {"--phase",   "--changed-within", "-j",
                                          "--html",    "--charts",         "--kind",
                                          "--current", "--names",          "--timeframe"};

// A whole number in least..most, decimal digits only.
int wholeNumber(std::string_view name, const std::string& text, int least, int most) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  const auto parsed = std::from_chars(text.data(), end, value);
  if (!digits || parsed.ec != std::errc() || parsed.ptr != end || value < least || value > most) {
    throw OptionError(fmt::format("{} {}: must be a whole number from {} to {}", name,
                                  printable(text), least, most));
  }
  return static_cast<int>(value);
}

}  // namespace

bool isScanOption(std::string_view name) noexcept {
  return name == "--scan" || isScanOnlyOption(name);
}

bool isScanOnlyOption(std::string_view name) noexcept {
  for (const std::string_view option : kScanOnly) {
    if (name == option) return true;
  }
  return false;
}

void setScanOption(ScanOptions& scan, std::string_view name, const std::string& value) {
  if (name == "--scan" || name == "--html") {
    if (value.empty()) throw OptionError(fmt::format("{} needs a path", name));
    (name == "--scan" ? scan.dir : scan.html) = value;
  } else if (name == "--phase") {
    const std::optional<Phase> phase = parsePhase(value);
    if (!phase) {
      throw OptionError(
          fmt::format("--phase {}: must be rising, falling or flat", printable(value)));
    }
    scan.phase = phaseName(*phase);
  } else if (name == "--changed-within") {
    scan.changedWithin = wholeNumber(name, value, 1, INT_MAX);
  } else if (name == "--kind") {
    std::string error;
    scan.kinds = parseKindList(value, error);
    if (!scan.kinds) throw OptionError(fmt::format("--kind {}: {}", printable(value), error));
    scan.kindList = value;
  } else if (name == "--current") {
    scan.current = true;
  } else if (name == "--names") {
    if (value.empty()) throw OptionError("--names needs a path");
    scan.names = value;
  } else if (name == "--timeframe") {
    const std::optional<Timeframe> timeframe = parseTimeframe(value);
    if (!timeframe) {
      throw OptionError(fmt::format("--timeframe {}: must be day, 5min or 1min", printable(value)));
    }
    scan.timeframe = *timeframe;
  } else if (name == "-j") {
    scan.jobs = static_cast<unsigned>(wholeNumber(name, value, 1, kMaxJobs));
  } else {
    scan.charts = wholeNumber(name, value, 0, INT_MAX);
  }
}

void checkScanOptions(const ScanOptions& scan) {
  if (scan.charts && scan.html.empty()) throw OptionError("--charts needs --html FILE");
  // As Windows names it: without the dots and spaces it drops from the end of a name.
  if (isDayFileName(os::withoutTrailingDotsAndSpaces(baseName(scan.html)))) {
    throw OptionError(fmt::format("--html {}: a page named as a daily file would be scanned as one",
                                  printable(scan.html)));
  }
}

std::string scanUsageText() {
  return fmt::format(
      "\n"
      "tarvok-run --scan DIR [--period P] [--multiplier M] [--exact] [--timeframe T]\n"
      "           [--phase PHASE] [--changed-within K] [--kind LIST] [--current]\n"
      "           [--names FILE] [-j N] [--html FILE [--charts K]] [--lang zh|en]\n"
      "\n"
      "Reads the terminal's bar files below DIR, its program folder or its vipdoc folder, in\n"
      "every folder below it: the daily files (*.day), or with --timeframe 5min or 1min the\n"
      "5-minute (*.lc5) or 1-minute (*.lc1) files, and the text exports of its data export\n"
      "(SH#600000.txt) of that period. Writes one row per instrument, its last bar, sorted by\n"
      "symbol (market and code, such as sh600000):\n"
      "  symbol,date,close,stop,state,phase,phase_bars,distance_pct,name,kind,adjust,days_behind\n"
      "phase is rising (state below 0), falling (above 0) or flat (0); phase_bars the bars since\n"
      "the phase began (1 on the bar it began); distance_pct (close - stop) / close * 100; name\n"
      "the instrument's name where one is known; kind a-share, b-share, index, fund, bond or\n"
      "other; adjust none, forward or backward (an export's adjustment); days_behind the trading\n"
      "dates of the scanned files after the row's last bar (0: current). Prices are in yuan for\n"
      "every kind. The values are those of the last row of --day (or of the export) on the file.\n"
      "A file of fewer than 5 bars has no row; a broken one gets a message, and the scan goes\n"
      "on. A summary ends standard error.\n"
      "\n"
      "  --timeframe T       day (the default), 5min or 1min\n"
      "  --phase PHASE       list only rows of that phase: rising, falling or flat\n"
      "  --changed-within K  list only rows whose phase began within the last K bars\n"
      "                      (phase_bars at most K)\n"
      "  --kind LIST         list only rows of these kinds, comma-separated: a-share, b-share,\n"
      "                      index, fund, bond, other\n"
      "  --current           list only rows whose last bar is on the newest date (days_behind 0)\n"
      "  --names FILE        names by code: the terminal's exported quote list, or a CSV with\n"
      "                      the columns code and name (UTF-8 or GBK); the terminal's own code\n"
      "                      tables (T0002/hq_cache) are read when DIR is its folder\n"
      "  -j N                read N files at a time, 1 to {} (default: one per hardware thread)\n"
      "  --html FILE         also write the listed rows as a page to open in a browser, with the\n"
      "                      chart of each of the K rows whose phase began most recently\n"
      "  --charts K          charts on the page (default {})\n"
      "\n"
      "Exit status of a scan: 0 when it ran, also with files left out; 2 when DIR cannot be\n"
      "read or holds no file of the timeframe, or an option is wrong; 1 when the output or the\n"
      "page cannot be written.\n",
      kMaxJobs, kDefaultCharts);
}

}  // namespace tarvok::tools
