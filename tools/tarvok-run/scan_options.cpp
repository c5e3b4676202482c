#include "scan_options.h"

#include <charconv>
#include <climits>

#include <fmt/format.h>

#include "marketdata/day_file_walk.h"
#include "os/os.h"
#include "scan/phase.h"
#include "text/message_text.h"
#include "text/path_name.h"

namespace tarvok::tools {

namespace {

constexpr std::string_view kScanOnly[] = {"--phase", "--changed-within", "-j", "--html",
                                          "--charts"};

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
      "tarvok-run --scan DIR [--period P] [--multiplier M] [--exact] [--phase PHASE]\n"
      "           [--changed-within K] [-j N] [--html FILE [--charts K]]\n"
      "\n"
      "Reads every daily file (*.day) below DIR, the terminal's program folder or its vipdoc\n"
      "folder, in every folder below it, and writes one row per file, its last bar, sorted by\n"
      "symbol (the file name without .day):\n"
      "  symbol,date,close,stop,state,phase,phase_bars,distance_pct\n"
      "phase is rising (state below 0), falling (above 0) or flat (0); phase_bars the bars since\n"
      "the phase began (1 on the bar it began); distance_pct (close - stop) / close * 100. The\n"
      "values are those of the last row of --day on the file. A file of fewer than 5 bars has no\n"
      "row; a broken one gets a message, and the scan goes on. A summary ends standard error.\n"
      "\n"
      "  --phase PHASE       list only rows of that phase: rising, falling or flat\n"
      "  --changed-within K  list only rows whose phase began within the last K bars\n"
      "                      (phase_bars at most K)\n"
      "  -j N                read N files at a time, 1 to {} (default: one per hardware thread)\n"
      "  --html FILE         also write the listed rows as a page to open in a browser, with the\n"
      "                      chart of each of the K rows whose phase began most recently\n"
      "  --charts K          charts on the page (default {})\n"
      "\n"
      "Exit status of a scan: 0 when it ran, also with files left out; 2 when DIR cannot be\n"
      "read or holds no daily file, or an option is wrong; 1 when the output or the page cannot\n"
      "be written.\n",
      kMaxJobs, kDefaultCharts);
}

}  // namespace tarvok::tools
