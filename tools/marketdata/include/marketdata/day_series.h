#pragma once
// The indicator's inputs from a daily file, decoded for the market scan: high, low and close of
// every record, and the last date. The same floats and the same checks as parseDayFile, but into
// buffers kept from file to file and in one short loop, since a scan reads thousands of files and
// the indicator alone should set its pace.

#include <cstdint>
#include <string_view>
#include <vector>

namespace tarvok::tools {

struct DaySeries {
  std::vector<float> high, low, close;  // resized to the file's records; capacity kept
  std::uint32_t lastDate = 0;           // YYYYMMDD of the last record
  std::size_t size() const { return close.size(); }
};

// What parseDayFile would refuse the file for; it has the message.
enum class DayFault { None, Empty, CutShort, BadDate, TooLong };

// Decodes the records into series, prices in units of 1/scale yuan (100 or 1000, as for
// parseDayFile). On a fault the series hold nothing usable.
DayFault decodeDaySeries(std::string_view bytes, DaySeries& series, std::uint32_t scale = 100);

}  // namespace tarvok::tools
