#pragma once
// The tables tarvok-run writes on standard output, as CSV, and the one way they are written.

#include <cstdio>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "report/scan_page.h"

namespace tarvok::tools {

// bar,stop,state: one row per bar, the stop line in shortest round-trip decimal or, exact, as the
// 8 hex digits of its bits. Each state is a whole count of bars within an int's range.
fmt::memory_buffer barRowsCsv(const std::vector<float>& stop, const std::vector<float>& state,
                              bool exact);

// symbol,date,close,stop,state,phase,phase_bars,distance_pct: one row per listed file.
fmt::memory_buffer scanRowsCsv(const std::vector<ScanPageRow>& rows, bool exact);

// Writes all of it and flushes; false (errno set) when it could not.
bool writeAll(std::FILE* out, std::string_view text);

}  // namespace tarvok::tools
