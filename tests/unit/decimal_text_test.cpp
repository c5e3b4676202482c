// Plain decimals: the fast path and the long one give what parseNumber gives, bit for bit.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "support/random_bars.h"
#include "text/decimal_text.h"
#include "text/number_text.h"

namespace {

using tarvok::testing::bitsOf;
using tarvok::tools::parseDecimal;
using tarvok::tools::parseNumber;

void expectAsParseNumber(const std::string& text) {
  const auto fast = parseDecimal(text);
  const auto reference = parseNumber(text);
  ASSERT_TRUE(fast.has_value()) << text;
  ASSERT_TRUE(reference.has_value()) << text;
  ASSERT_EQ(bitsOf(*fast), bitsOf(*reference)) << text;
}

TEST(DecimalText, EdgesOfTheFastPathAreAsParseNumber) {
  for (const char* text :
       {"0", "-0", "+0", "0.000", "-0.00", "1", "10.35", "-12.34", "0.001", "007.50", "16777215",
        "16777216", "16777217", "16777.215", "16777.216", "16777.217", "1677721.5", "1677721.6",
        "-16777.217", "99999999", "999999999", "9999999999", "0.0001", "1.0005", "3.14159265358979",
        "123456789012345678901234567890", "0000000000000000012.5", "0.1", "0.3", "2.675",
        "4294967.295", "4294967295",
        // Around the word read at once: 7 bytes and 8, with and without a sign.
        "1234567", "12345678", "-1234567", "123456.7", "1234.567", "12345.67", "9999999", "999.999",
        "-0.001", "+9.5", "0000000000000000001.5", "00000000000000000001.5"}) {
    expectAsParseNumber(text);
  }
}

TEST(DecimalText, RandomDecimalsAreAsParseNumber) {
  std::mt19937_64 rng(20261214);
  std::string text;
  for (int i = 0; i < 400000; ++i) {
    text.clear();
    if (rng() % 3 == 0) text += '-';
    for (int zeros = static_cast<int>(rng() % 8 == 0 ? rng() % 3 : 0); zeros > 0; --zeros) {
      text += '0';
    }
    // Magnitudes up to 10^7, and now and then beyond 2^24 in all: the long path.
    const std::uint64_t limits[] = {10, 1000, 100000, 10000000, 100000000, 100000000000ull};
    text += std::to_string(rng() % limits[rng() % 6]);
    const int places = static_cast<int>(rng() % 5);  // 0 to 3, and now and then 4
    if (places > 0) {
      text += '.';
      for (int k = 0; k < places; ++k) text += static_cast<char>('0' + rng() % 10);
    }
    expectAsParseNumber(text);
  }
}

TEST(DecimalText, TakesOnlyPlainDecimals) {
  for (const char* text :
       {"",     "-",    "+",       ".",    ".5",   "5.",   "-.5",      "1e3",  "1.2.3",
        "1,5",  " 1",   "1 ",      "inf",  "nan",  "0x10", "--1",      "+-1",  "12a",
        "1.5e", "1..5", "1.2345a", "12\t", "1.-5", "-1.",  "1234567.", "\x80", "9/9"}) {
    EXPECT_FALSE(parseDecimal(text).has_value()) << '"' << text << '"';
  }
  // A zero byte is no digit, also where the short text is read from a copy padded with zeros.
  for (const std::string_view text :
       {std::string_view("1\0", 2), std::string_view("1.5\0", 4), std::string_view("\0", 1),
        std::string_view("12345678\0", 9)}) {
    EXPECT_FALSE(parseDecimal(text).has_value()) << text.size();
  }
}

}  // namespace
