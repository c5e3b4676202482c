// GBK to UTF-8 and back: names as the terminal writes them, every pair of the table, and the
// bytes that are not GBK.

#include <gtest/gtest.h>

#include <string>

#include "text/gbk.h"

namespace {

using tarvok::tools::gbkToUtf8;
using tarvok::tools::isValidUtf8;
using tarvok::tools::utf8ToGbk;

struct Name {
  const char* gbk;
  const char* utf8;
};

// The GBK bytes as the terminal's files hold them.
const Name kNames[] = {
    {"\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0", "浦发银行"},
    {"\xC6\xBD\xB0\xB2\xD2\xF8\xD0\xD0", "平安银行"},
    {"\xB9\xF3\xD6\xDD\xC3\xA9\xCC\xA8", "贵州茅台"},
    {"\xD6\xD0\xB9\xFA\xC6\xBD\xB0\xB2", "中国平安"},
    {"\xD5\xD0\xC9\xCC\xD2\xF8\xD0\xD0", "招商银行"},
    {"\xC4\xFE\xB5\xC2\xCA\xB1\xB4\xFA", "宁德时代"},
    {"\xB1\xC8\xD1\xC7\xB5\xCF", "比亚迪"},
    {"\xCD\xF2\x20\x20\xBF\xC6\xA3\xC1", "万  科Ａ"},  // ASCII blanks, a full-width letter
    {"\xC9\xCF\xD6\xA4\xD6\xB8\xCA\xFD", "上证指数"},
    {"\xC9\xEE\xD6\xA4\xB3\xC9\xD6\xB8", "深证成指"},
    {"\xD6\xD0\xD6\xA4\x35\x30\x30", "中证500"},
    {"\xBB\xAA\xCF\xC4\xC9\xCF\xD6\xA4\x35\x30\x45\x54\x46", "华夏上证50ETF"},
    {"\xB9\xFA\xD5\xAE\xC4\xE6\xBB\xD8\xB9\xBA", "国债逆回购"},
    {"\xCA\xFD\xBE\xDD\xC0\xB4\xD4\xB4\xA3\xBA\xCD\xA8\xB4\xEF\xD0\xC5", "数据来源：通达信"},
    {"\xA1\xA4", "·"},  // two bytes in GBK, two in UTF-8
    {"", ""},
};

TEST(Gbk, NamesRoundTrip) {
  for (const Name& name : kNames) {
    SCOPED_TRACE(name.utf8);
    EXPECT_EQ(gbkToUtf8(name.gbk), std::string(name.utf8));
    std::string gbk;
    std::size_t errorAt = 99;
    ASSERT_TRUE(utf8ToGbk(name.utf8, gbk, errorAt));
    EXPECT_EQ(gbk, name.gbk);
    EXPECT_TRUE(isValidUtf8(name.utf8));
  }
}

TEST(Gbk, EveryPairOfTheTableRoundTrips) {
  int pairs = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
      const auto utf8 = gbkToUtf8(bytes);
      if (!utf8) continue;
      ++pairs;
      EXPECT_NE(trail, 0x7F);
      ASSERT_TRUE(isValidUtf8(*utf8));
      std::string back;
      std::size_t errorAt = 0;
      ASSERT_TRUE(utf8ToGbk(*utf8, back, errorAt)) << std::hex << lead << ' ' << trail;
      ASSERT_EQ(back, bytes);
    }
  }
  EXPECT_EQ(pairs, 21791);  // Python's gbk codec, in every build
}

TEST(Gbk, RefusesBytesThatAreNotGbkAtTheirOffset) {
  struct Bad {
    std::string gbk;
    std::size_t errorAt;
    std::string before;  // what out holds
  };
  const Bad cases[] = {
      {"\x80", 0, ""},                // the euro sign of Windows only
      {"ab\xFF", 2, "ab"},            // never a lead byte
      {"\xC6\xD6\xC6", 2, "浦"},      // a lead byte at the end
      {"\xC6\x7F", 0, ""},            // 0x7F is no trail byte
      {"x\xC6\x30", 1, "x"},          // nor is anything below 0x40
      {"\xC6\xD6\xAA\xA1", 2, "浦"},  // the user-defined areas
      {std::string("\xC6\xD6\0\xFE\xFE", 5), 3, std::string("浦\0", 4)},  // NUL is ASCII
  };
  for (const Bad& c : cases) {
    std::string out;
    std::size_t errorAt = 99;
    EXPECT_FALSE(gbkToUtf8(c.gbk, out, errorAt)) << c.errorAt;
    EXPECT_EQ(errorAt, c.errorAt);
    EXPECT_EQ(out, c.before);
    EXPECT_FALSE(gbkToUtf8(c.gbk).has_value());
  }
}

TEST(Gbk, RefusesCharactersThatGbkLacksAndUtf8ThatIsNotWellFormed) {
  struct Bad {
    std::string utf8;
    std::size_t errorAt;
  };
  const Bad cases[] = {
      {"ok€", 2},                 // no euro sign
      {"平\xF0\x9F\x98\x80", 3},  // beyond the BMP
      {"a\xE5\xB9", 1},           // cut short
      {"\xC0\xAF", 0},            // overlong
      {"\xED\xA0\x80", 0},        // a surrogate
  };
  for (const Bad& c : cases) {
    std::string out;
    std::size_t errorAt = 99;
    EXPECT_FALSE(utf8ToGbk(c.utf8, out, errorAt)) << c.utf8;
    EXPECT_EQ(errorAt, c.errorAt) << c.utf8;
  }
  EXPECT_TRUE(isValidUtf8("plain ASCII\t\r\n"));
  EXPECT_TRUE(
      isValidUtf8("\xEF\xBB\xBF"
                  "代码,名称"));
  for (const char* bad :
       {"\x80", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC6\xD6\xB7\xA2"}) {
    EXPECT_FALSE(isValidUtf8(bad)) << bad;
  }
}

}  // namespace
