#pragma once
// The market scan as one self-contained HTML page, in the reader's language: counts that follow
// the filters, buttons that filter by kind, market and phase and by how recently the phase began,
// a search over code and name, the table of listed rows (the most recent phase changes first,
// sortable by any column), the codes of the rows shown to copy or download for the terminal's
// block import, and charts of the rows whose phase began most recently. Nothing is loaded from
// elsewhere, so the page opens from disk with no network.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "marketdata/bar_file_walk.h"
#include "marketdata/instrument.h"
#include "marketdata/tdx_export.h"
#include "scan/last_bar_row.h"
#include "scan/market_scan.h"
#include "text/language.h"

namespace tarvok::tools {

// The phase changes the page counts as recent: within the last this many bars, unless
// --changed-within says otherwise.
inline constexpr int kDefaultChangedWithin = 5;

struct ScanPageSummary {
  Language language = Language::English;
  int period = 0;
  float multiplier = 0.0f;
  Timeframe timeframe = Timeframe::Day;
  std::uint32_t newestDate = 0;  // of all rows; 0 when there are none
  std::size_t files = 0;         // bar files found
  std::size_t leftOut = 0;       // of those, files without a row
  int changedWithin = kDefaultChangedWithin;
  std::string listing;  // which rows the table lists, in the page's language
};

struct ScanPageRow {
  std::string_view symbol;  // any bytes: escaped for the page
  ScanRow row;
  int chart = -1;         // the number of its chart, or -1
  std::string_view name;  // UTF-8; empty when unknown
  InstrumentKind kind = InstrumentKind::Other;
  Adjustment adjustment = Adjustment::None;
  std::int32_t daysBehind = 0;
  std::uint32_t scale = 100;  // units of a yuan its prices are kept in: 1000 shows 3 decimals
};

// A row whose last bar is this many trading dates or more behind is called stale (过期: no longer
// traded, or not downloaded); fewer, suspended (停牌).
inline constexpr std::int32_t kStaleDaysBehind = 60;

// The page is written in three parts, so that the charts need not all be held at once: the head
// with the summary and the table, one part per chart (numbered as the rows name them), the tail
// with the script.
std::string scanPageHead(const ScanPageSummary& summary, const std::vector<ScanPageRow>& rows);
// svg is the chart's SVG document, or empty with why there is none in note.
std::string scanPageChart(int chart, std::string_view symbol, std::string_view svg,
                          std::string_view note);
std::string scanPageTail();

}  // namespace tarvok::tools
