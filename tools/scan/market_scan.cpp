#include "scan/market_scan.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string_view>

#include <fmt/format.h>

#include "indicator/float_environment.h"
#include "indicator/output_functions.h"
#include "marketdata/day_file.h"
#include "marketdata/day_series.h"
#include "marketdata/file_snapshot.h"
#include "marketdata/minute_file.h"
#include "scan/worker_threads.h"

namespace tarvok::tools {

namespace {

constexpr int kNoRow = -1;

// What became of one file: a row, or why there is none.
struct Outcome {
  ScanRow row;
  int leftOut = kNoRow;
  std::string message;  // for a broken file, or a note on one with a row
  bool isOutput = false;
  bool unitByCheck = false;
  InstrumentKind kind = InstrumentKind::Other;
  std::uint32_t scale = kHundredths;
  Adjustment adjustment = Adjustment::None;
  std::string name;
};

// The calendar days the files have, as a bitmap over the years 1900 to 2199 (a date outside has
// no day after it counted).
class DateSet {
 public:
  static constexpr std::uint32_t kFirstYear = 1900, kYears = 300;
  static constexpr std::size_t kSlots = kYears * 372;  // 12 months of 31 days

  DateSet() : bits_((kSlots + 63) / 64, 0) {}

  static std::ptrdiff_t slotOf(std::uint32_t yyyymmdd) {
    const std::uint32_t year = yyyymmdd / 10000, month = yyyymmdd / 100 % 100, day = yyyymmdd % 100;
    if (year < kFirstYear || year >= kFirstYear + kYears || month - 1 > 11 || day - 1 > 30) {
      return -1;
    }
    return static_cast<std::ptrdiff_t>((year - kFirstYear) * 372 + (month - 1) * 31 + (day - 1));
  }
  // A file's dates come month by month: the slot of a day in the month of the date before is
  // found without dividing.
  void add(std::uint32_t yyyymmdd) {
    std::ptrdiff_t slot;
    const std::uint32_t day = yyyymmdd - monthStart_;
    if (day - 1 < 31) {
      slot = monthSlot_ + static_cast<std::ptrdiff_t>(day - 1);
    } else {
      slot = slotOf(yyyymmdd);
      if (slot < 0) return;
      monthStart_ = yyyymmdd - yyyymmdd % 100;
      monthSlot_ = slot - static_cast<std::ptrdiff_t>(yyyymmdd % 100 - 1);
    }
    bits_[static_cast<std::size_t>(slot) / 64] |= std::uint64_t{1} << (slot % 64);
  }
  void merge(const DateSet& other) {
    for (std::size_t i = 0; i < bits_.size(); ++i) bits_[i] |= other.bits_[i];
  }
  // For each slot, the days in the set after it, once every date is in.
  std::vector<std::int32_t> daysAfter() const {
    std::vector<std::int32_t> after(kSlots, 0);
    std::int32_t later = 0;
    for (std::size_t slot = kSlots; slot-- > 0;) {
      after[slot] = later;
      if ((bits_[slot / 64] >> (slot % 64)) & 1) ++later;
    }
    return after;
  }

 private:
  std::vector<std::uint64_t> bits_;
  // The month of the last date added, as YYYYMM00, and the slot of its first day; at first
  // January of the first year.
  std::uint32_t monthStart_ = kFirstYear * 10000 + 100;
  std::ptrdiff_t monthSlot_ = 0;
};

LeftOut kindOf(DayFault fault) {
  switch (fault) {
    case DayFault::Empty: return LeftOut::Empty;
    case DayFault::CutShort: return LeftOut::CutShort;
    case DayFault::BadDate: return LeftOut::BadDate;
    default: return LeftOut::TooLarge;
  }
}

LeftOut kindOf(MinuteFault fault) {
  switch (fault) {
    case MinuteFault::Empty: return LeftOut::Empty;
    case MinuteFault::CutShort: return LeftOut::CutShort;
    case MinuteFault::TooLong: return LeftOut::TooLarge;
    default: return LeftOut::BadDate;
  }
}

// The message --day gives for the file, from the reader that --day uses.
std::string faultMessage(const std::string& path, std::string_view bytes, bool minute,
                         std::uint32_t scale) {
  try {
    if (minute) {
      parseMinuteFile(bytes);
    } else {
      parseDayFile(bytes, scale);
    }
  } catch (const DayFileError& e) {
    return dayFileMessage(path, e);
  }
  return fmt::format("{}: refused by the scan's reader but not by --day's", path);
}

bool periodFits(ExportPeriod period, Timeframe timeframe) {
  switch (timeframe) {
    case Timeframe::Day: return period == ExportPeriod::Day;
    case Timeframe::FiveMinutes: return period == ExportPeriod::FiveMinutes;
    default: return period == ExportPeriod::OneMinute;
  }
}

// The listed rows that get a chart: the `wanted` best by (phase bars, symbol, walk order), with
// their series. Workers offer rows as they come; a row is only kept while it is among the best,
// and, when only current rows are listed, while no file has a later date.
class ChartPicks {
 public:
  ChartPicks(const std::vector<std::string>& symbols, std::size_t wanted, bool currentOnly)
      : symbols_(symbols), wanted_(wanted), currentOnly_(currentOnly) {}

  // A file's last date, for every file read.
  void noteDate(std::uint32_t date) {
    if (!currentOnly_ || wanted_ == 0) return;
    const os::MutexLock lock(mutex_);
    if (date <= newest_) return;
    newest_ = date;
    picks_.erase(std::remove_if(picks_.begin(), picks_.end(),
                                [&](const Pick& p) { return p.date < newest_; }),
                 picks_.end());
  }

  // Whether a row of this file would be kept now; cheap, so that most rows never build a chart.
  bool wants(std::size_t file, std::int32_t phaseBars, std::uint32_t date) {
    if (wanted_ == 0) return false;
    const os::MutexLock lock(mutex_);
    if (currentOnly_ && date < newest_) return false;
    return picks_.size() < wanted_ || before({file, phaseBars}, picks_.back().key);
  }

  void offer(std::size_t file, std::int32_t phaseBars, std::uint32_t date, ChartSeries&& series) {
    const os::MutexLock lock(mutex_);
    if (currentOnly_ && date < newest_) return;
    const Key key{file, phaseBars};
    const auto at = std::upper_bound(picks_.begin(), picks_.end(), key,
                                     [&](const Key& k, const Pick& p) { return before(k, p.key); });
    if (picks_.size() == wanted_ && at == picks_.end()) return;
    picks_.insert(at, Pick{key, date, std::move(series)});
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
    std::uint32_t date;
    ChartSeries series;
  };

  bool before(const Key& a, const Key& b) const {
    if (a.phaseBars != b.phaseBars) return a.phaseBars < b.phaseBars;
    if (symbols_[a.file] != symbols_[b.file]) return symbols_[a.file] < symbols_[b.file];
    return a.file < b.file;
  }

  const std::vector<std::string>& symbols_;
  const std::size_t wanted_;
  const bool currentOnly_;
  os::Mutex mutex_;
  std::uint32_t newest_ = 0;
  std::vector<Pick> picks_;  // best first
};

class FileScanner {
 public:
  FileScanner(const ScanSettings& settings, ChartPicks& picks)
      : settings_(settings), picks_(picks) {}

  void scan(std::size_t index, const BarFileEntry& file, Outcome& outcome) {
    const std::optional<Symbol> symbol = parseSymbol(file.fileName());
    const Market market = symbol ? symbol->market : Market::Other;
    const std::string_view code = symbol ? std::string_view(symbol->code) : std::string_view();
    FileSnapshot snapshot;
    for (int read = 1;; ++read) {
      std::string error;
      switch (reader_.read(file.path, kMaxScanFileBytes, snapshot, error)) {
        case FileSnapshotReader::Result::Failed:
          outcome.leftOut = static_cast<int>(LeftOut::Unreadable);
          outcome.message = fmt::format("{}: {}", file.path, error);
          return;
        case FileSnapshotReader::Result::TooLarge:
          outcome.leftOut = static_cast<int>(LeftOut::TooLarge);
          outcome.message = fmt::format("{}: larger than {} MiB: not one of the terminal's files",
                                        file.path, kMaxScanFileBytes >> 20);
          return;
        case FileSnapshotReader::Result::Read: break;
      }
      for (const os::FileIdentity& output : settings_.outputs) {
        if (snapshot.identity == output) outcome.isOutput = true;
      }
      const bool isOutput = outcome.isOutput;
      outcome = Outcome();
      outcome.isOutput = isOutput;
      const bool whole = file.type == BarFileType::Export ? readExport(file, snapshot, outcome)
                         : file.type == BarFileType::Minute
                             ? readMinutes(file, snapshot, market, code, outcome)
                             : readDays(file, snapshot, market, code, outcome);
      // A file being written gives no whole snapshot: it is read again, and named as changing
      // when it still gives none.
      if (whole || !snapshot.changedWhileRead()) break;
      if (read == kReadsOfAChangingFile) {
        outcome.leftOut = static_cast<int>(LeftOut::Changing);
        outcome.message = fmt::format(
            "{}: it changed while it was read ({} bytes, then {}): the terminal may be writing "
            "it; scan again when its download is done",
            file.path, snapshot.sizeAtOpen, snapshot.sizeAfter);
        return;
      }
    }
    if (outcome.leftOut != kNoRow || n_ == 0) return;
    picks_.noteDate(lastDate_);
    bars += static_cast<std::size_t>(n_);
    if (n_ < kMinBars) {
      outcome.leftOut = static_cast<int>(LeftOut::TooFewBars);
      return;
    }
    outcome.row =
        lastBarRow(n_, high_, low_, close_, lastDate_, settings_.period, settings_.multiplier);
    outcome.row.time = lastTime_;
    phaseStart(file, snapshot.bytes, static_cast<std::size_t>(n_ - outcome.row.phaseBars),
               outcome.row);
    if ((!settings_.listed || settings_.listed(outcome.row, outcome.kind)) &&
        picks_.wants(index, outcome.row.phaseBars, outcome.row.date)) {
      picks_.offer(index, outcome.row.phaseBars, outcome.row.date,
                   chartSeries(index, file, snapshot.bytes));
    }
  }

  std::size_t bars = 0;
  DateSet dates;

 private:
  // Each reader sets the series the row is computed from (n_, high_, low_, close_, the last date
  // and time), or the outcome's reason for no row. False when the bytes are no whole file (which a
  // file being written can give).
  bool readDays(const BarFileEntry& file, const FileSnapshot& snapshot, Market market,
                std::string_view code, Outcome& outcome) {
    n_ = 0;
    const std::string_view bytes = snapshot.bytes;
    const PriceUnit unit = decidePriceUnit(
        market, code, bytes.substr(0, bytes.size() - bytes.size() % kDayRecordSize));
    // A broken file is named as broken, and a short one counted, whatever its unit: the reader's
    // checks come first.
    scale_ = unit.decision == UnitDecision::Undecided ? kHundredths : unit.scale;
    const DayFault fault = decodeDaySeries(bytes, days_, scale_);
    if (fault != DayFault::None) {
      outcome.leftOut = static_cast<int>(kindOf(fault));
      outcome.message = faultMessage(file.path, bytes, false, scale_);
      return fault != DayFault::CutShort;
    }
    for (std::size_t r = 0; r < days_.size(); ++r) {
      std::uint32_t date;
      std::memcpy(&date, bytes.data() + r * kDayRecordSize, 4);
      dates.add(date);
    }
    setSeries(days_.high, days_.low, days_.close, days_.lastDate, kNoTime);
    if (unit.decision == UnitDecision::Undecided && n_ >= kMinBars) {
      outcome.leftOut = static_cast<int>(LeftOut::UnknownUnit);
      outcome.message = priceUnitNote(file.path, code, unit);
      return true;
    }
    outcome.kind = unit.kind;
    outcome.scale = unit.scale;
    if (unit.decision == UnitDecision::CheckOverTable && n_ >= kMinBars) {
      outcome.unitByCheck = true;
      outcome.message = priceUnitNote(file.path, code, unit);
    }
    return true;
  }

  bool readMinutes(const BarFileEntry& file, const FileSnapshot& snapshot, Market market,
                   std::string_view code, Outcome& outcome) {
    n_ = 0;
    const std::string_view bytes = snapshot.bytes;
    if (const std::optional<TableKind> k = kindFromTable(market, code)) {
      outcome.kind = k->kind;
      outcome.scale = k->scale;
    }
    const MinuteFault fault = decodeMinuteSeries(bytes, minutes_);
    if (fault != MinuteFault::None) {
      outcome.leftOut = static_cast<int>(kindOf(fault));
      outcome.message = faultMessage(file.path, bytes, true, 0);
      return fault != MinuteFault::CutShort;
    }
    std::uint16_t lastPacked = 0;
    for (std::size_t r = 0; r < minutes_.size(); ++r) {
      std::uint16_t packed;
      std::memcpy(&packed, bytes.data() + r * kMinuteRecordSize, 2);
      if (packed == lastPacked) continue;  // a day's bars share their date
      lastPacked = packed;
      if (const std::optional<std::uint32_t> date = minuteFileDate(packed)) dates.add(*date);
    }
    setSeries(minutes_.high, minutes_.low, minutes_.close, minutes_.lastDate, minutes_.lastTime);
    return true;
  }

  bool readExport(const BarFileEntry& file, const FileSnapshot& snapshot, Outcome& outcome) {
    n_ = 0;
    const std::optional<Symbol> symbol = parseSymbol(file.fileName());
    try {
      parseTdxExport(snapshot.bytes, export_);
    } catch (const ExportError& e) {
      outcome.leftOut = static_cast<int>(LeftOut::BrokenExport);
      outcome.message = exportMessage(file.path, e);
      return false;
    }
    if (!periodFits(export_.period, settings_.timeframe)) {
      outcome.leftOut = static_cast<int>(LeftOut::OtherPeriod);
      return true;
    }
    if (symbol) {
      if (const std::optional<TableKind> k = kindFromTable(symbol->market, symbol->code)) {
        outcome.kind = k->kind;
        outcome.scale = k->scale;
      }
    }
    outcome.adjustment = export_.adjustment;
    outcome.name = export_.name;
    const BarSeries& b = export_.bars;
    if (b.size() == 0) return true;
    for (std::size_t j = 0; j < b.size(); ++j) {
      if (j == 0 || b.date[j] != b.date[j - 1]) dates.add(b.date[j]);
    }
    setSeries(b.high, b.low, b.close, b.date.back(), b.time.empty() ? kNoTime : b.time.back());
    return true;
  }

  // The date (and time) of bar j, from what the series came from.
  void phaseStart(const BarFileEntry& file, std::string_view bytes, std::size_t j,
                  ScanRow& row) const {
    if (file.type == BarFileType::Export) {
      row.phaseStartDate = export_.bars.date[j];
      if (!export_.bars.time.empty()) row.phaseStartTime = export_.bars.time[j];
    } else if (file.type == BarFileType::Minute) {
      std::uint16_t packed[2];
      std::memcpy(packed, bytes.data() + j * kMinuteRecordSize, sizeof packed);
      row.phaseStartDate = minuteFileDate(packed[0]).value_or(0);
      row.phaseStartTime = packed[1];
    } else {
      std::memcpy(&row.phaseStartDate, bytes.data() + j * kDayRecordSize, 4);
    }
  }

  void setSeries(const std::vector<float>& high, const std::vector<float>& low,
                 const std::vector<float>& close, std::uint32_t lastDate, std::uint16_t lastTime) {
    n_ = static_cast<int>(close.size());
    high_ = high.data();
    low_ = low.data();
    close_ = close.data();
    lastDate_ = lastDate;
    lastTime_ = lastTime;
  }

  // The chart's bars from the same bytes as the row: every field of the last bars, and the
  // indicator over the whole series.
  ChartSeries chartSeries(std::size_t index, const BarFileEntry& file,
                          std::string_view bytes) const {
    ChartSeries chart;
    chart.file = index;
    const auto n = static_cast<std::size_t>(n_);
    const std::size_t first = n > settings_.chartBars ? n - settings_.chartBars : 0;
    if (file.type == BarFileType::Export) {
      const BarSeries& b = export_.bars;
      const auto from = static_cast<std::ptrdiff_t>(first);
      chart.bars.high.assign(b.high.begin() + from, b.high.end());
      chart.bars.low.assign(b.low.begin() + from, b.low.end());
      chart.bars.close.assign(b.close.begin() + from, b.close.end());
      chart.bars.open.assign(b.open.begin() + from, b.open.end());
      chart.bars.date.assign(b.date.begin() + from, b.date.end());
      if (!b.time.empty()) chart.bars.time.assign(b.time.begin() + from, b.time.end());
    } else if (file.type == BarFileType::Minute) {
      chart.bars = parseMinuteFile(bytes.substr(first * kMinuteRecordSize));
    } else {
      chart.bars = parseDayFile(bytes.substr(first * kDayRecordSize), scale_);
    }
    chart.indicator =
        bandStopTail(n_, high_, low_, close_, settings_.period, settings_.multiplier, first);
    return chart;
  }

  const ScanSettings& settings_;
  ChartPicks& picks_;
  FileSnapshotReader reader_;
  DaySeries days_;
  MinuteSeries minutes_;
  TdxExport export_;
  std::uint32_t scale_ = kHundredths;
  // The series of the file at hand.
  int n_ = 0;
  const float* high_ = nullptr;
  const float* low_ = nullptr;
  const float* close_ = nullptr;
  std::uint32_t lastDate_ = 0;
  std::uint16_t lastTime_ = kNoTime;
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
    case LeftOut::UnknownUnit: return "unknown price unit";
    case LeftOut::BrokenExport: return "broken export";
    case LeftOut::OtherPeriod: return "of another period";
    case LeftOut::AlsoExported: return "also exported";
    default: return fmt::format("fewer than {} bars", kMinBars);
  }
}

ScanResult scanMarket(const BarFileList& files, const ScanSettings& settings) {
  const std::size_t count = files.files.size();
  std::vector<std::string> symbols(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::optional<Symbol> symbol = parseSymbol(files.files[i].fileName());
    symbols[i] = symbol ? symbolText(*symbol) : std::string(files.files[i].stem());
  }
  std::vector<Outcome> outcomes(count);
  const unsigned workers = static_cast<unsigned>(
      std::max<std::size_t>(1, std::min<std::size_t>(settings.workers, count)));
  std::vector<std::size_t> bars(workers, 0);
  std::vector<DateSet> dates(workers);
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> done{0};
  ChartPicks picks(symbols, settings.charts, settings.currentOnly);

  runWorkers(workers, [&](unsigned worker) {
    const DefaultFloatEnvironment environment;
    FileScanner scanner(settings, picks);
    for (;;) {
      const std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
      if (i >= count) break;
      try {
        scanner.scan(i, files.files[i], outcomes[i]);
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
    dates[worker] = std::move(scanner.dates);
  });

  ScanResult result;
  for (std::size_t b : bars) result.bars += b;
  for (std::size_t w = 1; w < dates.size(); ++w) dates[0].merge(dates[w]);
  const std::vector<std::int32_t> daysAfter = dates[0].daysAfter();
  std::size_t problem = 0;
  for (std::size_t i = 0; i < count; ++i) {
    for (; problem < files.problems.size() && files.problems[problem].filesBefore <= i; ++problem) {
      result.messages.push_back(files.problems[problem].message);
    }
    Outcome& o = outcomes[i];
    if (o.isOutput) result.outputsRead.push_back(i);
    if (o.unitByCheck) ++result.unitsByCheck;
    if (o.leftOut == kNoRow) {
      const std::ptrdiff_t slot = DateSet::slotOf(o.row.date);
      const std::int32_t behind = slot >= 0 ? daysAfter[static_cast<std::size_t>(slot)] : 0;
      result.rows.push_back(
          {i, o.row, symbols[i], o.kind, o.scale, o.adjustment, std::move(o.name), behind});
      if (!o.message.empty()) result.messages.push_back(std::move(o.message));
    } else {
      ++result.leftOut[static_cast<std::size_t>(o.leftOut)];
      if (!o.message.empty()) result.messages.push_back(std::move(o.message));
    }
  }
  for (; problem < files.problems.size(); ++problem) {
    result.messages.push_back(files.problems[problem].message);
  }
  std::stable_sort(
      result.rows.begin(), result.rows.end(),
      [](const ScanResult::Listed& a, const ScanResult::Listed& b) { return a.symbol < b.symbol; });

  // A symbol with an export and another file: the export's row, which carries its adjustment.
  std::vector<ScanResult::Listed> kept;
  kept.reserve(result.rows.size());
  for (std::size_t i = 0; i < result.rows.size();) {
    std::size_t end = i;
    bool exported = false;
    for (; end < result.rows.size() && result.rows[end].symbol == result.rows[i].symbol; ++end) {
      exported = exported || files.files[result.rows[end].file].type == BarFileType::Export;
    }
    for (std::size_t k = i; k < end; ++k) {
      const ScanResult::Listed& row = result.rows[k];
      if (exported && files.files[row.file].type != BarFileType::Export) {
        ++result.leftOut[static_cast<std::size_t>(LeftOut::AlsoExported)];
        std::string exportPath;
        for (std::size_t e = i; e < end; ++e) {
          if (files.files[result.rows[e].file].type == BarFileType::Export) {
            exportPath = files.files[result.rows[e].file].path;
          }
        }
        result.messages.push_back(fmt::format(
            "{}: {} is also exported, in {}: the export is taken, as it carries its adjustment",
            files.files[row.file].path, row.symbol, exportPath));
        continue;
      }
      kept.push_back(std::move(result.rows[k]));
    }
    i = end;
  }
  result.rows = std::move(kept);

  result.charts = picks.take();
  result.charts.erase(std::remove_if(result.charts.begin(), result.charts.end(),
                                     [&](const ChartSeries& c) {
                                       return std::none_of(result.rows.begin(), result.rows.end(),
                                                           [&](const ScanResult::Listed& r) {
                                                             return r.file == c.file;
                                                           });
                                     }),
                      result.charts.end());
  return result;
}

}  // namespace tarvok::tools
