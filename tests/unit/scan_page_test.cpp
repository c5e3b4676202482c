// The market scan's page: symbols and notes are any bytes of a file name, and the page stays
// well-formed UTF-8 with every one of them escaped as markupText documents.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "report/scan_page.h"

namespace {

using tarvok::tools::ScanPageRow;
using tarvok::tools::ScanPageSummary;

// The whole page with the bytes as both rows' symbol (one with a chart, one without), as the
// chart's symbol and note, and in the listing's words.
std::string pageWith(const std::string& data) {
  ScanPageSummary summary;
  summary.period = 14;
  summary.multiplier = 2.0f;
  summary.newestDate = 20240229;
  summary.files = 2;
  summary.listing = "symbols like " + data;
  ScanPageRow charted;
  charted.symbol = data;
  charted.chart = 0;
  charted.row = {20240229, 10.5f, 9.75f, -3, 2};
  ScanPageRow plain;
  plain.symbol = data;
  plain.row = {20240228, 8.5f, 9.0f, 4, 7};
  return tarvok::tools::scanPageHead(summary, {charted, plain}) +
         tarvok::tools::scanPageChart(0, data, "", "cannot read " + data) +
         tarvok::tools::scanPageTail();
}

// The first place where the page is not well-formed UTF-8 or holds a character a document must not
// (a control other than the line end, U+FFFE, U+FFFF), or npos. Decoded here by the rules of UTF-8
// themselves, not by the escaper under test.
std::size_t firstBadCharacter(const std::string& page) {
  for (std::size_t i = 0; i < page.size();) {
    const auto byte = [&](std::size_t k) {
      return k < page.size() ? static_cast<unsigned char>(page[k]) : 0u;
    };
    const unsigned lead = byte(i);
    const std::size_t length = lead < 0x80       ? 1
                               : lead >> 5 == 6  ? 2
                               : lead >> 4 == 14 ? 3
                               : lead >> 3 == 30 ? 4
                                                 : 0;
    if (length == 0) return i;
    std::uint32_t cp = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
      if (byte(i + k) >> 6 != 2) return i;
      cp = cp << 6 | (byte(i + k) & 0x3Fu);
    }
    static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
    if ((cp < 0x20 && cp != '\n') || (cp >= 0x7F && cp <= 0x9F) || cp == 0xFFFE || cp == 0xFFFF)
      return i;
    i += length;
  }
  return std::string::npos;
}

TEST(ScanPage, SymbolsAndNotesAreEscapedAndThePageIsWellFormedWhateverTheBytes) {
  struct Case {
    const char* name;
    std::string data;
    std::string shown;
  };
  const Case cases[] = {
      {"plain", "sh600000", "sh600000"},
      {"markup", "a<b>&\"c'd", "a&lt;b&gt;&amp;&quot;c&apos;d"},
      {"a tag", "<script>x</script>", "&lt;script&gt;x&lt;/script&gt;"},
      {"a reference", "&lt;", "&amp;lt;"},
      {"control bytes", std::string("a\0b\x1b[2J\r\n\t\x7f", 11), "a?b?[2J????"},
      {"C1 controls", "\xc2\x80x\xc2\x9f", "?x?"},
      {"not characters", "\xef\xbf\xbe\xef\xbf\xbf", "??"},
      {"invalid UTF-8", "\xff\xc0\xaf\xed\xa0\x80\xe6\xb5", "????????"},
      // GBK for 浦发: D6 B7 happen to be well-formed UTF-8 (U+05B7) and stay.
      {"GBK", "\xc6\xd6\xb7\xa2", "?\xd6\xb7?"},
      {"UTF-8", "\xe6\xb5\xa6\xe5\x8f\x91 \xf0\x9f\x93\x88",
       "\xe6\xb5\xa6\xe5\x8f\x91 \xf0\x9f\x93\x88"},
      {"an invalid byte before markup", "\xe6<\xb5&", "?&lt;?&amp;"},
  };
  const std::string neutral = pageWith("x");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string page = pageWith(c.data);
    EXPECT_EQ(firstBadCharacter(page), std::string::npos);
    // Markup comes from the writer alone: the data adds no '<' and no '"'.
    EXPECT_EQ(std::count(page.begin(), page.end(), '<'),
              std::count(neutral.begin(), neutral.end(), '<'));
    EXPECT_EQ(std::count(page.begin(), page.end(), '"'),
              std::count(neutral.begin(), neutral.end(), '"'));
    // A symbol that names no instrument is its own code in the table.
    const std::string code = c.data == "sh600000" ? "600000" : c.shown;
    for (const std::string& place :
         {"<a href=\"#chart0\" title=\"" + c.shown + "\">" + code + "</a></td>",
          "<td class=\"text\" title=\"" + c.shown + "\">" + code + "</td>",
          "<h2>" + c.shown + "</h2>", "<p>cannot read " + c.shown + "</p>",
          "Listed: symbols like " + c.shown + "."}) {
      EXPECT_NE(page.find(place), std::string::npos) << place;
    }
  }
}

}  // namespace
