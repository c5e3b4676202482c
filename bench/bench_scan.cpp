// tarvok-bench-scan: the market scan over a synthetic market of daily files in the page cache,
// beside the engine alone over the same bars in memory, and the scan's peak memory.
//
// usage: tarvok-bench-scan [--tool PATH] [--work DIR] [--files N] [--bars B] [--runs R]
//
// The market (N files of B bars, 5,000 of 2,500 by default, 400 MB) and a tenth of it are written
// once below DIR and kept. Every figure is the best of R runs; the scan runs as a child process
// (tarvok-run --scan DIR -j J, output to /dev/null), whose peak resident memory the kernel reports.

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
#include <string>
#include <vector>

#include "indicator/float_environment.h"
#include "marketdata/bar_file_walk.h"
#include "marketdata/day_series.h"
#include "marketdata/file_snapshot.h"
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

// A seeded random walk in fen, one file of the terminal's format per symbol.
void writeMarket(const std::string& root, int files, int bars) {
  const std::vector<std::uint32_t> dates = weekdays(bars);
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  const auto next = [&state]() {  // xorshift64*
    state ^= state >> 12, state ^= state << 25, state ^= state >> 27;
    return (state * 2685821657736338717ull) >> 11;
  };
  const auto uniform = [&next](double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(next()) / 9007199254740992.0;
  };
  static const char* const kMarkets[] = {"sh", "sz", "bj"};
  std::vector<unsigned char> bytes(static_cast<std::size_t>(bars) * 32);
  for (int k = 0; k < files; ++k) {
    const std::string market = kMarkets[k % 3];
    const std::string folder = root + "/vipdoc/" + market + "/lday";
    for (const std::string& part :
         {std::string("/vipdoc"), "/vipdoc/" + market, "/vipdoc/" + market + "/lday"}) {
      mkdir((root + part).c_str(), 0777);
    }
    double close = uniform(300, 6000);
    for (int j = 0; j < bars; ++j) {
      const double open = close * (1 + uniform(-0.01, 0.01));
      const double newClose = std::max(1.0, close * (1 + uniform(-0.025, 0.025)));
      const double high = std::max(open, newClose) + close * uniform(0, 0.015);
      const double low = std::max(1.0, std::min(open, newClose) - close * uniform(0, 0.015));
      const std::uint32_t record[8] = {dates[static_cast<std::size_t>(j)],
                                       static_cast<std::uint32_t>(open),
                                       static_cast<std::uint32_t>(high),
                                       static_cast<std::uint32_t>(low),
                                       static_cast<std::uint32_t>(newClose),
                                       0,
                                       100000,
                                       0};
      std::memcpy(&bytes[static_cast<std::size_t>(j) * 32], record, 32);
      close = newClose;
    }
    char name[32];
    std::snprintf(name, sizeof name, "/%s%06d.day", market.c_str(), 600000 + k / 3);
    std::FILE* out = std::fopen((folder + name).c_str(), "wb");
    if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
        std::fclose(out) != 0) {
      std::fprintf(stderr, "cannot write %s%s\n", folder.c_str(), name);
      std::exit(1);
    }
  }
}

// The market below root, written unless a finished one is there.
void ensureMarket(const std::string& root, int files, int bars) {
  const std::string stamp = root + "/complete";
  struct stat info;
  if (stat(stamp.c_str(), &info) == 0) return;
  std::fprintf(stderr, "writing %d files of %d bars below %s\n", files, bars, root.c_str());
  mkdir(root.c_str(), 0777);
  writeMarket(root, files, bars);
  std::FILE* done = std::fopen(stamp.c_str(), "w");
  if (done != nullptr) std::fclose(done);
}

struct ChildRun {
  double seconds = 0;
  long maxRssKb = 0;
};

ChildRun runScan(const std::string& tool, const std::string& dir, int jobs) {
  const std::string j = std::to_string(jobs);
  const char* argv[] = {tool.c_str(), "--scan", dir.c_str(), "-j", j.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const Clock::time_point start = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, tool.c_str(), &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
    std::fprintf(stderr, "cannot run %s\n", tool.c_str());
    std::exit(1);
  }
  int status = 0;
  struct rusage usage;
  wait4(pid, &status, 0, &usage);
  ChildRun run{secondsSince(start), usage.ru_maxrss};
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s --scan %s failed\n", tool.c_str(), dir.c_str());
    std::exit(1);
  }
  return run;
}

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
  const std::string big = work + "/market_" + std::to_string(files) + "x" + std::to_string(bars);
  const std::string small =
      work + "/market_" + std::to_string(files / 10) + "x" + std::to_string(bars);
  ensureMarket(big, files, bars);
  ensureMarket(small, files / 10, bars);

  runScan(tool, big, 2);  // into the page cache
  runScan(tool, small, 2);
  // Peak memory first: a child started by posix_spawn shares this process's memory until it runs
  // the tool, and its peak resident size counts that, so the series are loaded afterwards.
  const long rssOne = runScan(tool, big, 1).maxRssKb;
  const long rssTwo = runScan(tool, big, 2).maxRssKb;
  const long rssSmall = runScan(tool, small, 1).maxRssKb;

  // The cases taken in turn, the best of each: this machine's speed drifts over minutes.
  EngineAlone engineAlone(big);
  const tarvok::tools::BarFileList bigFiles = tarvok::tools::findBarFiles(big);
  double engine = 1e30, reading = 1e30, readingOne = 1e30;
  ChildRun one{1e30, rssOne}, two{1e30, rssTwo}, smallOne{1e30, rssSmall};
  for (int r = 0; r < runs; ++r) {
    engine = std::min(engine, engineAlone.seconds());
    reading = std::min(reading, readSeconds(bigFiles, false));
    readingOne = std::min(readingOne, readSeconds(bigFiles, true));
    one.seconds = std::min(one.seconds, runScan(tool, big, 1).seconds);
    two.seconds = std::min(two.seconds, runScan(tool, big, 2).seconds);
    smallOne.seconds = std::min(smallOne.seconds, runScan(tool, small, 1).seconds);
  }
  const std::size_t totalBars = engineAlone.bars;
  const double b = static_cast<double>(totalBars);

  std::printf("market: %d files of %d bars (%zu bars), best of %d runs\n", files, bars, totalBars,
              runs);
  std::printf("%-34s %10s %14s %10s %12s\n", "case", "seconds", "bars/s", "ns/bar", "peak RSS");
  std::printf("%-34s %10.3f %14.4g %10.2f %12s\n", "engine alone, in memory", engine, b / engine,
              engine / b * 1e9, "");
  std::printf("%-34s %10.3f %14.4g %10.2f %12s\n", "read and decode alone", reading, b / reading,
              reading / b * 1e9, "");
  std::printf("%-34s %10.3f %14.4g %10.2f %12s\n", "read and decode one file as often", readingOne,
              b / readingOne, readingOne / b * 1e9, "");
  std::printf("%-34s %10.3f %14.4g %10.2f %9ld KB\n", "scan -j 1", one.seconds, b / one.seconds,
              one.seconds / b * 1e9, one.maxRssKb);
  std::printf("%-34s %10.3f %14.4g %10.2f %9ld KB\n", "scan -j 2", two.seconds, b / two.seconds,
              two.seconds / b * 1e9, two.maxRssKb);
  std::printf("%-34s %10.3f %14.4g %10.2f %9ld KB\n",
              ("scan -j 1, " + std::to_string(files / 10) + " files").c_str(), smallOne.seconds,
              b / 10 / smallOne.seconds, smallOne.seconds / (b / 10) * 1e9, smallOne.maxRssKb);
  std::printf("scan -j 1 / engine alone: %.2fx per bar (goal: at most 1.5x)\n",
              one.seconds / engine);
  std::printf("scan -j 2 speed-up over -j 1: %.2fx (goal: at least 1.8x on 2 cores)\n",
              one.seconds / two.seconds);
  std::printf("peak RSS, %d files / %d files: %.2f\n", files, files / 10,
              static_cast<double>(one.maxRssKb) / static_cast<double>(smallOne.maxRssKb));
  return 0;
}
