#include "scan_command.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "indicator/band_stop_engine.h"
#include "indicator/cycle_params.h"
#include "indicator/float_environment.h"
#include "indicator/output_functions.h"
#include "report/chart_svg.h"
#include "marketdata/day_file.h"
#include "marketdata/day_file_walk.h"
#include "marketdata/file_snapshot.h"
#include "scan/market_scan.h"
#include "text/message_text.h"
#include "report/scan_page.h"
#include "scan/worker_threads.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace tarvok::tools {

namespace {

constexpr int kBadInput = 2;
constexpr int kFailure = 1;
constexpr const char* kProgram = "tarvok-run";
constexpr std::size_t kChartBars = 250;

void note(std::string_view message) { writeMessage(kProgram, message); }

bool stderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

// "files done of the total" on standard error, rewritten in place at most ten times a second.
class ProgressLine {
 public:
  explicit ProgressLine(std::size_t total) : total_(total), start_(Clock::now()) {}

  void update(std::size_t done) {
    const long long now = elapsedMs();
    long long last = lastMs_.load(std::memory_order_relaxed);
    if (now - last < 100 && done != total_) return;
    if (!lastMs_.compare_exchange_strong(last, now, std::memory_order_relaxed)) return;
    if (busy_.test_and_set(std::memory_order_acquire)) return;  // another worker is writing it
    const std::string line = fmt::format("\r{}: scanning: {} of {} files", kProgram, done, total_);
    width_ = std::max(width_, line.size());
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    shown_ = true;
    busy_.clear(std::memory_order_release);
  }

  void clear() {
    if (!shown_) return;
    const std::string blank = "\r" + std::string(width_, ' ') + "\r";
    std::fwrite(blank.data(), 1, blank.size(), stderr);
    std::fflush(stderr);
  }

 private:
  using Clock = std::chrono::steady_clock;
  long long elapsedMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
  }

  const std::size_t total_;
  const Clock::time_point start_;
  std::atomic<long long> lastMs_{-1000};
  std::atomic_flag busy_ = ATOMIC_FLAG_INIT;
  std::size_t width_ = 0;  // written under busy_
  bool shown_ = false;
};

std::optional<Phase> phaseFilter(const std::string& name) {
  for (const Phase p : {Phase::Rising, Phase::Falling, Phase::Flat}) {
    if (name == phaseName(p)) return p;
  }
  return std::nullopt;
}

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

std::uint32_t bitsOf(float x) {
  std::uint32_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

// A symbol as a CSV field: quoted when it holds a comma, a quote or a line break.
void appendField(fmt::memory_buffer& out, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out.append(text.data(), text.data() + text.size());
    return;
  }
  out.push_back('"');
  for (const char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

fmt::memory_buffer csvOf(const std::vector<ScanPageRow>& rows, bool exact) {
  fmt::memory_buffer out;
  out.reserve(64 + rows.size() * 72);
  fmt::format_to(fmt::appender(out), "symbol,date,close,stop,state,phase,phase_bars,distance_pct\n");
  for (const ScanPageRow& r : rows) {
    appendField(out, r.symbol);
    const ScanRow& row = r.row;
    if (exact) {
      fmt::format_to(fmt::appender(out), ",{},{:08x},{:08x},", dateText(row.date), bitsOf(row.close),
                     bitsOf(row.stop));
    } else {
      fmt::format_to(fmt::appender(out), ",{},{},{},", dateText(row.date), row.close, row.stop);
    }
    fmt::format_to(fmt::appender(out), "{},{},{},{}\n", row.state, phaseName(phaseOf(row.state)),
                   row.phaseBars, distanceText(row));
  }
  return out;
}

bool writeAll(std::FILE* out, const char* data, std::size_t size) {
  return std::fwrite(data, 1, size, out) == size && std::fflush(out) == 0;
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
    note = "fewer than 5 bars now";
    return std::string();
  }
  const std::size_t first = n > kChartBars ? n - kChartBars : 0;
  std::vector<float> stop(n - first), state(n - first);
  {
    const DefaultFloatEnvironment environment;
    runBandStop(static_cast<int>(n), bars.high.data(), bars.low.data(), bars.close.data(), period,
                multiplier, [&](int j, Lane s, std::int32_t st) {
                  const auto at = static_cast<std::size_t>(j);
                  if (at < first) return;
                  lane::store(&stop[at - first], s);
                  state[at - first] = static_cast<float>(st);
                });
  }
  const auto tail = [first](auto& series) { series.erase(series.begin(), series.begin() + first); };
  tail(bars.high);
  tail(bars.low);
  tail(bars.close);
  tail(bars.open);
  tail(bars.date);
  return renderChartSvg(bars, stop, state, labels);
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
  charted.resize(std::min<std::size_t>(charted.size(), static_cast<std::size_t>(options.scan.charts.value_or(kDefaultCharts))));
  for (std::size_t k = 0; k < charted.size(); ++k) rows[charted[k]].chart = static_cast<int>(k);

  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) {
    note(fmt::format("cannot write the page {}: {}", path, std::strerror(errno)));
    return kFailure;
  }
  const std::string head = scanPageHead(summary, rows);
  bool written = writeAll(out, head.data(), head.size());
  ChartLabels labels;
  labels.period = summary.period;
  labels.multiplier = summary.multiplier;
  for (std::size_t k = 0; k < charted.size() && written; ++k) {
    const DayFileEntry& file = files.files[rowFile[charted[k]]];
    labels.source = file.path.substr(file.nameStart);
    std::string why;
    const std::string svg = chartOf(file, labels, summary.period, summary.multiplier, why);
    if (svg.empty()) note(fmt::format("{}: no chart: {}", file.path, why));
    const std::string part = scanPageChart(static_cast<int>(k), file.symbol(), svg, why);
    written = writeAll(out, part.data(), part.size());
  }
  const std::string tail = scanPageTail();
  written = written && writeAll(out, tail.data(), tail.size());
  const int error = errno;
  if (std::fclose(out) != 0 || !written) {
    note(fmt::format("cannot write the page {}: {}", path, std::strerror(error)));
    return kFailure;
  }
  return 0;
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
  std::string line = fmt::format("scanned {} daily file{}, {} bars in {:.3f} s: {} row{}, {} listed; ",
                                 files.files.size(), files.files.size() == 1 ? "" : "s", result.bars,
                                 seconds, result.rows.size(), result.rows.size() == 1 ? "" : "s",
                                 listedRows);
  line += leftOut == 0 ? std::string("none left out")
                       : fmt::format("{} left out ({})", leftOut, kinds);
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
    note(fmt::format("{}: no daily file (*.day) in it or in any folder below it", options.scan.dir));
    return kBadInput;
  }

  ScanSettings settings;
  settings.period = kInitialPeriod;
  if (options.period) periodFromInput(*options.period, settings.period);
  settings.multiplier = options.multiplier.value_or(kInitialMultiplier);
  settings.workers = options.scan.jobs != 0 ? options.scan.jobs : hardwareThreads();
  std::optional<ProgressLine> progress;
  if (stderrIsTerminal()) {
    progress.emplace(files.files.size());
    settings.progress = [&progress](std::size_t done) { progress->update(done); };
  }
  const ScanResult result = scanMarket(files, settings);
  if (progress) progress->clear();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (const std::string& message : result.messages) note(message);

  const std::optional<Phase> phase = phaseFilter(options.scan.phase);
  std::vector<ScanPageRow> rows;
  std::vector<std::size_t> rowFile;
  ScanPageSummary summary;
  summary.changedWithin = options.scan.changedWithin.value_or(5);
  for (const ScanResult::Listed& r : result.rows) {
    ++summary.phases[static_cast<std::size_t>(phaseOf(r.row.state))];
    if (r.row.phaseBars <= summary.changedWithin) ++summary.changedRecently;
    summary.newestDate = std::max(summary.newestDate, r.row.date);
    if (!listed(r.row, options, phase)) continue;
    rows.push_back({files.files[r.file].symbol(), r.row, -1});
    rowFile.push_back(r.file);
  }

  int status = 0;
  const fmt::memory_buffer csv = csvOf(rows, options.exact);
  if (!writeAll(stdout, csv.data(), csv.size())) {
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
    if (pageStatus != 0) status = pageStatus;
  }
  note(summaryLine(files, result, rows.size(), seconds));
  return status;
}

}  // namespace tarvok::tools
