// Text that tarvok-run reads and shows: numbers, the same in every build, data quoted in messages
// with its control bytes escaped, and data inside the UTF-8 of its charts and pages.

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
#include "text/language.h"
#include "text/markup_text.h"
#include "text/message_text.h"
#include "text/number_text.h"
#include "text/template_text.h"

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

TEST(MarkupText, FindsEachWellFormedUtf8SequenceAndNothingElse) {
  struct Case {
    std::string text;
    std::size_t at, length;  // length 0: no sequence there
    std::uint32_t cp;
  };
  const Case cases[] = {
      {"a", 0, 1, 'a'},
      {std::string("\0", 1), 0, 1, 0},
      {"\x7f", 0, 1, 0x7F},
      {"\xc2\x80", 0, 2, 0x80},
      {"\xdf\xbf", 0, 2, 0x7FF},
      {"\xe0\xa0\x80", 0, 3, 0x800},
      {"x\xe6\xb5\xa6", 1, 3, 0x6D66},
      {"\xef\xbf\xbf", 0, 3, 0xFFFF},
      {"\xf0\x90\x80\x80", 0, 4, 0x10000},
      {"\xf4\x8f\xbf\xbf", 0, 4, 0x10FFFF},
      {"\x80", 0, 0, 0},              // a continuation byte alone
      {"\xc0\xaf", 0, 0, 0},          // '/' in two bytes: overlong
      {"\xc1\xbf", 0, 0, 0},          // overlong
      {"\xe0\x9f\xbf", 0, 0, 0},      // overlong
      {"\xf0\x8f\xbf\xbf", 0, 0, 0},  // overlong
      {"\xed\xa0\x80", 0, 0, 0},      // a surrogate
      {"\xed\xbf\xbf", 0, 0, 0},      // a surrogate
      {"\xf4\x90\x80\x80", 0, 0, 0},  // past U+10FFFF
      {"\xf5\x80\x80\x80", 0, 0, 0},
      {"\xff", 0, 0, 0},
      {"\xe6\xb5", 0, 0, 0},      // cut short by the end of the text
      {"\xe6\xb5\xa6", 1, 0, 0},  // inside a sequence
      {"\xe6-\xa6", 0, 0, 0},     // a byte that does not continue it
      {"\xc6\xd6", 0, 0, 0},      // GBK
  };
  for (const Case& c : cases) {
    std::uint32_t cp = 0xDEAD;
    EXPECT_EQ(tarvok::tools::utf8Length(c.text, c.at, cp), c.length)
        << ::testing::PrintToString(c.text);
    if (c.length != 0) {
      EXPECT_EQ(cp, c.cp) << ::testing::PrintToString(c.text);
    }
  }
}

TEST(MarkupText, EscapesMarkupAndPutsAQuestionMarkForWhatADocumentCannotHold) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"sh600000", "sh600000"},
      {"a<b>&\"c'd", "a&lt;b&gt;&amp;&quot;c&apos;d"},
      {"&amp;", "&amp;amp;"},
      {std::string("a\0b\x1b[2J\r\n\t\x7f", 11), "a?b?[2J????"},
      {"\xc2\x80\xc2\x9f\xc2\xa0", "??\xc2\xa0"},  // C1 controls; the no-break space stays
      {"\xef\xbf\xbe\xef\xbf\xbf\xef\xbf\xbd", "??\xef\xbf\xbd"},  // U+FFFE, U+FFFF; U+FFFD stays
      {"\xe6\xb5\xa6\xe5\x8f\x91 \xf0\x9f\x93\x88", "\xe6\xb5\xa6\xe5\x8f\x91 \xf0\x9f\x93\x88"},
      // A byte outside well-formed UTF-8 is one '?' each.
      {"\xff\xfe+\x80", "??+?"},
      {"\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80", "?????????"},
      {"x\xe6\xb5", "x??"},
      // GBK for 浦发: of its bytes, D6 B7 happen to be well-formed UTF-8 (U+05B7) and stay.
      {"\xc6\xd6\xb7\xa2", "?\xd6\xb7?"},
      {"\xe6<\xb5&", "?&lt;?&amp;"},
  };
  for (const auto& [text, marked] : cases) {
    EXPECT_EQ(tarvok::tools::markupText(text), marked) << ::testing::PrintToString(text);
  }
}

TEST(MarkupText, LastCharactersCountsCharactersNotBytes) {
  struct Case {
    std::string text;
    std::size_t maxChars;
    std::string last;  // what follows "..." when cut
    bool cut;
  };
  const Case cases[] = {
      {"", 4, "", false},
      {"abcd", 4, "abcd", false},
      {"abcde", 4, "e", true},
      {"data/sh600000.csv", 10, "000.csv", true},
      {"data/sh600000.csv", 17, "data/sh600000.csv", false},
      {"data/sh600000.csv", 16, "/sh600000.csv", true},
      // Characters of three bytes and of four: counted as one each, never cut inside.
      {"\xe6\xb5\xa6\xe5\x8f\x91\xe9\x93\xb6", 4, "\xe6\xb5\xa6\xe5\x8f\x91\xe9\x93\xb6", false},
      {"ab\xe6\xb5\xa6\xe5\x8f\x91\xe9\x93\xb6", 4, "\xe9\x93\xb6", true},
      {"abcd\xf0\x9f\x93\x88\xf0\x9f\x93\x89", 5, "\xf0\x9f\x93\x88\xf0\x9f\x93\x89", true},
      // A stray byte is one character, and a sequence cut short is one per byte.
      {"abc\xff\xfe", 5, "abc\xff\xfe", false},
      {"abc\xff\xfe", 4, "\xfe", true},
      {"ab\xe6\xb5", 4, "ab\xe6\xb5", false},
      {"abc\xe6\xb5", 4, "\xb5", true},
  };
  for (const Case& c : cases) {
    bool cut = !c.cut;
    EXPECT_EQ(tarvok::tools::lastCharacters(c.text, c.maxChars, cut), c.last)
        << ::testing::PrintToString(c.text) << " " << c.maxChars;
    EXPECT_EQ(cut, c.cut) << ::testing::PrintToString(c.text) << " " << c.maxChars;
  }
}

}  // namespace

TEST(TemplateText, FillsEveryPlaceOnceAndLeavesTheRest) {
  using tarvok::tools::filled;
  EXPECT_EQ(filled("{n} of {all}, {n} again", {{"n", "3"}, {"all", "5"}}), "3 of 5, 3 again");
  // A value that holds a place's name is not filled again; an unknown place stays.
  EXPECT_EQ(filled("{a}{b}", {{"a", "{a}{b}"}, {"b", "x"}}), "{a}xx");
  EXPECT_EQ(filled("{a} {unknown}", {{"a", ""}}), " {unknown}");
}

TEST(Language, OfLocaleNamesAndTheOption) {
  using tarvok::tools::Language;
  const std::pair<const char*, Language> locales[] = {
      {"zh_CN.UTF-8", Language::Chinese}, {"zh-CN", Language::Chinese},
      {"zh_TW.Big5", Language::Chinese},  {"ZH", Language::Chinese},
      {"zh", Language::Chinese},          {"C.UTF-8", Language::English},
      {"en_US", Language::English},       {"", Language::English},
      {"zhx_CN", Language::English},      {"POSIX", Language::English}};
  for (const auto& [locale, language] : locales) {
    EXPECT_EQ(tarvok::tools::languageOfLocale(locale), language) << locale;
  }
  EXPECT_EQ(tarvok::tools::parseLanguage("ZH"), Language::Chinese);
  EXPECT_EQ(tarvok::tools::parseLanguage("en"), Language::English);
  EXPECT_EQ(tarvok::tools::parseLanguage("zh_CN"), std::nullopt);
}
