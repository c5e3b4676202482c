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

// symbol,date,close,stop,state,phase,phase_bars,distance_pct,name,kind,adjust,days_behind: one
// row per listed instrument; the date with the time (YYYY-MM-DD HH:MM) for minute bars. In a
// symbol or a name, control bytes are shown as \xNN, as messages show them, so that none reaches
// a terminal or a spreadsheet raw, and one that starts with = + - or @ gets an apostrophe before
// it, so that a spreadsheet does not take it for a formula.
fmt::memory_buffer scanRowsCsv(const std::vector<ScanPageRow>& rows, bool exact);

// Writes all of it and flushes; false (errno set) when it could not. A Windows console gets it so
// that any name in it shows.
bool writeAll(std::FILE* out, std::string_view text);

// A file written whole: beside its name first, then put in the place of what stood there, so that
// a failure leaves the previous file as it was. False with the reason in error.
bool writeWholeFile(const std::string& path, std::string_view text, std::string& error);

}  // namespace tarvok::tools
