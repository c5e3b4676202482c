// tarvok-run: the indicator over bars from a CSV file or the terminal's daily files, through the
// same functions the terminal calls, for checking results outside the terminal and drawing them;
// and the market scan over a folder of daily files.

#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "csv_output.h"
#include "exit_status.h"
#include "messages.h"
#include "os/os.h"
#include "run_command.h"
#include "run_options.h"
#include "scan_command.h"

int main(int argc, char** argv) {
  using namespace tarvok::tools;
  tarvok::os::useBinaryStandardStreams();
  try {
    RunOptions options;
    try {
      const std::vector<std::string> args = tarvok::os::commandLineArguments(argc, argv);
      // Started by hand with nothing to do, it would wait silently for bars on the keyboard.
      if (args.empty() && tarvok::os::isTerminal(stdin)) {
        note(noArgumentsHint(languageOfLocale(tarvok::os::userLanguage())));
        return kBadInput;
      }
      options = parseRunOptions(args);
    } catch (const OptionError& e) {
      return fail(kBadInput, "{}", e.what());
    }
    if (!tarvok::os::standardStreamsReady()) {
      return fail(kFailure, "standard output is not open: the result would be lost");
    }
    if (options.version) {
      if (!writeAll(stdout, fmt::format("tarvok-run {}\n", TARVOK_VERSION))) {
        return fail(kFailure, "cannot write the output: {}", std::strerror(errno));
      }
      return kSuccess;
    }
    if (options.help) {
      if (!writeAll(stdout, usageText()))
        return fail(kFailure, "cannot write the output: {}", std::strerror(errno));
      return kSuccess;
    }
    if (!options.scan.dir.empty()) return runScan(options);
    return options.formula ? printFormula(options) : runIndicator(options);
  } catch (const std::bad_alloc&) {
    note("out of memory");
    return kFailure;
  } catch (const std::exception& e) {
    return fail(kFailure, "{}", e.what());
  }
}
