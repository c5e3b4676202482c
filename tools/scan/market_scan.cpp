#include "scan/market_scan.h"

#include <algorithm>
#include <atomic>
#include <string_view>

#include <fmt/format.h>

#include "indicator/float_environment.h"
#include "indicator/output_functions.h"
#include "marketdata/day_file.h"
#include "marketdata/day_series.h"
#include "marketdata/file_snapshot.h"
#include "scan/worker_threads.h"

namespace tarvok::tools {

namespace {

constexpr int kNoRow = -1;

// What became of one file: a row, or why there is none.
struct Outcome {
  ScanRow row;
  int leftOut = kNoRow;
  std::string message;  // for a broken file
};

LeftOut kindOf(DayFault fault) {
  switch (fault) {
    case DayFault::Empty: return LeftOut::Empty;
    case DayFault::CutShort: return LeftOut::CutShort;
    case DayFault::BadDate: return LeftOut::BadDate;
    default: return LeftOut::TooLarge;
  }
}

// The message --day gives for the file, from the reader that --day uses.
std::string faultMessage(const std::string& path, std::string_view bytes) {
  try {
    parseDayFile(bytes);
  } catch (const DayFileError& e) {
    return dayFileMessage(path, e);
  }
  return fmt::format("{}: refused by the scan's reader but not by --day's", path);
}

class FileScanner {
 public:
  explicit FileScanner(const ScanSettings& settings) : settings_(settings) {}

  void scan(const std::string& path, Outcome& outcome) {
    std::string_view bytes;
    std::string error;
    switch (reader_.read(path, kMaxScanFileBytes, bytes, error)) {
      case FileSnapshotReader::Result::Failed:
        outcome.leftOut = static_cast<int>(LeftOut::Unreadable);
        outcome.message = fmt::format("{}: {}", path, error);
        return;
      case FileSnapshotReader::Result::TooLarge:
        outcome.leftOut = static_cast<int>(LeftOut::TooLarge);
        outcome.message =
            fmt::format("{}: larger than {} MiB: not one of the terminal's daily files", path,
                        kMaxScanFileBytes >> 20);
        return;
      case FileSnapshotReader::Result::Read: break;
    }
    const DayFault fault = decodeDaySeries(bytes, series_);
    if (fault != DayFault::None) {
      outcome.leftOut = static_cast<int>(kindOf(fault));
      outcome.message = faultMessage(path, bytes);
      return;
    }
    bars += series_.size();
    if (series_.size() < static_cast<std::size_t>(kMinBars)) {
      outcome.leftOut = static_cast<int>(LeftOut::TooFewBars);
      return;
    }
    outcome.row =
        lastBarRow(static_cast<int>(series_.size()), series_.high.data(), series_.low.data(),
                   series_.close.data(), series_.lastDate, settings_.period, settings_.multiplier);
  }

  std::size_t bars = 0;

 private:
  const ScanSettings& settings_;
  FileSnapshotReader reader_;
  DaySeries series_;
};

}  // namespace

std::string leftOutName(LeftOut kind) {
  switch (kind) {
    case LeftOut::Unreadable: return "unreadable";
    case LeftOut::TooLarge: return "too large";
    case LeftOut::Empty: return "empty";
    case LeftOut::CutShort: return "cut short";
    case LeftOut::BadDate: return "bad date";
    default: return fmt::format("fewer than {} bars", kMinBars);
  }
}

ScanResult scanMarket(const DayFileList& files, const ScanSettings& settings) {
  const std::size_t count = files.files.size();
  std::vector<Outcome> outcomes(count);
  const unsigned workers = static_cast<unsigned>(
      std::max<std::size_t>(1, std::min<std::size_t>(settings.workers, count)));
  std::vector<std::size_t> bars(workers, 0);
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> done{0};

  runWorkers(workers, [&](unsigned worker) {
    const DefaultFloatEnvironment environment;
    FileScanner scanner(settings);
    for (;;) {
      const std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
      if (i >= count) break;
      try {
        scanner.scan(files.files[i].path, outcomes[i]);
      } catch (const std::bad_alloc&) {
        outcomes[i].leftOut = static_cast<int>(LeftOut::Unreadable);
        try {
          outcomes[i].message = files.files[i].path + ": out of memory";
        } catch (const std::bad_alloc&) {
          outcomes[i].message.clear();  // the summary still counts it
        }
      }
      const std::size_t finished = done.fetch_add(1, std::memory_order_relaxed) + 1;
      if (settings.progress) settings.progress(finished);
    }
    bars[worker] = scanner.bars;
  });

  ScanResult result;
  for (std::size_t b : bars) result.bars += b;
  std::size_t problem = 0;
  for (std::size_t i = 0; i < count; ++i) {
    for (; problem < files.problems.size() && files.problems[problem].filesBefore <= i; ++problem) {
      result.messages.push_back(files.problems[problem].message);
    }
    Outcome& o = outcomes[i];
    if (o.leftOut == kNoRow) {
      result.rows.push_back({i, o.row});
    } else {
      ++result.leftOut[static_cast<std::size_t>(o.leftOut)];
      if (!o.message.empty()) result.messages.push_back(std::move(o.message));
    }
  }
  for (; problem < files.problems.size(); ++problem) {
    result.messages.push_back(files.problems[problem].message);
  }
  std::stable_sort(result.rows.begin(), result.rows.end(),
                   [&](const ScanResult::Listed& a, const ScanResult::Listed& b) {
                     return files.files[a.file].symbol() < files.files[b.file].symbol();
                   });
  return result;
}

}  // namespace tarvok::tools
