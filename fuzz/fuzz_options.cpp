// libFuzzer target: the option parser on arguments cut from the input at NUL bytes. It gives
// options or an error with a message; nothing else escapes it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "reader_checks.h"
#include "run_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args(1);
  for (std::size_t i = 0; i < size && args.size() <= 16; ++i) {
    if (data[i] == 0) {
      args.emplace_back();
    } else {
      args.back().push_back(static_cast<char>(data[i]));
    }
  }
  try {
    tarvok::tools::parseRunOptions(args);
  } catch (const tarvok::tools::OptionError& e) {
    if (std::string(e.what()).empty()) tarvok::fuzz::fail("option error without a message", "");
  }
  return 0;
}
