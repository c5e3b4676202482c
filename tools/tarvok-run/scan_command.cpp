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
#include "marketdata/bar_file_walk.h"
#include "marketdata/file_snapshot.h"
#include "marketdata/name_table.h"
#include "messages.h"
#include "os/os.h"
#include "progress_line.h"
#include "report/chart_svg.h"
#include "report/scan_page.h"
#include "scan/market_scan.h"
#include "text/ascii.h"
#include "text/path_name.h"

namespace tarvok::tools {

namespace {

// The rows the options list, by what the scan knows as it reads a file; --current needs every
// file's dates, and is applied once they are all known.
bool listed(const ScanRow& row, InstrumentKind kind, const ScanOptions& scan,
            const std::optional<Phase>& phase) {
  if (phase && phaseOf(row.state) != *phase) return false;
  if (scan.kinds && !scan.kinds->contains(kind)) return false;
  return !scan.changedWithin || row.phaseBars <= *scan.changedWithin;
}

std::string listingText(const ScanOptions& scan) {
  std::string text;
  const auto add = [&text](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
  if (!scan.phase.empty()) add("phase " + scan.phase);
  if (scan.changedWithin) add(fmt::format("phase_bars at most {}", *scan.changedWithin));
  if (scan.kinds) add("kind " + scan.kindList);
  if (scan.current) add("days_behind 0");
  return text.empty() ? "all rows" : text;
}

// The files' kinds in words: "3 daily files and 2 exports".
std::string filesText(const BarFileList& files, Timeframe timeframe) {
  std::size_t counts[3] = {0, 0, 0};
  for (const BarFileEntry& f : files.files) ++counts[static_cast<int>(f.type)];
  const char* minute = timeframe == Timeframe::OneMinute ? "1-minute file" : "5-minute file";
  const char* const names[3] = {"daily file", minute, "export"};
  std::vector<std::string> parts;
  for (int k = 0; k < 3; ++k) {
    if (counts[k] == 0) continue;
    parts.push_back(fmt::format("{} {}{}", counts[k], names[k], counts[k] == 1 ? "" : "s"));
  }
  if (parts.empty()) return "0 files";
  std::string text = parts.front();
  for (std::size_t k = 1; k < parts.size(); ++k) {
    text += (k + 1 == parts.size() ? " and " : ", ") + parts[k];
  }
  return text;
}

std::string noFileText(const ScanOptions& scan) {
  switch (scan.timeframe) {
    case Timeframe::FiveMinutes:
      return fmt::format("{}: no 5-minute file (*.lc5) or text export (SH#600000.txt) in it or in "
                         "any folder below it",
                         scan.dir);
    case Timeframe::OneMinute:
      return fmt::format("{}: no 1-minute file (*.lc1) or text export (SH#600000.txt) in it or in "
                         "any folder below it",
                         scan.dir);
    default:
      return fmt::format("{}: no daily file (*.day) or text export (SH#600000.txt) in it or in "
                         "any folder below it",
                         scan.dir);
  }
}

// Names by code: a list the user hands over, then the terminal's code tables when the folder is
// its own (or its vipdoc). A list that cannot be read stops the scan; a table that does not fit is
// left out with a note.
bool loadNames(const ScanOptions& scan, NameTable& names) {
  FileSnapshotReader reader;
  FileSnapshot snapshot;
  std::string error;
  if (!scan.names.empty()) {
    if (reader.read(scan.names, kMaxScanFileBytes, snapshot, error) !=
        FileSnapshotReader::Result::Read) {
      note(fmt::format("--names {}: {}", scan.names,
                       error.empty() ? std::string("too large for a list of names") : error));
      return false;
    }
    try {
      addNameList(snapshot.bytes, names);
    } catch (const NameListError& e) {
      note(nameListMessage("--names " + scan.names, e));
      return false;
    }
  }
  const std::string_view folder = baseName(scan.dir);
  const std::string terminal = equalsIgnoringCase(folder, "vipdoc")
                                   ? os::joinPath(scan.dir, "..")
                                   : scan.dir;
  const std::string cache = os::joinPath(os::joinPath(terminal, "T0002"), "hq_cache");
  if (!os::isDirectory(cache)) return true;
  for (const std::string_view table : kCodeTableFiles) {
    const std::string path = os::joinPath(cache, table);
    if (reader.read(path, kMaxScanFileBytes, snapshot, error) != FileSnapshotReader::Result::Read) {
      continue;  // a table the terminal does not have
    }
    const std::string left = addCodeTable(path, snapshot.bytes, names);
    if (!left.empty()) note(left);
  }
  return true;
}

// The page: the head, a chart per kept series (numbered in their order, which the rows name), the
// tail. Written beside its name and put in place when whole.
int writePage(const std::string& path, const BarFileList& files, const ScanPageSummary& summary,
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
    const BarFileEntry& file = files.files[chart.file];
    labels.source = std::string(file.fileName());
    const std::string svg =
        renderChartSvg(chart.bars, chart.indicator.stop, chart.indicator.state, labels);
    std::string_view symbol = file.stem();
    for (const ScanPageRow& r : rows) {
      if (r.chart == static_cast<int>(k)) symbol = r.symbol;
    }
    written = writeAll(page.stream(), scanPageChart(static_cast<int>(k), symbol, svg, ""));
  }
  written = written && writeAll(page.stream(), scanPageTail());
  if (!written) error = std::strerror(errno);
  if (!written || !page.commit(error)) {
    note(fmt::format("cannot write the page {}: {}", path, error));
    return kFailure;
  }
  return kSuccess;
}

std::string summaryLine(const BarFileList& files, const ScanOptions& scan, const ScanResult& result,
                        std::size_t listedRows, double seconds) {
  std::size_t leftOut = 0;
  std::string kinds;
  for (std::size_t k = 0; k < result.leftOut.size(); ++k) {
    if (result.leftOut[k] == 0) continue;
    leftOut += result.leftOut[k];
    kinds += fmt::format("{}{} {}", kinds.empty() ? "" : ", ", result.leftOut[k],
                         leftOutName(static_cast<LeftOut>(k)));
  }
  std::string line = fmt::format("scanned {}, {} bars in {:.3f} s: {} row{}, {} listed; ",
                                 filesText(files, scan.timeframe), result.bars, seconds,
                                 result.rows.size(), result.rows.size() == 1 ? "" : "s", listedRows);
  line +=
      leftOut == 0 ? std::string("none left out") : fmt::format("{} left out ({})", leftOut, kinds);
  if (result.unitsByCheck != 0) {
    line += fmt::format("; {} priced by their amounts and volumes, against the code table",
                        result.unitsByCheck);
  }
  if (!files.problems.empty()) {
    line += fmt::format("; {} folder{} not read", files.problems.size(),
                        files.problems.size() == 1 ? "" : "s");
  }
  return line;
}

}  // namespace

int runScan(const RunOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  const ScanOptions& scan = options.scan;
  NameTable names;
  if (!loadNames(scan, names)) return kBadInput;
  BarFileList files;
  try {
    files = findBarFiles(scan.dir, scan.timeframe);
  } catch (const WalkError& e) {
    note(e.what());
    return kBadInput;
  }
  if (files.files.empty()) {
    for (const WalkProblem& p : files.problems) note(p.message);
    note(noFileText(scan));
    return kBadInput;
  }

  // The outputs may be no file that the scan reads, nor each other: the page and standard output
  // when it is a file. What a name reaches is known now; which bar files are outputs, only as
  // they are read.
  const os::FileIdentity tableFile = os::identityOf(stdout);
  const os::FileIdentity pageFile =
      scan.html.empty() ? os::FileIdentity{} : os::identityOf(scan.html);
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
  settings.timeframe = scan.timeframe;
  settings.listed = [&](const ScanRow& row, InstrumentKind kind) {
    return listed(row, kind, scan, phase);
  };
  settings.currentOnly = scan.current;
  settings.charts =
      scan.html.empty() ? 0 : static_cast<std::size_t>(scan.charts.value_or(kDefaultCharts));
  settings.outputs = {tableFile, pageFile};
  std::optional<ProgressLine> progress;
  if (os::isTerminal(stderr)) {
    progress.emplace(files.files.size());
    settings.progress = [&progress](std::size_t done) { progress->update(done); };
  }
  ScanResult result = scanMarket(files, settings);
  if (progress) progress->clear();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (const std::string& message : result.messages) note(message);
  if (!result.outputsRead.empty()) {
    for (const std::size_t i : result.outputsRead) {
      const std::string& path = files.files[i].path;
      note(os::identityOf(path) == pageFile
               ? fmt::format("--html {}: is the file {}: it would be overwritten", scan.html, path)
               : fmt::format("standard output is the file {}: it would be overwritten", path));
    }
    note("nothing written");
    return kBadInput;
  }

  // A name never changes a row: an export's own first, then the lists.
  for (ScanResult::Listed& r : result.rows) {
    if (!r.name.empty()) continue;
    if (const std::optional<Symbol> symbol = parseSymbol(files.files[r.file].fileName())) {
      if (const std::string* name = names.find(symbol->market, symbol->code)) r.name = *name;
    }
  }

  std::vector<ScanPageRow> rows;
  ScanPageSummary summary;
  summary.changedWithin = scan.changedWithin.value_or(kDefaultChangedWithin);
  for (const ScanResult::Listed& r : result.rows) {
    ++summary.phases[static_cast<std::size_t>(phaseOf(r.row.state))];
    if (r.row.phaseBars <= summary.changedWithin) ++summary.changedRecently;
    summary.newestDate = std::max(summary.newestDate, r.row.date);
    if (!listed(r.row, r.kind, scan, phase) || (scan.current && r.daysBehind != 0)) continue;
    int chart = -1;
    for (std::size_t k = 0; k < result.charts.size(); ++k) {
      if (result.charts[k].file == r.file) chart = static_cast<int>(k);
    }
    rows.push_back({r.symbol, r.row, chart, r.name, r.kind, r.adjustment, r.daysBehind});
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
    summary.listing = listingText(scan);
    const int pageStatus = writePage(scan.html, files, summary, rows, result.charts);
    if (pageStatus != kSuccess) status = pageStatus;
  }
  note(summaryLine(files, scan, result, rows.size(), seconds));
  return status;
}

}  // namespace tarvok::tools
