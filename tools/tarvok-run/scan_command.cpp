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
#include "text/template_text.h"

namespace tarvok::tools {

namespace {

// What the scan says on the console, in both languages: [0] English, [1] Chinese.
struct ConsoleWords {
  const char* files[3];    // daily, minute, export: "{n} daily file{s}"
  const char* fiveMinute;  // the minute files' word for 5-minute scans
  const char* oneMinute;
  const char* join;     // between the last two parts of a list
  const char* summary;  // {files} {bars} {seconds} {rows} {listed} {left}
  const char* noneLeftOut;
  const char* leftOut;  // {n} {kinds}
  const char* leftOutKinds[static_cast<std::size_t>(LeftOut::kKinds)];
  const char* byCheck;         // {n}
  const char* foldersNotRead;  // {n}
  const char* noFile[3];       // by timeframe: {dir}
  const char* walkError;       // {what}
};

constexpr ConsoleWords kConsole[2] = {
    {{"{n} daily file{s}", "{n} 5-minute file{s}", "{n} export{s}"},
     "{n} 5-minute file{s}",
     "{n} 1-minute file{s}",
     " and ",
     "scanned {files}, {bars} bars in {seconds} s: {rows} row{rs}, {listed} listed; {left}",
     "none left out",
     "{n} left out ({kinds})",
     {"unreadable", "too large", "empty", "cut short", "bad date", "changing", "unknown price unit",
      "broken export", "of another period", "also exported", "fewer than 5 bars"},
     "; {n} priced by their amounts and volumes, against the code table",
     "; {n} folder{s} not read",
     {"{dir}: no daily file (*.day) or text export (SH#600000.txt) in it or in any folder below it",
      "{dir}: no 5-minute file (*.lc5) or text export (SH#600000.txt) in it or in any folder below "
      "it",
      "{dir}: no 1-minute file (*.lc1) or text export (SH#600000.txt) in it or in any folder below "
      "it"},
     "{what}"},
    {{"{n} 个日线文件", "{n} 个5分钟线文件", "{n} 个导出文件"},
     "{n} 个5分钟线文件",
     "{n} 个1分钟线文件",
     "和",
     "扫描了{files}，共 {bars} 根K线，用时 {seconds} 秒：{rows} 行，列出 {listed} 行；{left}",
     "没有未列出的文件",
     "{n} 个文件未列出（{kinds}）",
     {"读不了", "过大", "空文件", "不完整", "日期有误", "正在写入", "价格单位不明", "导出文件有误",
      "周期不符", "另有导出文件", "不足5根K线"},
     "；{n} 个按成交额与成交量定了价格单位，与代码表不同",
     "；{n} 个文件夹读不了",
     {"{dir}：其中及其下各文件夹里都没有日线文件（*.day）或导出文件（SH#600000.txt）。请给出通达信的"
      "安装文件夹（其中有 vipdoc 文件夹），并先在通达信里做盘后数据下载。",
      "{dir}：其中及其下各文件夹里都没有5分钟线文件（*.lc5）或导出文件（SH#600000.txt）。请给出通达信"
      "的安装文件夹，并先在通达信里下载5分钟线数据。",
      "{dir}：其中及其下各文件夹里都没有1分钟线文件（*.lc1）或导出文件（SH#600000.txt）。请给出通达信"
      "的安装文件夹，并先在通达信里下载1分钟线数据。"},
     "要扫描的文件夹读不了：{what}"},
};

const ConsoleWords& consoleWords(Language language) {
  return kConsole[language == Language::Chinese ? 1 : 0];
}

std::string plural(std::size_t n) { return n == 1 ? "" : "s"; }

// The rows the options list, by what the scan knows as it reads a file; --current needs every
// file's dates, and is applied once they are all known.
bool listed(const ScanRow& row, InstrumentKind kind, const ScanOptions& scan,
            const std::optional<Phase>& phase) {
  if (phase && phaseOf(row.state) != *phase) return false;
  if (scan.kinds && !scan.kinds->contains(kind)) return false;
  return !scan.changedWithin || row.phaseBars <= *scan.changedWithin;
}

// Which rows the options list, in words of the page's language.
std::string listingText(const ScanOptions& scan, Language language) {
  const bool zh = language == Language::Chinese;
  std::string text;
  const auto add = [&](const std::string& part) {
    text += (text.empty() ? "" : zh ? "，" : ", ") + part;
  };
  if (!scan.phase.empty()) {
    const std::optional<Phase> phase = parsePhase(scan.phase);
    const char* word = phase == Phase::Rising ? "上涨" : phase == Phase::Falling ? "下跌" : "无";
    add(zh ? std::string("阶段为") + word : "phase " + scan.phase);
  }
  if (scan.changedWithin) {
    add(zh ? fmt::format("阶段持续不超过 {} 根K线", *scan.changedWithin)
           : fmt::format("phase_bars at most {}", *scan.changedWithin));
  }
  if (scan.kinds) add((zh ? "品种 " : "kind ") + scan.kindList);
  if (scan.current) add(zh ? "只列当前的（不停牌）" : "days_behind 0");
  return text.empty() ? (zh ? "全部" : "all rows") : text;
}

// The files' kinds in words: "3 daily files and 2 exports".
std::string filesText(const BarFileList& files, Timeframe timeframe, const ConsoleWords& words) {
  std::size_t counts[3] = {0, 0, 0};
  for (const BarFileEntry& f : files.files) ++counts[static_cast<int>(f.type)];
  const char* const names[3] = {
      words.files[0], timeframe == Timeframe::OneMinute ? words.oneMinute : words.fiveMinute,
      words.files[2]};
  std::vector<std::string> parts;
  for (int k = 0; k < 3; ++k) {
    if (counts[k] == 0) continue;
    parts.push_back(filled(names[k], {{"n", std::to_string(counts[k])}, {"s", plural(counts[k])}}));
  }
  std::string text = parts.empty() ? "0" : parts.front();
  for (std::size_t k = 1; k < parts.size(); ++k) {
    text += (k + 1 == parts.size() ? words.join : ", ") + parts[k];
  }
  return text;
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
  const std::string terminal =
      equalsIgnoringCase(folder, "vipdoc") ? os::joinPath(scan.dir, "..") : scan.dir;
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
              const std::vector<ScanPageRow>& rows, const std::vector<ChartSeries>& charts,
              Language language) {
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
  labels.language = language;
  for (std::size_t k = 0; k < charts.size() && written; ++k) {
    const ChartSeries& chart = charts[k];
    const BarFileEntry& file = files.files[chart.file];
    labels.source = std::string(file.fileName());
    const std::string svg =
        renderChartSvg(chart.bars, chart.indicator.stop, chart.indicator.state, labels);
    std::string heading(file.stem());
    for (const ScanPageRow& r : rows) {
      if (r.chart == static_cast<int>(k)) {
        heading = std::string(r.symbol) + (r.name.empty() ? "" : " ") + std::string(r.name);
      }
    }
    written = writeAll(page.stream(), scanPageChart(static_cast<int>(k), heading, svg, ""));
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
                        std::size_t listedRows, double seconds, const ConsoleWords& words) {
  std::size_t leftOut = 0;
  std::string kinds;
  for (std::size_t k = 0; k < result.leftOut.size(); ++k) {
    if (result.leftOut[k] == 0) continue;
    leftOut += result.leftOut[k];
    kinds +=
        fmt::format("{}{} {}", kinds.empty() ? "" : ", ", result.leftOut[k], words.leftOutKinds[k]);
  }
  std::string line = filled(
      words.summary, {{"files", filesText(files, scan.timeframe, words)},
                      {"bars", std::to_string(result.bars)},
                      {"seconds", fmt::format("{:.3f}", seconds)},
                      {"rows", std::to_string(result.rows.size())},
                      {"rs", plural(result.rows.size())},
                      {"listed", std::to_string(listedRows)},
                      {"left", leftOut == 0 ? std::string(words.noneLeftOut)
                                            : filled(words.leftOut, {{"n", std::to_string(leftOut)},
                                                                     {"kinds", kinds}})}});
  if (result.unitsByCheck != 0) {
    line += filled(words.byCheck, {{"n", std::to_string(result.unitsByCheck)}});
  }
  if (!files.problems.empty()) {
    line += filled(words.foldersNotRead, {{"n", std::to_string(files.problems.size())},
                                          {"s", plural(files.problems.size())}});
  }
  return line;
}

}  // namespace

int runScan(const RunOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  const ScanOptions& scan = options.scan;
  const Language language = languageOf(options);
  const ConsoleWords& words = consoleWords(language);
  NameTable names;
  if (!loadNames(scan, names)) return kBadInput;
  BarFileList files;
  try {
    files = findBarFiles(scan.dir, scan.timeframe);
  } catch (const WalkError& e) {
    note(filled(words.walkError, {{"what", e.what()}}));
    return kBadInput;
  }
  if (files.files.empty()) {
    for (const WalkProblem& p : files.problems) note(p.message);
    note(filled(words.noFile[static_cast<int>(scan.timeframe)], {{"dir", scan.dir}}));
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
  summary.language = language;
  summary.timeframe = scan.timeframe;
  summary.changedWithin = scan.changedWithin.value_or(kDefaultChangedWithin);
  for (const ScanResult::Listed& r : result.rows) {
    summary.newestDate = std::max(summary.newestDate, r.row.date);
    if (!listed(r.row, r.kind, scan, phase) || (scan.current && r.daysBehind != 0)) continue;
    int chart = -1;
    for (std::size_t k = 0; k < result.charts.size(); ++k) {
      if (result.charts[k].file == r.file) chart = static_cast<int>(k);
    }
    rows.push_back({r.symbol, r.row, chart, r.name, r.kind, r.adjustment, r.daysBehind, r.scale});
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
    summary.listing = listingText(scan, language);
    // The page shows the most recent phase changes first, the current rows before the others;
    // the table on standard output stays in the order of the symbols.
    std::vector<ScanPageRow> recentFirst = rows;
    std::stable_sort(recentFirst.begin(), recentFirst.end(),
                     [](const ScanPageRow& a, const ScanPageRow& b) {
                       if ((a.daysBehind > 0) != (b.daysBehind > 0)) return b.daysBehind > 0;
                       return a.row.phaseBars < b.row.phaseBars;
                     });
    const int pageStatus =
        writePage(scan.html, files, summary, recentFirst, result.charts, language);
    if (pageStatus != kSuccess) status = pageStatus;
  }
  note(summaryLine(files, scan, result, rows.size(), seconds, words));
  return status;
}

}  // namespace tarvok::tools
