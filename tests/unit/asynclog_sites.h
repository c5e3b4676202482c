#pragma once
// Call sites whose file names are set with #line, for the header and location tests.

#include "asynclog/asynclog.h"

namespace asynclog_sites {

// Location "/some/dir/x.cpp:7".
void logShortPath(asynclog::LogLevel level, int value);
// Location "C:\src\a_rather_long_source_name.cpp:1234" (Windows separators).
void logLongName(int value);

}  // namespace asynclog_sites
