#pragma once
// Bars as every reader hands them out: the indicator's three input series, one element per bar,
// oldest first, and what a chart of them can show besides.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace tarvok::tools {

struct BarSeries {
  std::vector<float> high, low, close;
  std::vector<float> open;          // empty when the input has no opening prices
  std::vector<std::uint32_t> date;  // YYYYMMDD; empty when the input has no dates
  // Minutes since midnight of the bar's end; empty for daily bars. The initializer lets the
  // brace-initializations that stop before it go unwarned.
  std::vector<std::uint16_t> time{};
  std::size_t size() const { return close.size(); }
};

// The most bars an input may give: the table functions take the count as an int.
inline constexpr std::size_t kMaxBars = INT_MAX;

// The input could not be read (it is a directory, or the device failed); the text says why.
class ReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tarvok::tools
