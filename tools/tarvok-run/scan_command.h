#pragma once
// tarvok-run --scan: the last bar of every daily file below a folder, as CSV and as a page.

#include "run_options.h"

namespace tarvok::tools {

// Runs the scan the options ask for and returns the exit status: 0 when it ran (also with files
// left out), kBadInput when the folder cannot be read or holds no daily file, kFailure when an
// output cannot be written. Messages go to standard error.
int runScan(const RunOptions& options);

}  // namespace tarvok::tools
