#include "run_options.h"

#include <string_view>

#include <fmt/format.h>

#include "indicator/cycle_params.h"
#include "marketdata/bar_csv.h"
#include "os/os.h"
#include "text/message_text.h"
#include "text/number_text.h"

namespace tarvok::tools {

namespace {

// The value as function 10 will see it: the float the whole text spells, read as CSV fields are.
float numberOption(std::string_view option, const std::string& text) {
  const std::optional<float> value = parseNumber(text);
  if (!value) throw OptionError(fmt::format("{}: not a number: \"{}\"", option, printable(text)));
  return *value;
}

// The scan's options alone, or --scan with what it does not take.
void checkScanUse(const RunOptions& options, bool inputGiven) {
  const ScanOptions& scan = options.scan;
  if (scan.dir.empty()) return;
  if (inputGiven) {
    throw OptionError(
        "--scan reads the daily files below its folder: no input file or --day besides");
  }
  if (!options.chart.empty()) {
    throw OptionError("--scan draws its charts into the page of --html, not --chart");
  }
  if (!options.plugin.empty() || options.formula) {
    throw OptionError("--scan computes with the built-in functions: no --plugin or --formula");
  }
  checkScanOptions(scan);
}

}  // namespace

Parameters parametersOf(const RunOptions& options) noexcept {
  Parameters p{kInitialPeriod, options.multiplier.value_or(kInitialMultiplier)};
  if (options.period) periodFromInput(*options.period, p.period);
  return p;
}

Language languageOf(const RunOptions& options) {
  return options.language.value_or(languageOfLocale(os::userLanguage()));
}

RunOptions parseRunOptions(const std::vector<std::string>& args) {
  RunOptions options;
  // The scan's own options are taken once it is known whether there is a scan, so that one given
  // without --scan is named as such whatever its value.
  std::vector<std::pair<std::string, std::string>> scanOnly;
  bool fileGiven = false;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    if (!isOption) {
      if (fileGiven) throw OptionError(fmt::format("more than one input file: \"{}\"", arg));
      options.file = arg;
      fileGiven = true;
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    }
    if (arg == "--exact") {
      options.exact = true;
      continue;
    }
    if (arg == "--formula") {
      options.formula = true;
      continue;
    }
    if (arg == "--version") {
      options.version = true;
      continue;
    }
    if (arg == "--current") {
      scanOnly.emplace_back(arg, "");
      continue;
    }

    if (arg.size() > 2 && arg.compare(0, 2, "-j") == 0 && arg[2] != '=') {  // -jN, as make has it
      scanOnly.emplace_back("-j", arg.substr(2));
      continue;
    }

    // Options with a value, as "--name value" or "--name=value".
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (name != "--period" && name != "--multiplier" && name != "--plugin" && name != "--chart" &&
        name != "--day" && name != "--lang" && !isScanOption(name)) {
      throw OptionError(fmt::format("unknown option \"{}\" (see --help)", arg));
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      throw OptionError(fmt::format("{} needs a value", name));
    }

    if (name == "--lang") {
      options.language = parseLanguage(value);
      if (!options.language) {
        throw OptionError(fmt::format("--lang {}: must be zh or en", printable(value)));
      }
      continue;
    }
    if (isScanOnlyOption(name)) {
      scanOnly.emplace_back(name, value);
      continue;
    }
    if (isScanOption(name)) {
      setScanOption(options.scan, name, value);
      continue;
    }
    if (name == "--plugin" || name == "--chart" || name == "--day") {
      if (value.empty()) throw OptionError(fmt::format("{} needs a path", name));
      if (name == "--plugin") {
        options.plugin = value;
      } else if (name == "--chart") {
        options.chart = value;
      } else {
        if (fileGiven) throw OptionError(fmt::format("more than one input file: \"{}\"", value));
        options.file = value;
        options.dayFile = fileGiven = true;
      }
      continue;
    }
    const float number = numberOption(name, value);
    if (name == "--period") {
      int period = 0;
      if (!periodFromInput(number, period)) {
        throw OptionError(fmt::format("--period {}: must be {} to {} after rounding half up", value,
                                      kMinPeriod, kMaxPeriod));
      }
      options.period = number;
    } else {
      if (!multiplierAccepted(number)) {
        throw OptionError(fmt::format("--multiplier {}: must be {} to {}", value, kMinMultiplier,
                                      kMaxMultiplier));
      }
      options.multiplier = number;
    }
  }
  if (options.formula && options.plugin.empty()) {
    throw OptionError("--formula needs --plugin PATH");
  }
  if (options.formula && (fileGiven || !options.chart.empty())) {
    throw OptionError("--formula prints the formula text and reads no bars");
  }
  if (!scanOnly.empty() && options.scan.dir.empty()) {
    throw OptionError(fmt::format("{} needs --scan DIR", scanOnly.front().first));
  }
  for (const auto& [name, value] : scanOnly) setScanOption(options.scan, name, value);
  checkScanUse(options, fileGiven);
  return options;
}

std::string usageText() {
  return fmt::format(
             "usage: tarvok-run [--plugin PATH] [--period P] [--multiplier M] [--exact]\n"
             "                  [--chart SVG] [FILE | --day FILE]\n"
             "       tarvok-run --plugin PATH --formula\n"
             "       tarvok-run --scan DIR [options]   (see below)\n"
             "\n"
             "Runs the band-stop indicator over the bars of a CSV file (standard input when FILE is\n"
             "absent or -), of one of the terminal's text exports (a FILE named *.txt, such as\n"
             "SH#600000.txt) or of one of its bar files (--day), and writes one row per bar on\n"
             "standard output: bar,stop,state.\n"
             "\n"
             "The CSV input has a header row; the columns high, low and close are used (in any case),\n"
             "and date, for the bars' order, and with --chart also open; the others are ignored.\n"
             "Fields may be quoted (\"a \"\"b\"\", c\"), but a line break inside quotes is refused; a\n"
             "line holds at most {} bytes. Numbers may be decimal, hex-float, inf, nan or nan(P)\n"
             "(the quiet NaN with the payload P, decimal or 0x-hex below 2^22, in its low bits);\n"
             "dates YYYY-MM-DD, YYYY/MM/DD or YYYYMMDD, oldest first or newest first (read in time\n"
             "order, as standard error then says).\n"
             "\n"
             "  --period P       bars in the average range and band windows, {} to {} after rounding\n"
             "                   half up (default {})\n"
             "  --multiplier M   band width in average ranges, {} to {} (default {})\n"
             "  --exact          print the stop line as the 8 hex digits of its IEEE-754 bits\n"
             "  --plugin PATH    load the plug-in (tarvok.dll, libtarvok.so), register it with an\n"
             "                   empty slot and call functions 10, 9 and 11 through the table it\n"
             "                   hands out, as the terminal does; the lines the plug-in writes on\n"
             "                   standard output (its run log echo) go to standard error instead\n"
             "  --formula        with --plugin: print the plug-in's formula text (gettdxcode)\n"
             "  --day FILE       read one of the terminal's bar files, by its extension: daily\n"
             "                   (vipdoc/sh/lday/*.day), 5-minute (vipdoc/sh/fzline/*.lc5) or\n"
             "                   1-minute (vipdoc/sh/minline/*.lc1); each price becomes the float\n"
             "                   nearest its value in yuan, as the terminal hands it to a formula\n"
             "                   (a daily file holds 1/100 or 1/1000 yuan, by the instrument's kind)\n"
             "  --chart SVG      also draw the bars, the stop line coloured by the state (red rising,\n"
             "                   green falling, grey 0) and the state below, as an SVG picture\n"
             "  --lang zh|en     the language of the chart, the page and the scan's summary (default:\n"
             "                   the user's: Chinese for a Chinese system or locale, else English)\n"
             "  --version        print the version of tarvok-run\n"
             "  --help           print this text\n"
             "\n"
             "Exit status: 0 on success; 2 on bad input or options, or a plug-in that cannot be used\n"
             "(also one whose function 11 gives a state that is not a whole number of bars); 1 when\n"
             "the output or the chart cannot be written (standard output closed, a full disk) or\n"
             "memory runs out. Each failure is one message on standard error, naming the file and\n"
             "the line or record; nothing is written on standard output then.\n",
             kMaxCsvLineBytes, kMinPeriod, kMaxPeriod, kInitialPeriod, kMinMultiplier,
             kMaxMultiplier, kInitialMultiplier) +
         scanUsageText();
}

}  // namespace tarvok::tools

namespace tarvok::tools {

std::string noArgumentsHint(Language language) {
  if (language == Language::Chinese) {
    return "没有给出要处理的数据。扫描全市场：双击 tarvok-run.exe 旁边的“扫描全市场.bat”，或在 cmd "
           "中运行 tarvok-run --scan 通达信文件夹 --html 页面.html > 扫描.csv。全部用法：tarvok-run "
           "--help";
  }
  return "no input given. To scan the whole market, double-click the .bat file beside "
         "tarvok-run.exe (扫描全市场.bat), or run in cmd: tarvok-run --scan FOLDER --html page.html "
         "> scan.csv. For everything it does: tarvok-run --help";
}

}  // namespace tarvok::tools
