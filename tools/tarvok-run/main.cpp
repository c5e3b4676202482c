// tarvok-run: the indicator over bars from a CSV file or the terminal's daily files, through the same
// functions the terminal calls, for checking results outside the terminal and drawing them.

#include <cerrno>
#include <cmath>
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
#include "marketdata/bar_csv.h"
#include "report/chart_svg.h"
#include "marketdata/day_file.h"
#include "os/file_identity.h"
#include "text/message_text.h"
#include "host/plugin_host.h"
#include "run_options.h"
#include "scan_command.h"

#include <fcntl.h>
#ifdef _WIN32
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

// One line on standard error; a line that cannot be written changes nothing, the status stays.
template <typename... Args>
int fail(int status, fmt::format_string<Args...> format, Args&&... args) {
  tarvok::tools::writeMessage("tarvok-run", fmt::format(format, std::forward<Args>(args)...));
  return status;
}

// File descriptors, as the C runtime has them.
#ifdef _WIN32
bool isOpen(int fd) {
  const intptr_t handle = _get_osfhandle(fd);
  return handle != -1 && handle != -2 && handle != 0;
}
int openNullDevice() { return _open("NUL", _O_RDWR); }
int duplicate(int fd) { return _dup(fd); }
int duplicateOnto(int fd, int onto) { return _dup2(fd, onto); }
void closeFd(int fd) { _close(fd); }
std::FILE* binaryWriter(int fd) {
  _setmode(fd, _O_BINARY);
  return _fdopen(fd, "wb");
}
#else
bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }
int openNullDevice() { return open("/dev/null", O_RDWR); }
int duplicate(int fd) { return dup(fd); }
int duplicateOnto(int fd, int onto) { return dup2(fd, onto); }
void closeFd(int fd) { close(fd); }
std::FILE* binaryWriter(int fd) { return fdopen(fd, "wb"); }
#endif

// A standard descriptor left closed by the caller would be taken by the next file opened (the
// input, the chart, the plug-in's log file), and what is meant for it would land there. Standard
// input and error then get the null device; without standard output the result would be lost, so
// false.
bool standardStreamsReady() {
  for (const int fd : {0, 2}) {
    if (isOpen(fd)) continue;
    const int null = openNullDevice();
    if (null >= 0 && null != fd) {
      duplicateOnto(null, fd);
      closeFd(null);
    }
  }
  return isOpen(1);
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

// The whole output, built before anything is written so that a failure leaves stdout empty.
fmt::memory_buffer formatRows(const std::vector<float>& stop, const std::vector<float>& state,
                              bool exact) {
  fmt::memory_buffer out;
  out.reserve(16 + stop.size() * (exact ? 20 : 24));
  fmt::format_to(fmt::appender(out), "bar,stop,state\n");
  for (std::size_t j = 0; j < stop.size(); ++j) {
    // A whole count of bars within an int's range (checked), exact in a float.
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
// those lines still show, and the tool writes its own output to a copy of the original standard
// output. Throws std::runtime_error when that cannot be set up: the output would be lost or mixed
// with the plug-in's lines.
class StdoutDiversion {
 public:
  StdoutDiversion() {
    std::fflush(stdout);
    const int saved = duplicate(1);
    if (saved < 0) throw std::runtime_error(fmt::format("cannot copy standard output: {}", std::strerror(errno)));
    output_ = binaryWriter(saved);
    if (output_ == nullptr) {
      const int error = errno;
      closeFd(saved);
      throw std::runtime_error(fmt::format("cannot copy standard output: {}", std::strerror(error)));
    }
    if (duplicateOnto(2, 1) < 0) {
      const int error = errno;
      std::fclose(output_);
      throw std::runtime_error(
          fmt::format("cannot point standard output at standard error: {}", std::strerror(error)));
    }
  }
  ~StdoutDiversion() {
    if (output_ != nullptr) std::fclose(output_);
  }
  StdoutDiversion(const StdoutDiversion&) = delete;
  StdoutDiversion& operator=(const StdoutDiversion&) = delete;

  // Where the tool's own output goes.
  std::FILE* output() const { return output_; }

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
  std::optional<StdoutDiversion> diversion;
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
  return writeAll(diversion->output(), text.data(), text.size());
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
    if (!fromStdin_ && tarvok::tools::isDirectory(name_)) {
      error = fmt::format("{}: is a directory, not a file of bars", name_);
      return false;
    }
    stream_ = fromStdin_ ? stdin : std::fopen(name_.c_str(), "rb");
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
std::optional<BarSeries> readBars(const RunOptions& options, const Input& input, std::string& error) {
  const std::string& name = input.name();
  try {
    if (options.dayFile) {
      BarSeries bars;
      tarvok::tools::readDayFile(input.stream(), bars);
      return bars;
    }
    return tarvok::tools::readBarCsv(input.stream(), options.chart.empty() ? CsvColumns::IndicatorOnly
                                                                           : CsvColumns::WithChart);
  } catch (const tarvok::tools::DayFileError& e) {
    error = e.record() == 0 ? fmt::format("{}: {}", name, e.what())
                            : fmt::format("{}: record {}: {}", name, e.record(), e.what());
  } catch (const tarvok::tools::CsvError& e) {
    error = e.line() == 0 ? fmt::format("{}: {}", name, e.what())
                          : fmt::format("{}:{}: {}", name, e.line(), e.what());
  } catch (const tarvok::tools::ReadError& e) {
    error = fmt::format("{}: cannot read: {}", name, e.what());
  }
  return std::nullopt;
}

// Why the chart may not be written where it was asked for: over the input, the plug-in or the
// tool's own output. Empty when it may.
std::string chartClash(const RunOptions& options, const Input& input) {
  const std::string& chart = options.chart;
  if (tarvok::tools::isOpenFile(input.stream(), chart)) {
    return fmt::format("--chart {}: is the input file {}; it would be overwritten", chart, input.name());
  }
  if (!options.plugin.empty() && tarvok::tools::isSameFile(chart, options.plugin)) {
    return fmt::format("--chart {}: is the plug-in {}; it would be overwritten", chart, options.plugin);
  }
  if (tarvok::tools::isOpenFile(stdout, chart)) {
    return fmt::format("--chart {}: is also the standard output", chart);
  }
  return {};
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

  std::optional<StdoutDiversion> diversion;
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
  try {
    RunOptions options;
    try {
      options = tarvok::tools::parseRunOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const tarvok::tools::OptionError& e) {
      return fail(kBadInput, "{}", e.what());
    }
    if (!standardStreamsReady()) return fail(kFailure, "standard output is not open: the result would be lost");
    if (options.help) {
      const std::string usage = tarvok::tools::usageText();
      return writeAll(stdout, usage.data(), usage.size());
    }
    if (!options.scan.dir.empty()) return tarvok::tools::runScan(options);
    return options.formula ? printFormula(options) : run(options);
  } catch (const std::bad_alloc&) {
    tarvok::tools::writeMessage("tarvok-run", "out of memory");
    return kFailure;
  } catch (const std::exception& e) {
    return fail(kFailure, "{}", e.what());
  }
}
