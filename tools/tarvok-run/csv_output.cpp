#include "csv_output.h"

#include <cstdint>
#include <cstring>

#include "marketdata/bar_date.h"
#include "scan/market_scan.h"

namespace tarvok::tools {

namespace {

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

}  // namespace

fmt::memory_buffer barRowsCsv(const std::vector<float>& stop, const std::vector<float>& state,
                              bool exact) {
  fmt::memory_buffer out;
  out.reserve(16 + stop.size() * (exact ? 20 : 24));
  fmt::format_to(fmt::appender(out), "bar,stop,state\n");
  for (std::size_t j = 0; j < stop.size(); ++j) {
    const auto s = static_cast<std::int32_t>(state[j]);
    if (exact) {
      fmt::format_to(fmt::appender(out), "{},{:08x},{}\n", j, bitsOf(stop[j]), s);
    } else {
      fmt::format_to(fmt::appender(out), "{},{},{}\n", j, stop[j], s);
    }
  }
  return out;
}

fmt::memory_buffer scanRowsCsv(const std::vector<ScanPageRow>& rows, bool exact) {
  fmt::memory_buffer out;
  out.reserve(64 + rows.size() * 72);
  fmt::format_to(fmt::appender(out),
                 "symbol,date,close,stop,state,phase,phase_bars,distance_pct\n");
  for (const ScanPageRow& r : rows) {
    appendField(out, r.symbol);
    const ScanRow& row = r.row;
    if (exact) {
      fmt::format_to(fmt::appender(out), ",{},{:08x},{:08x},", dateText(row.date),
                     bitsOf(row.close), bitsOf(row.stop));
    } else {
      fmt::format_to(fmt::appender(out), ",{},{},{},", dateText(row.date), row.close, row.stop);
    }
    fmt::format_to(fmt::appender(out), "{},{},{},{}\n", row.state, phaseName(phaseOf(row.state)),
                   row.phaseBars, distanceText(row));
  }
  return out;
}

bool writeAll(std::FILE* out, std::string_view text) {
  return std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
}

}  // namespace tarvok::tools
