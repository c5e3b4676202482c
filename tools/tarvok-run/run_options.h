#pragma once
// Command-line options of tarvok-run.

#include <optional>
#include <string>
#include <vector>

#include "option_error.h"
#include "scan_options.h"
#include "text/language.h"

namespace tarvok::tools {

struct RunOptions {
  // Inputs for function 10, as given; absent ones leave the current value alone.
  std::optional<float> period;
  std::optional<float> multiplier;
  bool exact = false;  // stop line as the hex digits of its bits
  bool help = false;
  bool version = false;
  // A plug-in to load and call as the terminal does (empty: the built-in functions), and whether
  // to print its formula text instead of running the indicator.
  std::string plugin;
  bool formula = false;
  std::string file = "-";  // "-" is standard input
  bool dayFile = false;    // file is one of the terminal's daily or minute files, not CSV
  bool fromStdin() const { return file == "-" && !dayFile; }
  std::string chart;  // where to write the chart as SVG; empty: no chart
  std::optional<Language>
      language;      // of the page, the chart and the console lines; none: the user's
  ScanOptions scan;  // --scan DIR and its options
};

// The period and multiplier a run computes with: those given, else the ones a freshly loaded
// plug-in starts with. The options were checked against function 10's ranges.
struct Parameters {
  int period;
  float multiplier;
};
Parameters parametersOf(const RunOptions& options) noexcept;

// The language the run speaks: --lang, else the user's (os::userLanguage).
Language languageOf(const RunOptions& options);

// Parses the arguments after the program name. A period or multiplier that function 10 would
// refuse is an error, so that no option is silently ignored; so are --formula without --plugin,
// --formula with anything that runs the indicator, and --day with an input file besides.
// Throws OptionError.
RunOptions parseRunOptions(const std::vector<std::string>& args);

// The usage text for --help.
std::string usageText();

// What tarvok-run says when it is started in a console with no arguments.
std::string noArgumentsHint(Language language);

}  // namespace tarvok::tools
