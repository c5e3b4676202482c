#pragma once
// tarvok-run over one input: the indicator over the bars of a CSV file or a daily file, through
// the built-in table functions or a plug-in's; and a plug-in's formula text.

#include "run_options.h"

namespace tarvok::tools {

// The exit status: 0, kBadInput or kFailure (exit_status.h); messages go to standard error.
int runIndicator(const RunOptions& options);
int printFormula(const RunOptions& options);

}  // namespace tarvok::tools
