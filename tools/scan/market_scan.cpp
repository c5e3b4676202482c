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
  bool isOutput = false;
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

// The listed rows that get a chart: the `wanted` best by (phase bars, symbol, walk order), with
// their series. Workers offer rows as they come; a row is only kept while it is among the best.
class ChartPicks {
 public:
  ChartPicks(const DayFileList& files, std::size_t wanted) : files_(files), wanted_(wanted) {}

  // Whether a row of this file would be kept now; cheap, so that most rows never build a chart.
  bool wants(std::size_t file, std::int32_t phaseBars) {
    if (wanted_ == 0) return false;
    const os::MutexLock lock(mutex_);
    return picks_.size() < wanted_ || before({file, phaseBars}, picks_.back().key);
  }

  void offer(std::size_t file, std::int32_t phaseBars, ChartSeries&& series) {
    const os::MutexLock lock(mutex_);
    const Key key{file, phaseBars};
    const auto at = std::upper_bound(picks_.begin(), picks_.end(), key,
                                     [&](const Key& k, const Pick& p) { return before(k, p.key); });
    if (picks_.size() == wanted_ && at == picks_.end()) return;
    picks_.insert(at, Pick{key, std::move(series)});
    if (picks_.size() > wanted_) picks_.pop_back();
  }

  std::vector<ChartSeries> take() {
    std::vector<ChartSeries> out;
    out.reserve(picks_.size());
    for (Pick& p : picks_) out.push_back(std::move(p.series));
    return out;
  }

 private:
  struct Key {
    std::size_t file;
    std::int32_t phaseBars;
  };
  struct Pick {
    Key key;
    ChartSeries series;
  };

  bool before(const Key& a, const Key& b) const {
    if (a.phaseBars != b.phaseBars) return a.phaseBars < b.phaseBars;
    const std::string_view sa = files_.files[a.file].symbol();
    const std::string_view sb = files_.files[b.file].symbol();
    if (sa != sb) return sa < sb;
    return a.file < b.file;
  }

  const DayFileList& files_;
  const std::size_t wanted_;
  os::Mutex mutex_;
  std::vector<Pick> picks_;  // best first
};

class FileScanner {
 public:
  FileScanner(const ScanSettings& settings, ChartPicks& picks)
      : settings_(settings), picks_(picks) {}

  void scan(std::size_t index, const std::string& path, Outcome& outcome) {
    FileSnapshot snapshot;
    DayFault fault = DayFault::None;
    for (int read = 1;; ++read) {
      std::string error;
      switch (reader_.read(path, kMaxScanFileBytes, snapshot, error)) {
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
      for (const os::FileIdentity& output : settings_.outputs) {
        if (snapshot.identity == output) outcome.isOutput = true;
      }
      fault = decodeDaySeries(snapshot.bytes, series_);
      // A file being written gives no whole snapshot: it is read again, and named as changing
      // when it still gives none.
      if (fault == DayFault::None || !snapshot.changedWhileRead()) break;
      if (read == kReadsOfAChangingFile) {
        outcome.leftOut = static_cast<int>(LeftOut::Changing);
        outcome.message = fmt::format(
            "{}: it changed while it was read ({} bytes, then {}): the terminal may be writing "
            "it; scan again when its download is done",
            path, snapshot.sizeAtOpen, snapshot.sizeAfter);
        return;
      }
    }
    if (fault != DayFault::None) {
      outcome.leftOut = static_cast<int>(kindOf(fault));
      outcome.message = faultMessage(path, snapshot.bytes);
      return;
    }
    bars += series_.size();
    if (series_.size() < static_cast<std::size_t>(kMinBars)) {
      outcome.leftOut = static_cast<int>(LeftOut::TooFewBars);
      return;
    }
    const int n = static_cast<int>(series_.size());
    outcome.row = lastBarRow(n, series_.high.data(), series_.low.data(), series_.close.data(),
                             series_.lastDate, settings_.period, settings_.multiplier);
    if ((!settings_.listed || settings_.listed(outcome.row)) &&
        picks_.wants(index, outcome.row.phaseBars)) {
      picks_.offer(index, outcome.row.phaseBars, chartSeries(index, snapshot.bytes));
    }
  }

  std::size_t bars = 0;

 private:
  // The chart's bars from the same bytes as the row: every field of the last records, and the
  // indicator over the whole file.
  ChartSeries chartSeries(std::size_t index, std::string_view bytes) const {
    ChartSeries chart;
    chart.file = index;
    const std::size_t n = series_.size();
    const std::size_t first = n > settings_.chartBars ? n - settings_.chartBars : 0;
    chart.bars = parseDayFile(bytes.substr(first * kDayRecordSize));
    chart.indicator = bandStopTail(static_cast<int>(n), series_.high.data(), series_.low.data(),
                                   series_.close.data(), settings_.period, settings_.multiplier,
                                   first);
    return chart;
  }

  const ScanSettings& settings_;
  ChartPicks& picks_;
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
    case LeftOut::Changing: return "changing";
    default: return fmt::format("fewer than {} bars", kMinBars);
  }
}

ScanResult scanMarket(const DayFileList& files, const ScanSettings& settings) {
  const std::size_t count = files.files.size();
  std::vector<Outcome> outcomes(count);
  const unsigned workers =
      static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(settings.workers, count)));
  std::vector<std::size_t> bars(workers, 0);
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> done{0};
  ChartPicks picks(files, settings.charts);

  runWorkers(workers, [&](unsigned worker) {
    const DefaultFloatEnvironment environment;
    FileScanner scanner(settings, picks);
    for (;;) {
      const std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
      if (i >= count) break;
      try {
        scanner.scan(i, files.files[i].path, outcomes[i]);
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
    if (o.isOutput) result.outputsRead.push_back(i);
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
  result.charts = picks.take();
  return result;
}

}  // namespace tarvok::tools
