#pragma once
// What the readers' fuzz targets hold every outcome to: bars that keep the readers' promises, or
// an error that names where the input went wrong in a message that shows no control byte.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "marketdata/bar_csv.h"

namespace tarvok::fuzz {

[[noreturn]] inline void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::fflush(stderr);
  __builtin_trap();
}

// The result of a reader: the bars, or where and why it refused the input.
struct Outcome {
  bool refused = false;
  std::size_t where = 0;  // line or record, 0 for the input as a whole
  std::string message;
  tools::BarSeries bars;
};

// Runs a reader that fills the bars it is given; its error type tells where the input went wrong.
template <typename Error, typename Read>
Outcome outcomeOf(Read&& read, std::size_t (Error::*where)() const noexcept) {
  Outcome o;
  try {
    read(o.bars);
  } catch (const Error& e) {
    o.refused = true;
    o.where = (e.*where)();
    o.message = e.what();
  }
  return o;
}

inline bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

inline bool sameOutcome(const Outcome& a, const Outcome& b) {
  if (a.refused || b.refused)
    return a.refused == b.refused && a.where == b.where && a.message == b.message;
  return sameBits(a.bars.high, b.bars.high) && sameBits(a.bars.low, b.bars.low) &&
         sameBits(a.bars.close, b.bars.close) && sameBits(a.bars.open, b.bars.open) &&
         a.bars.date == b.bars.date;
}

// Refused with a place no further than the input reaches and a message free of control bytes; or
// bars in series of one length, dates (when read) going forward.
inline void checkOutcome(const Outcome& o, std::size_t lastPlace, bool withOpenAndDate) {
  if (o.refused) {
    if (o.where > lastPlace)
      fail("error beyond the input", std::to_string(o.where) + ": " + o.message);
    if (o.message.empty()) fail("error without a message", std::to_string(o.where));
    for (const char c : o.message) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
        fail("control byte in the message", o.message);
    }
    return;
  }
  const tools::BarSeries& b = o.bars;
  const std::size_t n = b.size();
  if (n == 0 || b.high.size() != n || b.low.size() != n)
    fail("series of other lengths", std::to_string(n));
  if (!withOpenAndDate && (!b.open.empty() || !b.date.empty())) fail("chart columns read", "");
  if ((!b.open.empty() && b.open.size() != n) || (!b.date.empty() && b.date.size() != n)) {
    fail("chart series of another length", std::to_string(n));
  }
  for (std::size_t j = 1; j < b.date.size(); ++j) {
    if (b.date[j] <= b.date[j - 1]) fail("dates not going forward", std::to_string(j));
  }
}

// The bytes as a stream, to drive the readers that read in pieces; null for no bytes, which a
// memory stream cannot hold.
inline std::FILE* streamOf(const std::uint8_t* data, std::size_t size) {
  return size == 0 ? nullptr : fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
}

}  // namespace tarvok::fuzz
