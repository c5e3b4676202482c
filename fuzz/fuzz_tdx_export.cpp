// libFuzzer target: the fast text-export reader against the plain one on any bytes. Both refuse
// the file on the same line with the same message, or both take it: then the same title, header
// and bars, bit for bit. The fast reader writes into a result kept from an earlier file, as the
// scan keeps it: here series longer than the file and full of a NaN no export gives, so that a
// bar it leaves unwritten or keeps too many of shows.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "marketdata/tdx_export.h"
#include "reader_checks.h"

namespace {

using tarvok::tools::ExportError;
using tarvok::tools::TdxExport;

struct Result {
  bool refused = false;
  std::size_t line = 0;
  std::string message;
};

template <typename Read>
Result readWith(Read read, std::string_view bytes, TdxExport& out) {
  Result r;
  try {
    read(bytes, out);
  } catch (const ExportError& e) {
    r.refused = true;
    r.line = e.line();
    r.message = e.what();
  }
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  TdxExport fast;
  const std::size_t stale = size / 8 + 5;
  for (auto* v : {&fast.bars.open, &fast.bars.high, &fast.bars.low, &fast.bars.close}) {
    v->assign(stale, __builtin_nanf("0x2bad"));
  }
  fast.bars.date.assign(stale, 0xFFFFFFFFu);
  fast.bars.time.assign(stale, 0xFFFF);
  const Result a = readWith(
      [](std::string_view b, TdxExport& o) { tarvok::tools::parseTdxExport(b, o); }, bytes, fast);
  TdxExport plain;
  const Result b = readWith(tarvok::tools::parseTdxExportPlain, bytes, plain);

  if (a.refused != b.refused || a.line != b.line || a.message != b.message) {
    tarvok::fuzz::fail(
        "the fast reader and the plain one disagree",
        "fast: " + (a.refused ? std::to_string(a.line) + ": " + a.message : "read") +
            "; plain: " + (b.refused ? std::to_string(b.line) + ": " + b.message : "read"));
  }
  // The bars read before an error are alike too.
  const tarvok::tools::BarSeries &x = fast.bars, &y = plain.bars;
  if (!tarvok::fuzz::sameBits(x.open, y.open) || !tarvok::fuzz::sameBits(x.high, y.high) ||
      !tarvok::fuzz::sameBits(x.low, y.low) || !tarvok::fuzz::sameBits(x.close, y.close)) {
    tarvok::fuzz::fail("prices differ", std::to_string(x.size()) + " " + std::to_string(y.size()));
  }
  if (x.date != y.date || x.time != y.time) tarvok::fuzz::fail("dates or times differ", "");
  if (b.refused) {
    if (b.message.empty()) tarvok::fuzz::fail("error without a message", "");
    return 0;
  }
  if (fast.code != plain.code || fast.name != plain.name || fast.period != plain.period ||
      fast.periodText != plain.periodText || fast.adjustment != plain.adjustment ||
      fast.separator != plain.separator) {
    tarvok::fuzz::fail("the title or the separator differs", fast.code + " " + plain.code);
  }
  return 0;
}
