// Text that tarvok-run reads and shows: numbers, the same in every build, and data quoted in
// messages with its control bytes escaped.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <utility>

#include "support/random_bars.h"
#include "text/message_text.h"
#include "text/number_text.h"

namespace {

using tarvok::testing::bitsOf;
using tarvok::tools::parseNumber;

TEST(NumberText, ReadsEverySpellingAndRefusesTheRest) {
  struct Case {
    const char* text;
    std::optional<std::uint32_t> bits;  // none: refused
  };
  const Case cases[] = {
      {"1.5", 0x3FC00000u},
      {"+1.5", 0x3FC00000u},
      {"-0", 0x80000000u},
      {".5", 0x3F000000u},
      {"5.", 0x40A00000u},
      {"1e3", 0x447A0000u},
      {"1E+3", 0x447A0000u},
      {"0x1.8p3", 0x41400000u},
      {"-0X1P-149", 0x80000001u},
      {"0x.8", 0x3F000000u},
      {"inf", 0x7F800000u},
      {"-Infinity", 0xFF800000u},
      {"3.4028235e38", 0x7F7FFFFFu},
      // Beyond the range: infinities and zeros with their signs, however far.
      {"3.4028236e38", 0x7F800000u},
      {"-1e99999999999", 0xFF800000u},
      {"0x1p128", 0x7F800000u},
      {"7e-46", 0u},
      {"-1e-99999999999", 0x80000000u},
      {"0.0000000000000000000000000000000000000000000001e0", 0u},
      {"0x1p-150", 0u},
      {"1000000000000000000000000000000000000000", 0x7F800000u},
      // NaNs: quiet, the payload as given, in decimal or hex alike in every build.
      {"nan", 0x7FC00000u},
      {"-NaN", 0xFFC00000u},
      {"nan(123)", 0x7FC0007Bu},
      {"nan(0x123)", 0x7FC00123u},
      {"NAN(0X3fffff)", 0x7FFFFFFFu},
      {"nan(0123)", 0x7FC0007Bu},
      {"nan(4194304)", std::nullopt},
      {"nan()", std::nullopt},
      {"nan(abc)", std::nullopt},
      {"nan(", std::nullopt},
      {"nanx", std::nullopt},
      {"nan(1", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"+-1", std::nullopt},
      {"--1", std::nullopt},
      {" 1", std::nullopt},
      {"1 ", std::nullopt},
      {"0x", std::nullopt},
      {"0x-1", std::nullopt},
      {"0xinf", std::nullopt},
      {"1e", std::nullopt},
      {"1p3", std::nullopt},
      {"0x1.8", 0x3FC00000u},
      {"infinit", std::nullopt},
      {"1,5", std::nullopt},
      {".", std::nullopt},
      {"e5", std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<float> value = parseNumber(c.text);
    ASSERT_EQ(value.has_value(), c.bits.has_value()) << c.text;
    if (value) {
      EXPECT_EQ(bitsOf(*value), *c.bits) << c.text;
    }
  }
}

TEST(NumberText, RoundsAsTheCLibraryDoes) {
  // The C library's correctly rounded strtof is the reference for every number that is no NaN.
  std::mt19937_64 rng(20261209);
  char text[64];
  for (int i = 0; i < 200000; ++i) {
    const std::uint64_t r = rng();
    if (i % 3 == 0) {
      std::snprintf(text, sizeof text, "%llu.%llue%d",
                    static_cast<unsigned long long>(r % 100000000000ull),
                    static_cast<unsigned long long>(rng() % 1000000000ull),
                    static_cast<int>(rng() % 100) - 50);
    } else if (i % 3 == 1) {
      std::snprintf(text, sizeof text, "%.*g", static_cast<int>(r % 12 + 1),
                    std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(r % 300) - 200));
    } else {
      std::snprintf(text, sizeof text, "%a",
                    std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(r % 340) - 220));
    }
    const std::optional<float> value = parseNumber(text);
    ASSERT_TRUE(value.has_value()) << text;
    ASSERT_EQ(bitsOf(*value), bitsOf(std::strtof(text, nullptr))) << text;
  }
}

TEST(MessageText, ShowsControlBytesAsEscapes) {
  using tarvok::tools::printable;
  const std::pair<std::string, std::string> cases[] = {
      {"plain, \"quoted\" and C:\\dir", "plain, \"quoted\" and C:\\dir"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"\x1b[31mred\r\f\t\n\x7f", "\\x1b[31mred\\x0d\\x0c\\x09\\x0a\\x7f"},
      {"\xe6\x97\xa5\xd7\xa2", "\xe6\x97\xa5\xd7\xa2"},  // UTF-8 or GBK text as it is
      {"\\x1b", "\\x1b"},
  };
  for (const auto& [text, shown] : cases) {
    EXPECT_EQ(printable(text), shown);
    EXPECT_EQ(printable(printable(text)), shown);
  }
}

}  // namespace
