// tarvok-bench-scan: the market scan over a synthetic market of daily files in the page cache,
// beside the engine alone over the same bars in memory, and the scan's peak memory; and the same
// market as the terminal's text exports and as 5-minute files, scanned and read alone.
//
// usage: tarvok-bench-scan [--tool PATH] [--work DIR] [--files N] [--bars B] [--runs R]
//
// The market (N files of B bars, 5,000 of 2,500 by default: 400 MB of daily files, 700 MB of
// exports, 400 MB of .lc5 files) and a tenth of each are written once below DIR and kept. Every
// figure is the best of R runs; the scan runs as a child process (tarvok-run --scan DIR -j J,
// output to /dev/null), whose peak resident memory the kernel reports. A scan the tool refuses
// (a kind of file or an option it does not know yet) is reported with its first line of standard
// error, and the rest goes on.

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "indicator/float_environment.h"
#include "marketdata/bar_file_walk.h"
#include "marketdata/day_series.h"
#include "marketdata/file_snapshot.h"
#include "marketdata/tdx_export.h"
#include "scan/market_scan.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A weekday-only calendar walked back from a fixed last day, as YYYYMMDD.
std::vector<std::uint32_t> weekdays(int count) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  std::vector<std::uint32_t> dates;
  int y = 2026, m = 12, d = 4, weekday = 4;  // Friday 2026-12-04
  while (static_cast<int>(dates.size()) < count) {
    if (weekday < 5) dates.push_back(static_cast<std::uint32_t>(y * 10000 + m * 100 + d));
    weekday = (weekday + 6) % 7;
    if (--d == 0) {
      if (--m == 0) m = 12, --y;
      d = kDays[m - 1] + (m == 2 && y % 4 == 0 && (y % 100 != 0 || y % 400 == 0) ? 1 : 0);
    }
  }
  std::reverse(dates.begin(), dates.end());
  return dates;
}

// A seeded random walk in fen, the same for every kind of file: open, high, low and close of each
// bar of each symbol in turn.
class Walk {
 public:
  struct Bar {
    std::uint32_t open, high, low, close;
  };
  void startFile() { close_ = uniform(300, 6000); }
  Bar next() {
    const double open = close_ * (1 + uniform(-0.01, 0.01));
    const double newClose = std::max(1.0, close_ * (1 + uniform(-0.025, 0.025)));
    const double high = std::max(open, newClose) + close_ * uniform(0, 0.015);
    const double low = std::max(1.0, std::min(open, newClose) - close_ * uniform(0, 0.015));
    close_ = newClose;
    return {static_cast<std::uint32_t>(open), static_cast<std::uint32_t>(high),
            static_cast<std::uint32_t>(low), static_cast<std::uint32_t>(newClose)};
  }

 private:
  std::uint64_t random() {  // xorshift64*
    state_ ^= state_ >> 12, state_ ^= state_ << 25, state_ ^= state_ >> 27;
    return (state_ * 2685821657736338717ull) >> 11;
  }
  double uniform(double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(random()) / 9007199254740992.0;
  }
  std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
  double close_ = 0;
};

enum class Kind { Day, Export, FiveMinutes };

const char* const kMarkets[] = {"sh", "sz", "bj"};

void makeFolders(const std::string& root, const std::string& market, const char* leaf) {
  for (const std::string& part :
       {std::string("/vipdoc"), "/vipdoc/" + market, "/vipdoc/" + market + "/" + leaf}) {
    mkdir((root + part).c_str(), 0777);
  }
}

void writeFile(const std::string& path, const void* data, std::size_t size) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr || std::fwrite(data, 1, size, out) != size || std::fclose(out) != 0) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

// fen as yuan with two decimals, "12.34".
char* putYuan(char* p, std::uint64_t fen) {
  p += std::sprintf(p, "%llu.%02u", static_cast<unsigned long long>(fen / 100),
                    static_cast<unsigned>(fen % 100));
  return p;
}

// The export's words in GBK: 测试股票 日线 前复权; 日期 开盘 最高 最低 收盘 成交量 成交额; 数据来源:通达信.
constexpr const char* kExportName = "\xB2\xE2\xCA\xD4\xB9\xC9\xC6\xB1";
constexpr const char* kExportPeriod = "\xC8\xD5\xCF\xDF \xC7\xB0\xB8\xB4\xC8\xA8";
constexpr const char* kExportHeader =
    "\xC8\xD5\xC6\xDA\t\xBF\xAA\xC5\xCC\t\xD7\xEE\xB8\xDF\t\xD7\xEE\xB5\xCD\t\xCA\xD5\xC5\xCC\t"
    "\xB3\xC9\xBD\xBB\xC1\xBF\t\xB3\xC9\xBD\xBB\xB6\xEE\r\n";
constexpr const char* kExportFooter =
    "\xCA\xFD\xBE\xDD\xC0\xB4\xD4\xB4:\xCD\xA8\xB4\xEF\xD0\xC5\r\n";

// The bars' ends in a 5-minute file: 09:35 to 11:30 and 13:05 to 15:00, 48 a day.
std::vector<std::uint16_t> fiveMinuteEnds() {
  std::vector<std::uint16_t> ends;
  for (int m = 9 * 60 + 35; m <= 11 * 60 + 30; m += 5)
    ends.push_back(static_cast<std::uint16_t>(m));
  for (int m = 13 * 60 + 5; m <= 15 * 60; m += 5) ends.push_back(static_cast<std::uint16_t>(m));
  return ends;
}

// One file per symbol, of the kind asked: daily files (vipdoc/sh/lday/sh600000.day), text
// exports (SH#600000.txt) or 5-minute files (vipdoc/sh/fzline/sh600000.lc5).
void writeMarket(const std::string& root, Kind kind, int files, int bars) {
  const std::vector<std::uint16_t> ends = fiveMinuteEnds();
  const int days = kind == Kind::FiveMinutes
                       ? (bars + static_cast<int>(ends.size()) - 1) / static_cast<int>(ends.size())
                       : bars;
  const std::vector<std::uint32_t> dates = weekdays(days);
  Walk walk;
  std::vector<unsigned char> bytes;
  std::string text;
  for (int k = 0; k < files; ++k) {
    // A-share codes of each market, whose price unit the tool's table knows.
    static constexpr int kFirstCodes[] = {600000, 1, 830000};
    const std::string market = kMarkets[k % 3];
    const int code = kFirstCodes[k % 3] + k / 3;
    walk.startFile();
    char name[64];
    if (kind == Kind::Day) {
      makeFolders(root, market, "lday");
      bytes.assign(static_cast<std::size_t>(bars) * 32, 0);
      for (int j = 0; j < bars; ++j) {
        const Walk::Bar bar = walk.next();
        // The turnover in yuan of 100,000 shares at the close, as a terminal writes it.
        const float amount = static_cast<float>(bar.close) * 1000.0f;
        std::uint32_t amountBits;
        std::memcpy(&amountBits, &amount, 4);
        const std::uint32_t record[8] = {dates[static_cast<std::size_t>(j)],
                                         bar.open,
                                         bar.high,
                                         bar.low,
                                         bar.close,
                                         amountBits,
                                         100000,
                                         0};
        std::memcpy(&bytes[static_cast<std::size_t>(j) * 32], record, 32);
      }
      std::snprintf(name, sizeof name, "/vipdoc/%s/lday/%s%06d.day", market.c_str(), market.c_str(),
                    code);
      writeFile(root + name, bytes.data(), bytes.size());
    } else if (kind == Kind::Export) {
      text.clear();
      char line[256];
      std::snprintf(line, sizeof line, "%06d %s %s\r\n", code, kExportName, kExportPeriod);
      text += line;
      text += kExportHeader;
      for (int j = 0; j < bars; ++j) {
        const Walk::Bar bar = walk.next();
        const std::uint32_t d = dates[static_cast<std::size_t>(j)];
        char* p = line + std::sprintf(line, "%04u/%02u/%02u", d / 10000, d / 100 % 100, d % 100);
        for (const std::uint32_t fen : {bar.open, bar.high, bar.low, bar.close}) {
          *p++ = '\t';
          p = putYuan(p, fen);
        }
        // Volume in shares and turnover in yuan, as the daily file's 100,000 shares at the close.
        p += std::sprintf(p, "\t100000\t");
        p = putYuan(p, std::uint64_t{bar.close} * 100000);
        *p++ = '\r', *p++ = '\n';
        text.append(line, p);
      }
      text += kExportFooter;
      std::snprintf(name, sizeof name, "/%c%c#%06d.txt", market[0] - 'a' + 'A',
                    market[1] - 'a' + 'A', code);
      writeFile(root + name, text.data(), text.size());
    } else {
      makeFolders(root, market, "fzline");
      bytes.assign(static_cast<std::size_t>(bars) * 32, 0);
      for (int j = 0; j < bars; ++j) {
        const Walk::Bar bar = walk.next();
        const std::uint32_t d = dates[static_cast<std::size_t>(j) / ends.size()];
        const std::uint16_t head[2] = {
            static_cast<std::uint16_t>((d / 10000 - 2004) * 2048 + d / 100 % 100 * 100 + d % 100),
            ends[static_cast<std::size_t>(j) % ends.size()]};
        const float prices[5] = {
            static_cast<float>(bar.open) / 100.0f, static_cast<float>(bar.high) / 100.0f,
            static_cast<float>(bar.low) / 100.0f, static_cast<float>(bar.close) / 100.0f,
            static_cast<float>(bar.close) * 1000.0f};
        const std::uint32_t tail[2] = {100000, 0};
        unsigned char* record = &bytes[static_cast<std::size_t>(j) * 32];
        std::memcpy(record, head, 4);
        std::memcpy(record + 4, prices, 20);
        std::memcpy(record + 24, tail, 8);
      }
      std::snprintf(name, sizeof name, "/vipdoc/%s/fzline/%s%06d.lc5", market.c_str(),
                    market.c_str(), code);
      writeFile(root + name, bytes.data(), bytes.size());
    }
  }
}

// The market below root, written unless a finished one of this writer is there: the stamp names
// the writer's version, so that a market an older one left is written anew.
void ensureMarket(const std::string& root, Kind kind, int files, int bars) {
  const std::string stamp = root + "/complete-2";
  struct stat info;
  if (stat(stamp.c_str(), &info) == 0) return;
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  static const char* const kKinds[] = {"daily files", "text exports", "5-minute files"};
  std::fprintf(stderr, "writing %d %s of %d bars below %s\n", files, kKinds[static_cast<int>(kind)],
               bars, root.c_str());
  mkdir(root.c_str(), 0777);
  writeMarket(root, kind, files, bars);
  std::FILE* done = std::fopen(stamp.c_str(), "w");
  if (done != nullptr) std::fclose(done);
}

struct ChildRun {
  double seconds = 0;
  long maxRssKb = 0;
  std::string failure;  // the tool's first line of standard error when it refused the scan
  bool ok() const { return failure.empty(); }
};

// The first and the last line of a file.
std::pair<std::string, std::string> firstAndLastLine(const std::string& path) {
  std::string first, line, last;
  bool firstDone = false;
  if (std::FILE* in = std::fopen(path.c_str(), "r")) {
    for (int c; (c = std::fgetc(in)) != EOF;) {
      if (c != '\n') {
        line += static_cast<char>(c);
        continue;
      }
      if (!firstDone) first = line, firstDone = true;
      last = std::move(line);
      line.clear();
    }
    std::fclose(in);
  }
  if (!line.empty()) last = line, first = firstDone ? first : line;
  return {first.empty() ? "no message" : first, last};
}

// tarvok-run --scan DIR [extra...] -j J, its standard error kept in errors for a refusal.
ChildRun runScan(const std::string& tool, const std::string& dir, int jobs,
                 const std::vector<std::string>& extra = {}) {
  static const std::string errors = std::string(TARVOK_BENCH_WORK_DIR) + "/scan_stderr.txt";
  const std::string j = std::to_string(jobs);
  std::vector<const char*> argv = {tool.c_str(), "--scan", dir.c_str()};
  for (const std::string& e : extra) argv.push_back(e.c_str());
  argv.insert(argv.end(), {"-j", j.c_str(), nullptr});
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  const Clock::time_point start = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, tool.c_str(), &actions, nullptr, const_cast<char**>(argv.data()),
                  environ) != 0) {
    std::fprintf(stderr, "cannot run %s\n", tool.c_str());
    std::exit(1);
  }
  int status = 0;
  struct rusage usage;
  wait4(pid, &status, 0, &usage);
  ChildRun run{secondsSince(start), usage.ru_maxrss, {}};
  posix_spawn_file_actions_destroy(&actions);
  const auto [first, last] = firstAndLastLine(errors);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    run.failure = WIFEXITED(status)
                      ? "exit status " + std::to_string(WEXITSTATUS(status)) + ": " + first
                      : "killed by signal " + std::to_string(WTERMSIG(status));
  } else if (last.find("left out") != std::string::npos &&
             last.find("none left out") == std::string::npos) {
    // A scan that skipped files would be timed on less work than its bars.
    run.failure = "files left out: " + last;
  }
  return run;
}

// The daily-file scan, which the tool has always had: a refusal there ends the benchmark.
ChildRun mustScan(const std::string& tool, const std::string& dir, int jobs) {
  ChildRun run = runScan(tool, dir, jobs);
  if (!run.ok()) {
    std::fprintf(stderr, "%s --scan %s failed: %s\n", tool.c_str(), dir.c_str(),
                 run.failure.c_str());
    std::exit(1);
  }
  return run;
}

// The best of several runs of one scan; the first refusal stops it.
struct BestScan {
  ChildRun best{1e30, 0, {}};
  void add(const ChildRun& run) {
    if (!best.ok()) return;
    if (!run.ok()) {
      best.failure = run.failure;
      return;
    }
    best.seconds = std::min(best.seconds, run.seconds);
  }
};

// The engine alone: the same per-file computation (one engine run with the last-bar sink) over
// series decoded into memory beforehand.
class EngineAlone {
 public:
  explicit EngineAlone(const std::string& dir) {
    const tarvok::tools::BarFileList files = tarvok::tools::findBarFiles(dir);
    series_.resize(files.files.size());
    tarvok::tools::FileSnapshotReader reader;
    for (std::size_t i = 0; i < files.files.size(); ++i) {
      tarvok::tools::FileSnapshot snapshot;
      std::string error;
      reader.read(files.files[i].path, tarvok::tools::kMaxScanFileBytes, snapshot, error);
      tarvok::tools::decodeDaySeries(snapshot.bytes, series_[i]);
      bars += series_[i].size();
    }
  }

  double seconds() {
    const tarvok::DefaultFloatEnvironment environment;
    const Clock::time_point start = Clock::now();
    float sum = 0;
    for (const tarvok::tools::DaySeries& s : series_) {
      sum += tarvok::tools::lastBarRow(static_cast<int>(s.size()), s.high.data(), s.low.data(),
                                       s.close.data(), s.lastDate, 14, 2.0f)
                 .stop;
    }
    const double elapsed = secondsSince(start);
    sink_ = sum;
    return elapsed;
  }

  std::size_t bars = 0;

 private:
  std::vector<tarvok::tools::DaySeries> series_;
  volatile float sink_ = 0;
};

// Reading and decoding alone, in this process: what the scan adds to the engine per file.
// With oneFile, the first file as many times, its records staying in the processor's caches.
double readSeconds(const tarvok::tools::BarFileList& files, bool oneFile) {
  tarvok::tools::FileSnapshotReader reader;
  tarvok::tools::DaySeries series;
  const Clock::time_point start = Clock::now();
  for (const tarvok::tools::BarFileEntry& file : files.files) {
    tarvok::tools::FileSnapshot snapshot;
    std::string error;
    reader.read(oneFile ? files.files[0].path : file.path, tarvok::tools::kMaxScanFileBytes,
                snapshot, error);
    tarvok::tools::decodeDaySeries(snapshot.bytes, series);
  }
  return secondsSince(start);
}

// The text exports in a folder, by name.
std::vector<std::string> exportPaths(const std::string& dir) {
  std::vector<std::string> paths;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* entry = readdir(d)) {
      const std::string name = entry->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0) {
        paths.push_back(dir + "/" + name);
      }
    }
    closedir(d);
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

// Reading and parsing the exports alone, in this process: the parser's cost per row without the
// scan. With oneFile, the first file as many times, its text staying in the processor's caches.
// Every file must parse, to the bars written.
double exportSeconds(const std::vector<std::string>& paths, bool oneFile, std::size_t& rows) {
  tarvok::tools::FileSnapshotReader reader;
  tarvok::tools::TdxExport parsed;
  rows = 0;
  const Clock::time_point start = Clock::now();
  for (const std::string& path : paths) {
    tarvok::tools::FileSnapshot snapshot;
    std::string error;
    const std::string& file = oneFile ? paths[0] : path;
    if (reader.read(file, tarvok::tools::kMaxScanFileBytes, snapshot, error) !=
        tarvok::tools::FileSnapshotReader::Result::Read) {
      std::fprintf(stderr, "cannot read %s: %s\n", file.c_str(), error.c_str());
      std::exit(1);
    }
    try {
      tarvok::tools::parseTdxExport(snapshot.bytes, parsed);
    } catch (const tarvok::tools::ExportError& e) {
      std::fprintf(stderr, "%s\n", tarvok::tools::exportMessage(file, e).c_str());
      std::exit(1);
    }
    rows += parsed.bars.size();
  }
  return secondsSince(start);
}

}  // namespace

int main(int argc, char** argv) {
  std::string tool = TARVOK_RUN_PATH;
  std::string work = TARVOK_BENCH_WORK_DIR;
  int files = 5000, bars = 2500, runs = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--tool")
      tool = argv[i + 1];
    else if (option == "--work")
      work = argv[i + 1];
    else if (option == "--files")
      files = std::atoi(argv[i + 1]);
    else if (option == "--bars")
      bars = std::atoi(argv[i + 1]);
    else if (option == "--runs")
      runs = std::atoi(argv[i + 1]);
    else {
      std::fprintf(stderr,
                   "usage: %s [--tool PATH] [--work DIR] [--files N] [--bars B] [--runs R]\n",
                   argv[0]);
      return 2;
    }
  }
  mkdir(work.c_str(), 0777);
  const std::string shape = std::to_string(bars);
  const auto folder = [&](const char* kind, int n) {
    return work + "/" + kind + "_" + std::to_string(n) + "x" + shape;
  };
  const std::string big = folder("market", files), small = folder("market", files / 10);
  const std::string exports = folder("exports", files),
                    exportsSmall = folder("exports", files / 10);
  const std::string lc5 = folder("lc5", files), lc5Small = folder("lc5", files / 10);
  ensureMarket(big, Kind::Day, files, bars);
  ensureMarket(small, Kind::Day, files / 10, bars);
  ensureMarket(exports, Kind::Export, files, bars);
  ensureMarket(exportsSmall, Kind::Export, files / 10, bars);
  ensureMarket(lc5, Kind::FiveMinutes, files, bars);
  ensureMarket(lc5Small, Kind::FiveMinutes, files / 10, bars);
  const std::vector<std::string> fiveMinutes = {"--timeframe", "5min"};

  // Into the page cache.
  mustScan(tool, big, 2);
  mustScan(tool, small, 2);
  for (const std::string& dir : {exports, exportsSmall}) runScan(tool, dir, 2);
  for (const std::string& dir : {lc5, lc5Small}) runScan(tool, dir, 2, fiveMinutes);
  const std::vector<std::string> bigExports = exportPaths(exports);
  std::size_t exportRows = 0;
  exportSeconds(bigExports, false, exportRows);
  // Peak memory first: a child started by posix_spawn shares this process's memory until it runs
  // the tool, and its peak resident size counts that, so the series are loaded afterwards.
  const long rssOne = mustScan(tool, big, 1).maxRssKb;
  const long rssTwo = mustScan(tool, big, 2).maxRssKb;
  const long rssSmall = mustScan(tool, small, 1).maxRssKb;
  BestScan exportOne, exportSmall, lc5One, lc5SmallOne;
  exportOne.best.maxRssKb = runScan(tool, exports, 1).maxRssKb;
  exportSmall.best.maxRssKb = runScan(tool, exportsSmall, 1).maxRssKb;
  lc5One.best.maxRssKb = runScan(tool, lc5, 1, fiveMinutes).maxRssKb;
  lc5SmallOne.best.maxRssKb = runScan(tool, lc5Small, 1, fiveMinutes).maxRssKb;

  // The cases taken in turn, the best of each: this machine's speed drifts over minutes.
  EngineAlone engineAlone(big);
  const tarvok::tools::BarFileList bigFiles = tarvok::tools::findBarFiles(big);
  double engine = 1e30, reading = 1e30, readingOne = 1e30, parsing = 1e30, parsingOne = 1e30;
  ChildRun one{1e30, rssOne, {}}, two{1e30, rssTwo, {}}, smallOne{1e30, rssSmall, {}};
  for (int r = 0; r < runs; ++r) {
    engine = std::min(engine, engineAlone.seconds());
    reading = std::min(reading, readSeconds(bigFiles, false));
    readingOne = std::min(readingOne, readSeconds(bigFiles, true));
    parsing = std::min(parsing, exportSeconds(bigExports, false, exportRows));
    std::size_t oneRows = 0;
    parsingOne = std::min(parsingOne, exportSeconds(bigExports, true, oneRows));
    one.seconds = std::min(one.seconds, mustScan(tool, big, 1).seconds);
    two.seconds = std::min(two.seconds, mustScan(tool, big, 2).seconds);
    smallOne.seconds = std::min(smallOne.seconds, mustScan(tool, small, 1).seconds);
    exportOne.add(runScan(tool, exports, 1));
    exportSmall.add(runScan(tool, exportsSmall, 1));
    lc5One.add(runScan(tool, lc5, 1, fiveMinutes));
    lc5SmallOne.add(runScan(tool, lc5Small, 1, fiveMinutes));
  }
  const std::size_t totalBars = engineAlone.bars;
  const double b = static_cast<double>(totalBars);
  // Every kind of file has the same number of bars.
  const double written = static_cast<double>(files) * bars;

  std::printf("market: %d files of %d bars (%zu bars), best of %d runs\n", files, bars, totalBars,
              runs);
  std::printf("%-40s %10s %14s %10s %12s\n", "case", "seconds", "bars/s", "ns/bar", "peak RSS");
  const auto row = [](const std::string& name, double seconds, double count, long rssKb) {
    std::printf("%-40s %10.3f %14.4g %10.2f", name.c_str(), seconds, count / seconds,
                seconds / count * 1e9);
    if (rssKb > 0) {
      std::printf(" %9ld KB\n", rssKb);
    } else {
      std::printf("\n");
    }
  };
  const std::string tenth = std::to_string(files / 10) + " files";
  row("engine alone, in memory", engine, b, 0);
  row("read and decode alone", reading, b, 0);
  row("read and decode one file as often", readingOne, b, 0);
  row("export parse alone (ns/row)", parsing, static_cast<double>(exportRows), 0);
  row("export parse one file as often (ns/row)", parsingOne, static_cast<double>(exportRows), 0);
  row("scan -j 1", one.seconds, b, one.maxRssKb);
  row("scan -j 2", two.seconds, b, two.maxRssKb);
  row("scan -j 1, " + tenth, smallOne.seconds, b / 10, smallOne.maxRssKb);
  // A scan the tool refused: said so, with why.
  const auto scanRow = [&](const std::string& name, const BestScan& scan, double count) {
    if (scan.best.ok()) {
      row(name, scan.best.seconds, count, scan.best.maxRssKb);
    } else {
      std::printf("%-40s not run: %s\n", name.c_str(), scan.best.failure.c_str());
    }
  };
  scanRow("scan exports -j 1", exportOne, written);
  scanRow("scan exports -j 1, " + tenth, exportSmall, written / 10);
  scanRow("scan lc5 --timeframe 5min -j 1", lc5One, written);
  scanRow("scan lc5 --timeframe 5min -j 1, " + tenth, lc5SmallOne, written / 10);

  std::printf("scan -j 1 / engine alone: %.2fx per bar (goal: at most 1.5x)\n",
              one.seconds / engine);
  std::printf("scan -j 2 speed-up over -j 1: %.2fx (goal: at least 1.8x on 2 cores)\n",
              one.seconds / two.seconds);
  const double dayPerBar = one.seconds / b;
  std::printf("export parse alone / daily-file scan -j 1: %.2fx per bar\n",
              parsing / static_cast<double>(exportRows) / dayPerBar);
  const auto ratio = [&](const char* name, const BestScan& scan, const char* goal) {
    if (scan.best.ok()) {
      std::printf("%s / daily-file scan -j 1: %.2fx per bar%s\n", name,
                  scan.best.seconds / written / dayPerBar, goal);
    } else {
      std::printf("%s / daily-file scan -j 1: not measured (the scan was refused)\n", name);
    }
  };
  ratio("scan exports -j 1", exportOne, " (goal: at most 3x)");
  ratio("scan lc5 -j 1", lc5One, "");
  const auto flat = [&](const char* name, long big, long small) {
    if (big > 0 && small > 0) {
      std::printf("peak RSS of %s, %d files / %d files: %.2f\n", name, files, files / 10,
                  static_cast<double>(big) / static_cast<double>(small));
    }
  };
  flat("scan -j 1", one.maxRssKb, smallOne.maxRssKb);
  if (exportOne.best.ok() && exportSmall.best.ok()) {
    flat("scan exports -j 1", exportOne.best.maxRssKb, exportSmall.best.maxRssKb);
  }
  if (lc5One.best.ok() && lc5SmallOne.best.ok()) {
    flat("scan lc5 -j 1", lc5One.best.maxRssKb, lc5SmallOne.best.maxRssKb);
  }
  return 0;
}
