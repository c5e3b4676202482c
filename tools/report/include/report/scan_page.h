#pragma once
// The market scan as one self-contained HTML page: a summary, the table of listed rows (sortable
// by any column in the browser) and charts of the rows whose phase began most recently. Nothing
// is loaded from elsewhere, so the page opens from disk with no network.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scan/last_bar_row.h"
#include "scan/market_scan.h"

namespace tarvok::tools {

// The phase changes the page counts as recent: within the last this many bars, unless
// --changed-within says otherwise.
inline constexpr int kDefaultChangedWithin = 5;

struct ScanPageSummary {
  int period = 0;
  float multiplier = 0.0f;
  std::uint32_t newestDate = 0;         // of all rows; 0 when there are none
  std::size_t files = 0;                // bar files found
  std::size_t leftOut = 0;              // of those, files without a row
  std::array<std::size_t, 3> phases{};  // rows rising, falling, flat
  int changedWithin = kDefaultChangedWithin;
  std::size_t changedRecently = 0;  // rows with phase_bars <= changedWithin
  std::string listing;              // which rows the table lists, in words
};

struct ScanPageRow {
  std::string_view symbol;  // any bytes: escaped for the page
  ScanRow row;
  int chart = -1;         // the number of its chart, or -1
  std::string_view name;  // UTF-8; empty when unknown
  InstrumentKind kind = InstrumentKind::Other;
  Adjustment adjustment = Adjustment::None;
  std::int32_t daysBehind = 0;
};

// The page is written in three parts, so that the charts need not all be held at once: the head
// with the summary and the table, one part per chart (numbered as the rows name them), the tail
// with the script.
std::string scanPageHead(const ScanPageSummary& summary, const std::vector<ScanPageRow>& rows);
// svg is the chart's SVG document, or empty with why there is none in note.
std::string scanPageChart(int chart, std::string_view symbol, std::string_view svg,
                          std::string_view note);
std::string scanPageTail();

}  // namespace tarvok::tools
