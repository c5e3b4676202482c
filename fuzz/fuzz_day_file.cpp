// libFuzzer target: the daily-file reader on any bytes, whole, in pieces of a size the first byte
// picks, and as a stream. Each gives bars or an error naming a record of the file, and all agree.

#include <string_view>

#include <utility>

#include "marketdata/day_file.h"
#include "reader_checks.h"

using tarvok::fuzz::Outcome;

namespace {

template <typename Read>
Outcome outcomeOf(Read&& read) {
  return tarvok::fuzz::outcomeOf(std::forward<Read>(read), &tarvok::tools::DayFileError::record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const Outcome whole =
      outcomeOf([&](tarvok::tools::BarSeries& bars) { bars = tarvok::tools::parseDayFile(bytes); });
  tarvok::fuzz::checkOutcome(whole, size / tarvok::tools::kDayRecordSize + 1, true);
  if (!whole.refused && whole.bars.size() * tarvok::tools::kDayRecordSize != size) {
    tarvok::fuzz::fail("records and bytes disagree", std::to_string(whole.bars.size()));
  }

  const std::size_t piece = size == 0 ? 1 : data[0] % 70 + 1;
  const Outcome pieces = outcomeOf([&](tarvok::tools::BarSeries& bars) {
    tarvok::tools::DayFileParser parser(bars);
    for (std::size_t at = 0; at < size; at += piece) parser.add(bytes.substr(at, piece));
    parser.finish();
  });
  if (!tarvok::fuzz::sameOutcome(whole, pieces))
    tarvok::fuzz::fail("pieces read otherwise", pieces.message);

  std::FILE* stream = tarvok::fuzz::streamOf(data, size);
  if (stream == nullptr) return 0;
  const Outcome streamed =
      outcomeOf([&](tarvok::tools::BarSeries& bars) { tarvok::tools::readDayFile(stream, bars); });
  std::fclose(stream);
  if (!tarvok::fuzz::sameOutcome(whole, streamed))
    tarvok::fuzz::fail("the stream reads otherwise", streamed.message);
  return 0;
}
