// libFuzzer target: the CSV reader on any bytes, in memory and as a stream, both column choices.
// Each gives bars or an error naming a line of the input, and both ways of reading agree.

#include <algorithm>

#include <utility>

#include "reader_checks.h"

using tarvok::fuzz::Outcome;

namespace {

template <typename Read>
Outcome outcomeOf(Read&& read) {
  return tarvok::fuzz::outcomeOf(std::forward<Read>(read), &tarvok::tools::CsvError::line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::size_t lines =
      static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  for (const auto wanted :
       {tarvok::tools::CsvColumns::IndicatorOnly, tarvok::tools::CsvColumns::WithChart}) {
    const Outcome inMemory = outcomeOf(
        [&](tarvok::tools::BarSeries& bars) { bars = tarvok::tools::parseBarCsv(text, wanted); });
    tarvok::fuzz::checkOutcome(inMemory, lines, wanted == tarvok::tools::CsvColumns::WithChart);
    std::FILE* stream = tarvok::fuzz::streamOf(data, size);
    if (stream == nullptr) continue;
    const Outcome streamed = outcomeOf(
        [&](tarvok::tools::BarSeries& bars) { bars = tarvok::tools::readBarCsv(stream, wanted); });
    std::fclose(stream);
    if (!tarvok::fuzz::sameOutcome(inMemory, streamed)) {
      tarvok::fuzz::fail("the stream reads otherwise", inMemory.message + " | " + streamed.message);
    }
  }
  return 0;
}
