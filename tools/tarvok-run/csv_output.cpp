#include "csv_output.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "marketdata/bar_date.h"
#include "os/os.h"
#include "scan/market_scan.h"
#include "text/message_text.h"

namespace tarvok::tools {

namespace {

std::uint32_t bitsOf(float x) {
  std::uint32_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

// A symbol as a CSV field: control bytes shown, a formula start defused, quoted when it holds a
// comma or a quote.
void appendField(fmt::memory_buffer& out, std::string_view symbol) {
  std::string text = printable(symbol);
  if (!text.empty() && std::string_view("=+-@").find(text.front()) != std::string_view::npos) {
    text.insert(text.begin(), '\'');
  }
  if (text.find_first_of(",\"") == std::string::npos) {
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
  out.reserve(96 + rows.size() * 96);
  fmt::format_to(fmt::appender(out),
                 "symbol,date,close,stop,state,phase,phase_bars,distance_pct,name,kind,adjust,"
                 "days_behind\n");
  for (const ScanPageRow& r : rows) {
    appendField(out, r.symbol);
    const ScanRow& row = r.row;
    const std::string date =
        row.time == kNoTime ? dateText(row.date) : dateTimeText(row.date, row.time);
    if (exact) {
      fmt::format_to(fmt::appender(out), ",{},{:08x},{:08x},", date, bitsOf(row.close),
                     bitsOf(row.stop));
    } else {
      fmt::format_to(fmt::appender(out), ",{},{},{},", date, row.close, row.stop);
    }
    fmt::format_to(fmt::appender(out), "{},{},{},{},", row.state, phaseName(phaseOf(row.state)),
                   row.phaseBars, distanceText(row));
    appendField(out, r.name);
    fmt::format_to(fmt::appender(out), ",{},{},{}\n", kindName(r.kind),
                   adjustmentName(r.adjustment), r.daysBehind);
  }
  return out;
}

bool writeAll(std::FILE* out, std::string_view text) {
  return os::writeText(out, text) && std::fflush(out) == 0;
}

bool writeWholeFile(const std::string& path, std::string_view text, std::string& error) {
  os::ReplacingFile file;
  if (!file.open(path, error)) return false;
  if (std::fwrite(text.data(), 1, text.size(), file.stream()) != text.size()) {
    error = std::strerror(errno);
    return false;
  }
  return file.commit(error);
}

}  // namespace tarvok::tools
