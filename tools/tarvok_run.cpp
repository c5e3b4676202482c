// tarvok-run: the indicator over bars from a CSV file or the terminal's daily files, through the same
// functions the terminal calls, for checking results outside the terminal and drawing them.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "indicator/calc_func.h"
#include "indicator/cycle_params.h"
#include "indicator/output_functions.h"
#include "tools/bar_csv.h"
#include "tools/chart_svg.h"
#include "tools/day_file.h"
#include "tools/plugin_host.h"
#include "tools/run_options.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

using tarvok::kInitialMultiplier;
using tarvok::kInitialPeriod;
using tarvok::tools::BarSeries;
using tarvok::tools::ChartLabels;
using tarvok::tools::CsvColumns;
using tarvok::tools::IndicatorFunctions;
using tarvok::tools::Plugin;
using tarvok::tools::PluginError;
using tarvok::tools::RunOptions;

constexpr int kBadInput = 2;
constexpr int kFailure = 1;

constexpr IndicatorFunctions kBuiltIn = {&CalcZhouqiWW, &SetZhouqiParams, &CalcZhouqiW};

template <typename... Args>
int fail(int status, fmt::format_string<Args...> format, Args&&... args) {
  fmt::print(stderr, "tarvok-run: {}\n", fmt::format(format, std::forward<Args>(args)...));
  return status;
}

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

std::uint32_t bitsOf(const float& x) {
  std::uint32_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

// The whole output, built before anything is written so that a failure leaves stdout empty.
fmt::memory_buffer formatRows(const std::vector<float>& stop, const std::vector<float>& state,
                              bool exact) {
  fmt::memory_buffer out;
  out.reserve(16 + stop.size() * (exact ? 20 : 24));
  fmt::format_to(fmt::appender(out), "bar,stop,state\n");
  for (std::size_t j = 0; j < stop.size(); ++j) {
    // The state is an integer count of bars, exact in a float.
    const auto s = static_cast<std::int32_t>(state[j]);
    if (exact) {
      fmt::format_to(fmt::appender(out), "{},{:08x},{}\n", j, bitsOf(stop[j]), s);
    } else {
      fmt::format_to(fmt::appender(out), "{},{},{}\n", j, stop[j], s);
    }
  }
  return out;
}

// A plug-in echoes its run log on standard output, from its own thread and until it is unloaded,
// even at process exit. While one is loaded, file descriptor 1 is pointed at standard error, so
// those lines still show, and the tool writes its own output to the original standard output.
class StdoutDiversion {
 public:
  StdoutDiversion() {
    std::fflush(stdout);
#ifdef _WIN32
    const int saved = _dup(1);
    if (saved < 0) return;
    _setmode(saved, _O_BINARY);
    output_ = _fdopen(saved, "wb");
    if (output_ == nullptr) {
      _close(saved);
      return;
    }
    _dup2(2, 1);
#else
    const int saved = dup(1);
    if (saved < 0) return;
    output_ = fdopen(saved, "wb");
    if (output_ == nullptr) {
      close(saved);
      return;
    }
    dup2(2, 1);
#endif
  }
  StdoutDiversion(const StdoutDiversion&) = delete;
  StdoutDiversion& operator=(const StdoutDiversion&) = delete;

  // Where the tool's own output goes; stdout itself when no copy could be made.
  std::FILE* output() const { return output_ != nullptr ? output_ : stdout; }

 private:
  std::FILE* output_ = nullptr;
};

int writeAll(std::FILE* out, const char* data, std::size_t size) {
  if (std::fwrite(data, 1, size, out) != size || std::fflush(out) != 0) {
    return fail(kFailure, "cannot write the output: {}", std::strerror(errno));
  }
  return 0;
}

int printFormula(const RunOptions& options) {
  StdoutDiversion diversion;
  std::string text;
  try {
    Plugin plugin(options.plugin);
    text = plugin.formulaText();
  } catch (const PluginError& e) {
    return fail(kBadInput, "{}", e.what());
  }
  return writeAll(diversion.output(), text.data(), text.size());
}

// The bars of the input: CSV text, or one of the terminal's daily files. On bad input, the message
// naming the input and the line or record, and no bars.
std::optional<BarSeries> readBars(const RunOptions& options, std::string& error) {
  const bool fromStdin = options.file == "-" && !options.dayFile;
  const std::string name = fromStdin ? "<stdin>" : options.file;

  std::string bytes;
  {
    std::FILE* in = fromStdin ? stdin : std::fopen(options.file.c_str(), "rb");
    if (in == nullptr) {
      error = fmt::format("{}: {}", name, std::strerror(errno));
      return std::nullopt;
    }
    try {
      bytes = tarvok::tools::readAll(in);
    } catch (const std::runtime_error& e) {
      if (!fromStdin) std::fclose(in);
      error = fmt::format("{}: cannot read: {}", name, e.what());
      return std::nullopt;
    }
    if (!fromStdin) std::fclose(in);
  }

  try {
    if (options.dayFile) return tarvok::tools::parseDayFile(bytes);
    return tarvok::tools::parseBarCsv(bytes, options.chart.empty() ? CsvColumns::IndicatorOnly
                                                                   : CsvColumns::WithChart);
  } catch (const tarvok::tools::DayFileError& e) {
    error = e.record() == 0 ? fmt::format("{}: {}", name, e.what())
                            : fmt::format("{}: record {}: {}", name, e.record(), e.what());
  } catch (const tarvok::tools::CsvError& e) {
    error = e.line() == 0 ? fmt::format("{}: {}", name, e.what())
                          : fmt::format("{}:{}: {}", name, e.line(), e.what());
  }
  return std::nullopt;
}

// The parameters the run computes with: those given, else the ones a freshly loaded plug-in starts
// with. The options were checked against function 10's ranges.
ChartLabels chartLabels(const RunOptions& options) {
  ChartLabels labels;
  labels.period = kInitialPeriod;
  if (options.period) tarvok::periodFromInput(*options.period, labels.period);
  labels.multiplier = options.multiplier.value_or(kInitialMultiplier);
  const std::size_t slash = options.file.find_last_of("/\\");
  labels.source = slash == std::string::npos ? options.file : options.file.substr(slash + 1);
  if (labels.source == "-") labels.source = "standard input";
  return labels;
}

int writeChart(const std::string& path, const std::string& svg) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return fail(kFailure, "cannot write the chart {}: {}", path, std::strerror(errno));
  const bool written = std::fwrite(svg.data(), 1, svg.size(), out) == svg.size();
  if (std::fclose(out) != 0 || !written) {
    return fail(kFailure, "cannot write the chart {}: {}", path, std::strerror(errno));
  }
  return 0;
}

int run(const RunOptions& options) {
  std::string error;
  std::optional<BarSeries> bars = readBars(options, error);
  if (!bars) return fail(kBadInput, "{}", error);

  std::optional<StdoutDiversion> diversion;
  std::optional<Plugin> plugin;
  IndicatorFunctions f = kBuiltIn;
  if (!options.plugin.empty()) {
    diversion.emplace();
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

  if (!options.chart.empty()) {
    const int status =
        writeChart(options.chart, renderChartSvg(*bars, stop, state, chartLabels(options)));
    if (status != 0) return status;
  }
  bars.reset();

  const fmt::memory_buffer out = formatRows(stop, state, options.exact);
  return writeAll(diversion ? diversion->output() : stdout, out.data(), out.size());
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Bytes as they are: CR LF in the input is handled by the parser, and rows end in LF only.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  RunOptions options;
  try {
    options = tarvok::tools::parseRunOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const tarvok::tools::OptionError& e) {
    return fail(kBadInput, "{}", e.what());
  }
  if (options.help) {
    const std::string usage = tarvok::tools::usageText();
    std::fwrite(usage.data(), 1, usage.size(), stdout);
    return 0;
  }
  try {
    return options.formula ? printFormula(options) : run(options);
  } catch (const std::bad_alloc&) {
    return fail(kFailure, "out of memory");
  }
}
