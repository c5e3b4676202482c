// Names of instruments: the terminal's code tables of both generations, tables of another
// layout left out with a note, and lists handed over (the terminal's quote list, CSV files).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "marketdata/name_table.h"

namespace {

using tarvok::tools::addCodeTable;
using tarvok::tools::addNameList;
using tarvok::tools::Market;
using tarvok::tools::NameListError;
using tarvok::tools::NameTable;

const std::string kPufa = "\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0";    // 浦发银行
const std::string kPingan = "\xC6\xBD\xB0\xB2\xD2\xF8\xD0\xD0";  // 平安银行
const std::string kMoutai = "\xB9\xF3\xD6\xDD\xC3\xA9\xCC\xA8";  // 贵州茅台
const std::string kIndex = "\xC9\xCF\xD6\xA4\xD6\xB8\xCA\xFD";   // 上证指数

struct Entry {
  std::string code, name;  // name in GBK
};

// A code table: a 50-byte header, then records with the code at 0 and the NUL-padded name at
// nameAt, the other bytes of a record not zero, as other fields would have them.
std::string codeTable(std::size_t recordSize, std::size_t nameAt, std::size_t nameWidth,
                      const std::vector<Entry>& entries) {
  std::string out(50, '\x01');
  for (const Entry& e : entries) {
    std::string record(recordSize, '\x7E');
    record.replace(0, e.code.size(), e.code);
    record[6] = '\0';
    std::string field = e.name;
    field.resize(nameWidth, '\0');
    record.replace(nameAt, nameWidth, field);
    out += record;
  }
  return out;
}

std::string newTable(const std::vector<Entry>& entries) { return codeTable(360, 31, 32, entries); }
std::string oldTable(const std::vector<Entry>& entries) { return codeTable(314, 23, 18, entries); }

std::string nameOf(const NameTable& names, Market market, const std::string& code) {
  const std::string* name = names.find(market, code);
  return name ? *name : "(none)";
}

TEST(NameTable, CodeTablesOfBothGenerations) {
  NameTable names;
  // A name filling the whole field has no NUL.
  const std::string sixteen = kPufa + kPufa + kPufa + kPufa;  // 32 bytes
  EXPECT_EQ(
      addCodeTable("T0002/hq_cache/shs.tnf",
                   newTable({{"600000", kPufa}, {"000001", kIndex}, {"600001", sixteen}}), names),
      "");
  EXPECT_EQ(addCodeTable("SZM.TNF", oldTable({{"000001", kPingan}, {"000002", "AB  C"}}), names),
            "");
  const std::string nine = kMoutai + kMoutai + "\xB9\xF3";  // 18 bytes
  EXPECT_EQ(addCodeTable("shm.tnf", oldTable({{"600519", nine}, {"600000", "old"}}), names), "");
  EXPECT_EQ(addCodeTable("bjs.tnf", newTable({}), names), "");  // no records: nothing to add
  EXPECT_EQ(names.size(), 6u);
  EXPECT_EQ(nameOf(names, Market::Sh, "600000"), "浦发银行");  // the first given stays
  EXPECT_EQ(nameOf(names, Market::Sh, "000001"), "上证指数");
  EXPECT_EQ(nameOf(names, Market::Sz, "000001"), "平安银行");
  EXPECT_EQ(nameOf(names, Market::Sh, "600001"), "浦发银行浦发银行浦发银行浦发银行");
  EXPECT_EQ(nameOf(names, Market::Sh, "600519"), "贵州茅台贵州茅台贵");
  EXPECT_EQ(nameOf(names, Market::Sz, "000002"), "AB  C");
  EXPECT_EQ(nameOf(names, Market::Bj, "600000"), "(none)");
}

TEST(NameTable, TablesOfAnotherLayoutAreLeftOutWithANote) {
  struct Bad {
    std::string file, bytes, note;
  };
  // 157 records of 360 bytes are 180 of 314: the size fits, the codes do not.
  std::vector<Entry> many(157, Entry{"600000", kPufa});
  const Bad cases[] = {
      {"shs.tnf", oldTable({{"600000", kPufa}, {"600001", kPufa}}),
       "shs.tnf: left out: 678 bytes is not a 50-byte header and whole 360-byte records: another "
       "layout"},
      {"szs.tnf", std::string(49, '\0'),
       "szs.tnf: left out: 49 bytes is not a 50-byte header and whole 360-byte records: another "
       "layout"},
      {"shm.tnf", newTable(many),
       "shm.tnf: left out: record 2: \"~~~~~~\" is not a six-digit code: another layout"},
      {"szs.tnf", newTable({{"000001", kPingan}, {"00000X", kPingan}}),
       "szs.tnf: left out: record 2: \"00000X\" is not a six-digit code: another layout"},
      {"szs.tnf", newTable({{"000001", "\xC6\x7F"}}),
       "szs.tnf: left out: record 1 (code 000001): the name is not GBK text"},
      {"szs.tnf", newTable({{"000001", ""}}),
       "szs.tnf: left out: record 1 (code 000001): no name: another layout"},
      {"bjs.tnf", newTable({{"830799", "a\x02"}}),
       "bjs.tnf: left out: record 1 (code 830799): a control character in the name: another "
       "layout"},
      {"sh.tnf", newTable({}), "sh.tnf: left out: not one of the code tables"},
  };
  for (const Bad& c : cases) {
    NameTable names;
    EXPECT_EQ(addCodeTable(c.file, c.bytes, names), c.note);
    EXPECT_EQ(names.size(), 0u) << c.note;  // nothing of a table left out
  }
}

TEST(NameTable, TheTerminalsQuoteList) {
  // GBK, a title line, columns between tabs with blanks around them, the closing line.
  const std::string list =
      "\xBB\xA6\xC9\xEE\x41\xB9\xC9\r\n"                               // 沪深A股
      "  \xB4\xFA\xC2\xEB\t  \xC3\xFB\xB3\xC6\t\xD5\xC7\xB7\xF9%\r\n"  // 代码 名称 涨幅%
      "600000\t" +
      kPufa +
      "   \t1.20\r\n"
      "000001\t" +
      kPingan +
      "\t-0.50\r\n"
      "\r\n"
      "\xCA\xFD\xBE\xDD\xC0\xB4\xD4\xB4:\xCD\xA8\xB4\xEF\xD0\xC5\r\n";
  NameTable names;
  EXPECT_EQ(addNameList(list, names), 2u);
  // No market in the list: the code alone, for any market.
  EXPECT_EQ(nameOf(names, Market::Sh, "600000"), "浦发银行");
  EXPECT_EQ(nameOf(names, Market::Bj, "000001"), "平安银行");
}

TEST(NameTable, CsvListsInUtf8OrGbk) {
  NameTable names;
  EXPECT_EQ(addNameList("\xEF\xBB\xBF"
                        "code,name\r\nsh600000,浦发银行\n600519.SH,\"贵州茅台, 酒\"\n"
                        "SZ000001,\"平安\"\"银行\"\"\"\n",
                        names),
            3u);
  EXPECT_EQ(addNameList("Name,Code,Price\n沪深300ETF,510300,3.98\n", names), 1u);
  EXPECT_EQ(addNameList("code,name\r\n830799,\xB1\xC8\xD1\xC7\xB5\xCF\r\n", names), 1u);  // GBK
  EXPECT_EQ(nameOf(names, Market::Sh, "600000"), "浦发银行");
  EXPECT_EQ(nameOf(names, Market::Sz, "600000"), "(none)");  // keyed by its market
  EXPECT_EQ(nameOf(names, Market::Sh, "600519"), "贵州茅台, 酒");
  EXPECT_EQ(nameOf(names, Market::Sz, "000001"), "平安\"银行\"");
  EXPECT_EQ(nameOf(names, Market::Sz, "510300"), "沪深300ETF");
  EXPECT_EQ(nameOf(names, Market::Bj, "830799"), "比亚迪");
}

TEST(NameTable, BrokenListsNameTheLine) {
  struct Bad {
    std::string bytes;
    std::size_t line;
    std::string message;
  };
  const Bad cases[] = {
      {"symbol,title\n600000,x\n", 0,
       "no header line naming the columns 代码 and 名称, or code and name"},
      {"code,name\n600000\n", 2, "1 fields: no name field"},
      {"name,code\n600000\n", 2, "1 fields: no code field"},
      {"code,name\n600000,\n", 2, "code 600000: no name"},
      {"code,name\n60-000,x\n", 2, "\"60-000\" is not a code"},
      {"code,name\n600000," + kPufa + "\n000001,\x80\n", 3,
       "neither UTF-8 nor GBK text (byte 8 of the line)"},
      {"\xEF\xBB\xBF"
       "code,name\n600000," +
           kPufa + "\n",
       0, "marked as UTF-8 but not UTF-8 text"},
      {"code,name\n600000,a\n#数据来源：通达信\n600001,b\n", 4,
       "text after the closing 数据来源:通达信 line"},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.message);
    NameTable names;
    try {
      addNameList(c.bytes, names);
      ADD_FAILURE() << "no error";
    } catch (const NameListError& e) {
      EXPECT_EQ(e.line(), c.line);
      EXPECT_EQ(e.what(), c.message);
    }
  }
  NameTable names;
  try {
    addNameList("code,name\n600000,\n", names);
  } catch (const NameListError& e) {
    EXPECT_EQ(nameListMessage("names.csv", e), "names.csv: line 2: code 600000: no name");
  }
}

}  // namespace
