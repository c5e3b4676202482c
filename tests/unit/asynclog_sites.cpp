#include "asynclog_sites.h"

namespace asynclog_sites {

void logShortPath(asynclog::LogLevel level, int value) {
#line 7 "/some/dir/x.cpp"
  ASYNCLOG(level, "short {}", value);
}

#line 1234 "C:\\src\\a_rather_long_source_name.cpp"
void logLongName(int value) { ASYNCLOG(asynclog::WRN, "long {}", value); }

}  // namespace asynclog_sites
