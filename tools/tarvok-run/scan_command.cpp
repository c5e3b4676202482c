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
#include "marketdata/file_snapshot.h"
#include "messages.h"
#include "os/os.h"
#include "progress_line.h"
#include "report/chart_svg.h"
#include "report/scan_page.h"
#include "scan/band_stop_tail.h"
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

// The chart of a file's last bars, the indicator computed over the whole file as --day does. The
// file is read again (only the charted ones are kept that long): one the terminal rewrote since
// the scan is drawn as it now is.
std::string chartOf(const DayFileEntry& file, const ChartLabels& labels, int period,
                    float multiplier, std::string& note) {
  FileSnapshotReader reader;
  std::string_view bytes;
  std::string error;
  const FileSnapshotReader::Result read = reader.read(file.path, kMaxScanFileBytes, bytes, error);
  if (read != FileSnapshotReader::Result::Read) {
    note = read == FileSnapshotReader::Result::Failed ? error : "too large";
    return std::string();
  }
  BarSeries bars;
  try {
    bars = parseDayFile(bytes);
  } catch (const DayFileError& e) {
    note = e.what();
    return std::string();
  }
  const std::size_t n = bars.size();
  if (n < static_cast<std::size_t>(kMinBars)) {
    note = fmt::format("fewer than {} bars now", kMinBars);
    return std::string();
  }
  const std::size_t first = n > kChartBars ? n - kChartBars : 0;
  BandStopTail tail = bandStopTail(static_cast<int>(n), bars.high.data(), bars.low.data(),
                                   bars.close.data(), period, multiplier, first);
  const auto keepTail = [first](auto& series) {
    series.erase(series.begin(), series.begin() + first);
  };
  keepTail(bars.high);
  keepTail(bars.low);
  keepTail(bars.close);
  keepTail(bars.open);
  keepTail(bars.date);
  return renderChartSvg(bars, tail.stop, tail.state, labels);
}

int writePage(const std::string& path, const DayFileList& files, const ScanPageSummary& summary,
              std::vector<ScanPageRow>& rows, const std::vector<std::size_t>& rowFile,
              const RunOptions& options) {
  // The charts go to the rows whose phase began most recently, ties by symbol (the rows' order).
  std::vector<std::size_t> charted(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) charted[i] = i;
  std::stable_sort(charted.begin(), charted.end(), [&](std::size_t a, std::size_t b) {
    return rows[a].row.phaseBars < rows[b].row.phaseBars;
  });
  charted.resize(std::min<std::size_t>(
      charted.size(), static_cast<std::size_t>(options.scan.charts.value_or(kDefaultCharts))));
  for (std::size_t k = 0; k < charted.size(); ++k) rows[charted[k]].chart = static_cast<int>(k);

  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) {
    note(fmt::format("cannot write the page {}: {}", path, std::strerror(errno)));
    return kFailure;
  }
  bool written = writeAll(out, scanPageHead(summary, rows));
  ChartLabels labels;
  labels.period = summary.period;
  labels.multiplier = summary.multiplier;
  for (std::size_t k = 0; k < charted.size() && written; ++k) {
    const DayFileEntry& file = files.files[rowFile[charted[k]]];
    labels.source = file.path.substr(file.nameStart);
    std::string why;
    const std::string svg = chartOf(file, labels, summary.period, summary.multiplier, why);
    if (svg.empty()) note(fmt::format("{}: no chart: {}", file.path, why));
    written = writeAll(out, scanPageChart(static_cast<int>(k), file.symbol(), svg, why));
  }
  written = written && writeAll(out, scanPageTail());
  const int error = errno;
  if (std::fclose(out) != 0 || !written) {
    note(fmt::format("cannot write the page {}: {}", path, std::strerror(error)));
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

  const Parameters parameters = parametersOf(options);
  ScanSettings settings;
  settings.period = parameters.period;
  settings.multiplier = parameters.multiplier;
  settings.workers = options.scan.jobs != 0 ? options.scan.jobs : os::hardwareThreads();
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

  const std::optional<Phase> phase = parsePhase(options.scan.phase);
  std::vector<ScanPageRow> rows;
  std::vector<std::size_t> rowFile;
  ScanPageSummary summary;
  summary.changedWithin = options.scan.changedWithin.value_or(kDefaultChangedWithin);
  for (const ScanResult::Listed& r : result.rows) {
    ++summary.phases[static_cast<std::size_t>(phaseOf(r.row.state))];
    if (r.row.phaseBars <= summary.changedWithin) ++summary.changedRecently;
    summary.newestDate = std::max(summary.newestDate, r.row.date);
    if (!listed(r.row, options, phase)) continue;
    rows.push_back({files.files[r.file].symbol(), r.row, -1});
    rowFile.push_back(r.file);
  }

  int status = kSuccess;
  const fmt::memory_buffer csv = scanRowsCsv(rows, options.exact);
  if (!writeAll(stdout, std::string_view(csv.data(), csv.size()))) {
    note(fmt::format("cannot write the output: {}", std::strerror(errno)));
    status = kFailure;
  }
  if (!options.scan.html.empty()) {
    summary.period = settings.period;
    summary.multiplier = settings.multiplier;
    summary.files = files.files.size();
    summary.leftOut = files.files.size() - result.rows.size();
    summary.listing = listingText(options);
    const int pageStatus = writePage(options.scan.html, files, summary, rows, rowFile, options);
    if (pageStatus != kSuccess) status = pageStatus;
  }
  note(summaryLine(files, result, rows.size(), seconds));
  return status;
}

}  // namespace tarvok::tools
