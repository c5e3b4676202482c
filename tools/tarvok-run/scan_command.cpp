#include "scan_command.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "csv_output.h"
#include "exit_status.h"
#include "indicator/output_functions.h"
#include "marketdata/day_file.h"
#include "marketdata/day_file_walk.h"
#include "messages.h"
#include "os/os.h"
#include "progress_line.h"
#include "report/chart_svg.h"
#include "report/scan_page.h"
#include "scan/market_scan.h"

namespace tarvok::tools {

namespace {

bool listed(const ScanRow& row, const RunOptions& options, const std::optional<Phase>& phase) {
  if (phase && phaseOf(row.state) != *phase) return false;
  return !options.scan.changedWithin || row.phaseBars <= *options.scan.changedWithin;
}

std::string listingText(const RunOptions& options) {
  std::string text;
  if (!options.scan.phase.empty()) text = "phase " + options.scan.phase;
  if (options.scan.changedWithin) {
    if (!text.empty()) text += ", ";
    text += fmt::format("phase_bars at most {}", *options.scan.changedWithin);
  }
  return text.empty() ? "all rows" : text;
}

// The page: the head, a chart per kept series (numbered in their order, which the rows name), the
// tail. Written beside its name and put in place when whole.
int writePage(const std::string& path, const DayFileList& files, const ScanPageSummary& summary,
              const std::vector<ScanPageRow>& rows, const std::vector<ChartSeries>& charts) {
  os::ReplacingFile page;
  std::string error;
  if (!page.open(path, error)) {
    note(fmt::format("cannot write the page {}: {}", path, error));
    return kFailure;
  }
  bool written = writeAll(page.stream(), scanPageHead(summary, rows));
  ChartLabels labels;
  labels.period = summary.period;
  labels.multiplier = summary.multiplier;
  for (std::size_t k = 0; k < charts.size() && written; ++k) {
    const ChartSeries& chart = charts[k];
    const DayFileEntry& file = files.files[chart.file];
    labels.source = file.path.substr(file.nameStart);
    const std::string svg =
        renderChartSvg(chart.bars, chart.indicator.stop, chart.indicator.state, labels);
    written = writeAll(page.stream(), scanPageChart(static_cast<int>(k), file.symbol(), svg, ""));
  }
  written = written && writeAll(page.stream(), scanPageTail());
  if (!written) error = std::strerror(errno);
  if (!written || !page.commit(error)) {
    note(fmt::format("cannot write the page {}: {}", path, error));
    return kFailure;
  }
  return kSuccess;
}

std::string summaryLine(const DayFileList& files, const ScanResult& result, std::size_t listedRows,
                        double seconds) {
  std::size_t leftOut = 0;
  std::string kinds;
  for (std::size_t k = 0; k < result.leftOut.size(); ++k) {
    if (result.leftOut[k] == 0) continue;
    leftOut += result.leftOut[k];
    kinds += fmt::format("{}{} {}", kinds.empty() ? "" : ", ", result.leftOut[k],
                         leftOutName(static_cast<LeftOut>(k)));
  }
  std::string line =
      fmt::format("scanned {} daily file{}, {} bars in {:.3f} s: {} row{}, {} listed; ",
                  files.files.size(), files.files.size() == 1 ? "" : "s", result.bars, seconds,
                  result.rows.size(), result.rows.size() == 1 ? "" : "s", listedRows);
  line +=
      leftOut == 0 ? std::string("none left out") : fmt::format("{} left out ({})", leftOut, kinds);
  if (!files.problems.empty()) {
    line += fmt::format("; {} folder{} not read", files.problems.size(),
                        files.problems.size() == 1 ? "" : "s");
  }
  return line;
}

}  // namespace

int runScan(const RunOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  DayFileList files;
  try {
    files = findDayFiles(options.scan.dir);
  } catch (const WalkError& e) {
    note(e.what());
    return kBadInput;
  }
  if (files.files.empty()) {
    for (const WalkProblem& p : files.problems) note(p.message);
    note(
        fmt::format("{}: no daily file (*.day) in it or in any folder below it", options.scan.dir));
    return kBadInput;
  }

  // The outputs may be no file that the scan reads, nor each other: the page and standard output
  // when it is a file. What a name reaches is known now; which daily files are outputs, only as
  // they are read.
  const ScanOptions& scan = options.scan;
  const os::FileIdentity tableFile = os::identityOf(stdout);
  const os::FileIdentity pageFile = scan.html.empty() ? os::FileIdentity{} : os::identityOf(scan.html);
  if (pageFile == tableFile) {
    note(fmt::format("--html {}: is also the standard output: the table there would be lost",
                     scan.html));
    return kBadInput;
  }

  const Parameters parameters = parametersOf(options);
  const std::optional<Phase> phase = parsePhase(scan.phase);
  ScanSettings settings;
  settings.period = parameters.period;
  settings.multiplier = parameters.multiplier;
  settings.workers = scan.jobs != 0 ? scan.jobs : os::hardwareThreads();
  settings.listed = [&](const ScanRow& row) { return listed(row, options, phase); };
  settings.charts =
      scan.html.empty() ? 0 : static_cast<std::size_t>(scan.charts.value_or(kDefaultCharts));
  settings.outputs = {tableFile, pageFile};
  std::optional<ProgressLine> progress;
  if (os::isTerminal(stderr)) {
    progress.emplace(files.files.size());
    settings.progress = [&progress](std::size_t done) { progress->update(done); };
  }
  const ScanResult result = scanMarket(files, settings);
  if (progress) progress->clear();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (const std::string& message : result.messages) note(message);
  if (!result.outputsRead.empty()) {
    for (const std::size_t i : result.outputsRead) {
      const std::string& path = files.files[i].path;
      note(os::identityOf(path) == pageFile
               ? fmt::format("--html {}: is the daily file {}: it would be overwritten", scan.html, path)
               : fmt::format("standard output is the daily file {}: it would be overwritten", path));
    }
    note("nothing written");
    return kBadInput;
  }

  std::vector<ScanPageRow> rows;
  ScanPageSummary summary;
  summary.changedWithin = scan.changedWithin.value_or(kDefaultChangedWithin);
  for (const ScanResult::Listed& r : result.rows) {
    ++summary.phases[static_cast<std::size_t>(phaseOf(r.row.state))];
    if (r.row.phaseBars <= summary.changedWithin) ++summary.changedRecently;
    summary.newestDate = std::max(summary.newestDate, r.row.date);
    if (!listed(r.row, options, phase)) continue;
    int chart = -1;
    for (std::size_t k = 0; k < result.charts.size(); ++k) {
      if (result.charts[k].file == r.file) chart = static_cast<int>(k);
    }
    rows.push_back({files.files[r.file].symbol(), r.row, chart});
  }

  int status = kSuccess;
  const fmt::memory_buffer csv = scanRowsCsv(rows, options.exact);
  if (!writeAll(stdout, std::string_view(csv.data(), csv.size()))) {
    note(fmt::format("cannot write the output: {}", std::strerror(errno)));
    status = kFailure;
  }
  if (!scan.html.empty()) {
    summary.period = settings.period;
    summary.multiplier = settings.multiplier;
    summary.files = files.files.size();
    summary.leftOut = files.files.size() - result.rows.size();
    summary.listing = listingText(options);
    const int pageStatus = writePage(scan.html, files, summary, rows, result.charts);
    if (pageStatus != kSuccess) status = pageStatus;
  }
  note(summaryLine(files, result, rows.size(), seconds));
  return status;
}

}  // namespace tarvok::tools
