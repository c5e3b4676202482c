// libFuzzer target: the market scan's fast daily-file decoder against the plain reader on any
// bytes. Both refuse the file for the same fault, or both take it: then the same high, low and
// close bit for bit, and the same last date. The decoder checks most dates only against the month
// of the record before, so a date the calendar lacks must still be caught there.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "marketdata/day_file.h"
#include "marketdata/day_series.h"
#include "reader_checks.h"

namespace {

using tarvok::tools::DayFault;

const char* faultName(DayFault fault) {
  switch (fault) {
    case DayFault::None: return "none";
    case DayFault::Empty: return "empty";
    case DayFault::CutShort: return "cut short";
    case DayFault::BadDate: return "bad date";
    case DayFault::TooLong: return "too long";
  }
  return "?";
}

// The fault the decoder should name for the reader's error: by the reader's message, whose
// wording for each fault is fixed in day_file.cpp.
DayFault faultOf(const tarvok::tools::DayFileError& e) {
  const std::string_view message = e.what();
  if (message.rfind("empty file", 0) == 0) return DayFault::Empty;
  if (message.rfind("cut short", 0) == 0) return DayFault::CutShort;
  if (message.find("is not a date") != std::string_view::npos ||
      message.find("does not come after") != std::string_view::npos) {
    return DayFault::BadDate;
  }
  tarvok::fuzz::fail("the reader refused for a reason the decoder has no fault for",
                     std::string(message));
}

bool sameBits(const float* a, const std::vector<float>& b) {
  return b.empty() || std::memcmp(a, b.data(), b.size() * sizeof(float)) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // A worker keeps its series from file to file: here they start longer than the file and full of
  // a NaN no record gives, so that an element the decoder leaves unwritten shows.
  tarvok::tools::DaySeries series;
  const std::size_t stale = size / tarvok::tools::kDayRecordSize + 5;
  for (auto* v : {&series.high, &series.low, &series.close})
    v->assign(stale, __builtin_nanf("0x2bad"));
  series.lastDate = 0xFFFFFFFFu;
  const DayFault fault = tarvok::tools::decodeDaySeries(bytes, series);

  DayFault expected = DayFault::None;
  tarvok::tools::BarSeries bars;
  try {
    bars = tarvok::tools::parseDayFile(bytes);
  } catch (const tarvok::tools::DayFileError& e) {
    expected = faultOf(e);
  }
  if (fault != expected) {
    tarvok::fuzz::fail(
        "the decoder and the reader disagree on the fault",
        std::string("decoder: ") + faultName(fault) + ", reader: " + faultName(expected));
  }
  if (fault != DayFault::None) return 0;

  if (series.size() != bars.size() || series.high.size() != bars.size() ||
      series.low.size() != bars.size()) {
    tarvok::fuzz::fail("the decoder gives another number of bars", std::to_string(series.size()));
  }
  if (!sameBits(series.high.data(), bars.high)) tarvok::fuzz::fail("high differs", "");
  if (!sameBits(series.low.data(), bars.low)) tarvok::fuzz::fail("low differs", "");
  if (!sameBits(series.close.data(), bars.close)) tarvok::fuzz::fail("close differs", "");
  if (series.lastDate != bars.date.back()) {
    tarvok::fuzz::fail("the last date differs",
                       std::to_string(series.lastDate) + " " + std::to_string(bars.date.back()));
  }
  return 0;
}
