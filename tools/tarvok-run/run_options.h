#pragma once
// Command-line options of tarvok-run.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "scan_options.h"

namespace tarvok::tools {

struct RunOptions {
  // Inputs for function 10, as given; absent ones leave the current value alone.
  std::optional<float> period;
  std::optional<float> multiplier;
  bool exact = false;  // stop line as the hex digits of its bits
  bool help = false;
  // A plug-in to load and call as the terminal does (empty: the built-in functions), and whether
  // to print its formula text instead of running the indicator.
  std::string plugin;
  bool formula = false;
  std::string file = "-";  // "-" is standard input
  bool dayFile = false;    // file is one of the terminal's daily files, not CSV
  std::string chart;       // where to write the chart as SVG; empty: no chart
  ScanOptions scan;        // --scan DIR and its options
};

class OptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses the arguments after the program name. A period or multiplier that function 10 would
// refuse is an error, so that no option is silently ignored; so are --formula without --plugin,
// --formula with anything that runs the indicator, and --day with an input file besides.
// Throws OptionError.
RunOptions parseRunOptions(const std::vector<std::string>& args);

// The usage text for --help.
std::string usageText();

}  // namespace tarvok::tools
