#include "run_command.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "csv_output.h"
#include "exit_status.h"
#include "host/plugin_host.h"
#include "indicator/cycle_params.h"
#include "indicator/output_functions.h"
#include "marketdata/bar_csv.h"
#include "marketdata/bar_file_walk.h"
#include "marketdata/day_file.h"
#include "marketdata/instrument.h"
#include "marketdata/minute_file.h"
#include "marketdata/tdx_export.h"
#include "messages.h"
#include "os/os.h"
#include "report/chart_svg.h"
#include "scan/market_scan.h"
#include "text/ascii.h"
#include "text/path_name.h"

namespace tarvok::tools {

namespace {

constexpr IndicatorFunctions kBuiltIn = {&CalcZhouqiWW, &SetZhouqiParams, &CalcZhouqiW};

// Sets the parameters as a formula would: one bar, period in a, multiplier in b. NaN is what
// function 10 drops, so an option not given keeps the current value.
void setParams(const IndicatorFunctions& f, const RunOptions& options) {
  const float keep = std::numeric_limits<float>::quiet_NaN();
  float a = options.period.value_or(keep);
  float b = options.multiplier.value_or(keep);
  float c = 0.0f;
  float out = 0.0f;
  f.setParams(1, &out, &a, &b, &c);
}

// The first bar whose state is not a whole number of bars that an int holds (a plug-in's function
// 11 can give anything, NaN included), or -1. The built-in state always is one.
std::ptrdiff_t firstBadState(const std::vector<float>& state) {
  for (std::size_t j = 0; j < state.size(); ++j) {
    const float s = state[j];
    if (!(s >= -2147483648.0f && s < 2147483648.0f && std::trunc(s) == s)) {
      return static_cast<std::ptrdiff_t>(j);
    }
  }
  return -1;
}

int writeOutput(std::FILE* out, std::string_view text) {
  if (!writeAll(out, text))
    return fail(kFailure, "cannot write the output: {}", std::strerror(errno));
  return kSuccess;
}

// The input, open for reading: a file or standard input.
class Input {
 public:
  explicit Input(const RunOptions& options)
      : fromStdin_(options.file == "-" && !options.dayFile),
        name_(fromStdin_ ? "<stdin>" : options.file) {}
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;
  ~Input() {
    if (stream_ != nullptr && !fromStdin_) std::fclose(stream_);
  }

  // Opens it; false with the message when it cannot be read at all.
  bool open(std::string& error) {
    if (!fromStdin_ && os::isDirectory(name_)) {
      error = fmt::format("{}: is a directory, not a file of bars", name_);
      return false;
    }
    stream_ = fromStdin_ ? stdin : os::openFile(name_, "rb");
    if (stream_ == nullptr) error = fmt::format("{}: {}", name_, std::strerror(errno));
    return stream_ != nullptr;
  }

  std::FILE* stream() const { return stream_; }
  const std::string& name() const { return name_; }

 private:
  bool fromStdin_;
  std::string name_;
  std::FILE* stream_ = nullptr;
};

// The bars of the input, read as they come: CSV text, or one of the terminal's daily files. On bad
// input, the message naming the input and the line or record, and no bars.
// A whole stream into bytes, at most limit of them. ReadError when it fails; false when it holds
// more.
bool readWhole(std::FILE* in, std::size_t limit, std::string& bytes) {
  char buffer[64 * 1024];
  for (;;) {
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, in);
    if (bytes.size() + got > limit) return false;
    bytes.append(buffer, got);
    if (got < sizeof buffer) break;
  }
  if (std::ferror(in)) throw ReadError(std::strerror(errno));
  return true;
}

// One of the terminal's daily files: every record checked as it comes, so that endless input
// (zeros) is refused at its first record, and the bytes kept, for the price unit, which the code
// and the records decide (marketdata/instrument.h) as they do in a scan.
std::optional<BarSeries> readDaily(const Input& input, std::string& error) {
  BarSeries bars;
  std::string bytes;
  DayFileParser parser(bars);
  char buffer[64 * 1024];
  for (;;) {
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, input.stream());
    parser.add(std::string_view(buffer, got));
    bytes.append(buffer, got);
    if (got < sizeof buffer) break;
  }
  if (std::ferror(input.stream())) throw ReadError(std::strerror(errno));
  parser.finish();
  const std::optional<Symbol> symbol = parseSymbol(baseName(input.name()));
  const std::string_view code = symbol ? std::string_view(symbol->code) : std::string_view();
  const PriceUnit unit = decidePriceUnit(symbol ? symbol->market : Market::Other, code, bytes);
  if (unit.decision == UnitDecision::Undecided) {
    error = priceUnitNote(input.name(), code, unit);
    return std::nullopt;
  }
  if (unit.decision == UnitDecision::CheckOverTable) note(priceUnitNote(input.name(), code, unit));
  if (unit.scale != kHundredths) bars = parseDayFile(bytes, unit.scale);
  return bars;
}

// The bars of the input, read as they come: CSV text, one of the terminal's daily or minute files,
// or one of its text exports. On bad input, the message naming the input and the line or record,
// and no bars.
std::optional<BarSeries> readBars(const RunOptions& options, const Input& input,
                                  std::string& error) {
  const std::string& name = input.name();
  const std::string_view file = baseName(name);
  try {
    if (options.dayFile && (isMinuteFileName(file, Timeframe::FiveMinutes) ||
                            isMinuteFileName(file, Timeframe::OneMinute))) {
      BarSeries bars;
      readMinuteFile(input.stream(), bars);
      return bars;
    }
    if (options.dayFile) return readDaily(input, error);
    if (!options.fromStdin() && endsWithIgnoringCase(file, ".txt")) {
      std::string bytes;
      if (!readWhole(input.stream(), kMaxScanFileBytes, bytes)) {
        error = fmt::format("{}: larger than {} MiB: not one of the terminal's exports", name,
                            kMaxScanFileBytes >> 20);
        return std::nullopt;
      }
      return parseTdxExport(bytes).bars;
    }
    bool newestFirst = false;
    BarSeries bars = readBarCsv(
        input.stream(), options.chart.empty() ? CsvColumns::IndicatorOnly : CsvColumns::WithChart,
        &newestFirst);
    if (newestFirst) note(fmt::format("{}: its dates run newest first: read in time order", name));
    return bars;
  } catch (const DayFileError& e) {
    error = dayFileMessage(name, e);
  } catch (const ExportError& e) {
    error = exportMessage(name, e);
  } catch (const CsvError& e) {
    error = csvMessage(name, e);
  } catch (const ReadError& e) {
    error = fmt::format("{}: cannot read: {}", name, e.what());
  }
  return std::nullopt;
}

// Why the chart may not be written where it was asked for: over the input, the plug-in or the
// tool's own output, by the file the name reaches. Empty when it may.
std::string chartClash(const RunOptions& options, const Input& input) {
  const std::string& chart = options.chart;
  const os::FileIdentity target = os::identityOf(chart);
  if (target == os::identityOf(input.stream())) {
    return fmt::format("--chart {}: is the input file {}; it would be overwritten", chart,
                       input.name());
  }
  if (!options.plugin.empty() && target == os::identityOf(options.plugin)) {
    return fmt::format("--chart {}: is the plug-in {}; it would be overwritten", chart,
                       options.plugin);
  }
  if (target == os::identityOf(stdout)) {
    return fmt::format("--chart {}: is also the standard output", chart);
  }
  return {};
}

ChartLabels chartLabels(const RunOptions& options) {
  const Parameters p = parametersOf(options);
  ChartLabels labels;
  labels.period = p.period;
  labels.multiplier = p.multiplier;
  labels.source = std::string(baseName(options.file));
  if (labels.source == "-") labels.source = "standard input";
  return labels;
}

int writeChart(const std::string& path, const std::string& svg) {
  std::string error;
  if (!writeWholeFile(path, svg, error)) {
    return fail(kFailure, "cannot write the chart {}: {}", path, error);
  }
  return kSuccess;
}

}  // namespace

int printFormula(const RunOptions& options) {
  std::optional<os::StdoutDiversion> diversion;
  try {
    diversion.emplace();
  } catch (const std::runtime_error& e) {
    return fail(kFailure, "{}", e.what());
  }
  std::string text;
  try {
    Plugin plugin(options.plugin);
    text = plugin.formulaText();
  } catch (const PluginError& e) {
    return fail(kBadInput, "{}", e.what());
  }
  return writeOutput(diversion->output(), text);
}

int runIndicator(const RunOptions& options) {
  std::string error;
  std::optional<BarSeries> bars;
  {
    Input input(options);
    if (!input.open(error)) return fail(kBadInput, "{}", error);
    if (!options.chart.empty()) {
      error = chartClash(options, input);
      if (!error.empty()) return fail(kBadInput, "{}", error);
    }
    bars = readBars(options, input, error);
    if (!bars) return fail(kBadInput, "{}", error);
  }

  std::optional<os::StdoutDiversion> diversion;
  std::optional<Plugin> plugin;
  IndicatorFunctions f = kBuiltIn;
  if (!options.plugin.empty()) {
    try {
      diversion.emplace();
    } catch (const std::runtime_error& e) {
      return fail(kFailure, "{}", e.what());
    }
    try {
      plugin.emplace(options.plugin);
      f = plugin->registerFunctions();
    } catch (const PluginError& e) {
      return fail(kBadInput, "{}", e.what());
    }
  }

  setParams(f, options);
  const int n = static_cast<int>(bars->size());  // both readers cap the bars at INT_MAX
  std::vector<float> stop(bars->size());
  std::vector<float> state(bars->size());
  f.stopLine(n, stop.data(), bars->high.data(), bars->low.data(), bars->close.data());
  f.state(n, state.data(), bars->high.data(), bars->low.data(), bars->close.data());
  if (const std::ptrdiff_t j = firstBadState(state); j >= 0) {
    return fail(kBadInput, "function 11 of {} gave {} for bar {}: not a whole number of bars",
                options.plugin.empty() ? "the built-in indicator" : "the plug-in " + options.plugin,
                state[static_cast<std::size_t>(j)], j);
  }

  if (!options.chart.empty()) {
    const int status =
        writeChart(options.chart, renderChartSvg(*bars, stop, state, chartLabels(options)));
    if (status != kSuccess) return status;
  }
  bars.reset();

  const fmt::memory_buffer out = barRowsCsv(stop, state, options.exact);
  return writeOutput(diversion ? diversion->output() : stdout,
                     std::string_view(out.data(), out.size()));
}

}  // namespace tarvok::tools
