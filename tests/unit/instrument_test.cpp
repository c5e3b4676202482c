// Instruments: kinds and their names, symbols from file names, the table of code prefixes, and
// the check of the price unit against the days' average prices.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "marketdata/instrument.h"

namespace {

using tarvok::tools::decidePriceUnit;
using tarvok::tools::InstrumentKind;
using tarvok::tools::kindFromTable;
using tarvok::tools::KindSet;
using tarvok::tools::Market;
using tarvok::tools::parseKindList;
using tarvok::tools::parseSymbol;
using tarvok::tools::PriceUnit;
using tarvok::tools::UnitDecision;

TEST(Instrument, TableOfCodePrefixes) {
  struct Case {
    Market market;
    const char* code;
    InstrumentKind kind;
    std::uint32_t scale;  // 0: not in the table
  };
  const Case cases[] = {
      {Market::Sh, "600000", InstrumentKind::AShare, 100},
      {Market::Sh, "688981", InstrumentKind::AShare, 100},
      {Market::Sh, "000001", InstrumentKind::Index, 100},
      {Market::Sh, "880001", InstrumentKind::Index, 100},
      {Market::Sh, "999999", InstrumentKind::Index, 100},
      {Market::Sh, "510300", InstrumentKind::Fund, 1000},
      {Market::Sh, "500001", InstrumentKind::Fund, 1000},
      {Market::Sh, "588000", InstrumentKind::Fund, 1000},
      {Market::Sh, "019547", InstrumentKind::Bond, 1000},
      {Market::Sh, "020001", InstrumentKind::Bond, 1000},
      {Market::Sh, "113050", InstrumentKind::Bond, 1000},
      {Market::Sh, "140001", InstrumentKind::Bond, 1000},
      {Market::Sh, "204001", InstrumentKind::Bond, 1000},
      {Market::Sh, "900901", InstrumentKind::BShare, 1000},
      {Market::Sz, "000001", InstrumentKind::AShare, 100},
      {Market::Sz, "300750", InstrumentKind::AShare, 100},
      {Market::Sz, "399001", InstrumentKind::Index, 100},
      {Market::Sz, "200002", InstrumentKind::BShare, 100},
      {Market::Sz, "159915", InstrumentKind::Fund, 1000},
      {Market::Sz, "161725", InstrumentKind::Fund, 1000},
      {Market::Sz, "184801", InstrumentKind::Fund, 1000},
      {Market::Sz, "101001", InstrumentKind::Bond, 1000},
      {Market::Sz, "123001", InstrumentKind::Bond, 1000},
      {Market::Sz, "131810", InstrumentKind::Bond, 1000},
      {Market::Bj, "430047", InstrumentKind::AShare, 100},
      {Market::Bj, "830799", InstrumentKind::AShare, 100},
      {Market::Bj, "870204", InstrumentKind::AShare, 100},
      {Market::Bj, "920002", InstrumentKind::AShare, 100},
      {Market::Bj, "899050", InstrumentKind::Index, 100},
      // Not known: new prefixes, other markets, not six digits.
      {Market::Sh, "001001", InstrumentKind::Other, 0},
      {Market::Sh, "700001", InstrumentKind::Other, 0},
      {Market::Sh, "590001", InstrumentKind::Other, 0},
      {Market::Sz, "399", InstrumentKind::Other, 0},
      {Market::Sz, "140001", InstrumentKind::Other, 0},
      {Market::Sz, "390001", InstrumentKind::Other, 0},
      {Market::Bj, "880001", InstrumentKind::Other, 0},
      {Market::Bj, "600000", InstrumentKind::Other, 0},
      {Market::Other, "600000", InstrumentKind::Other, 0},
      {Market::Sh, "60000a", InstrumentKind::Other, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(marketName(c.market)) + c.code);
    const auto table = kindFromTable(c.market, c.code);
    if (c.scale == 0) {
      EXPECT_FALSE(table.has_value());
      continue;
    }
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ(table->kind, c.kind);
    EXPECT_EQ(table->scale, c.scale);
  }
}

TEST(Instrument, KindNamesAndLists) {
  for (int k = 0; k < 6; ++k) {
    const auto kind = static_cast<InstrumentKind>(k);
    EXPECT_EQ(tarvok::tools::parseKindName(kindName(kind)), kind);
  }
  EXPECT_EQ(tarvok::tools::parseKindName("A-Share"), InstrumentKind::AShare);
  EXPECT_EQ(tarvok::tools::parseKindName("etf"), std::nullopt);
  std::string error;
  const auto kinds = parseKindList(" a-share, FUND ,bond", error);
  ASSERT_TRUE(kinds.has_value()) << error;
  KindSet expected;
  for (const auto k : {InstrumentKind::AShare, InstrumentKind::Fund, InstrumentKind::Bond}) {
    expected.insert(k);
  }
  EXPECT_EQ(*kinds, expected);
  EXPECT_FALSE(kinds->contains(InstrumentKind::Index));
  EXPECT_TRUE(KindSet::all().contains(InstrumentKind::Other));
  struct Bad {
    const char* list;
    const char* error;
  };
  for (const Bad& bad : {
           Bad{"a-share,etf",
               "\"etf\" is not a kind; kinds: a-share, b-share, index, fund, bond, other"},
           Bad{"ashare",
               "\"ashare\" is not a kind; kinds: a-share, b-share, index, fund, bond, other"},
           Bad{"fund,,bond",
               "an empty kind in the list; kinds: a-share, b-share, index, fund, bond, other"},
           Bad{"", "an empty kind in the list; kinds: a-share, b-share, index, fund, bond, other"},
           Bad{"fund,",
               "an empty kind in the list; kinds: a-share, b-share, index, fund, bond, other"},
       }) {
    EXPECT_FALSE(parseKindList(bad.list, error).has_value()) << bad.list;
    EXPECT_EQ(error, bad.error);
  }
}

TEST(Instrument, SymbolsFromFileNames) {
  struct Case {
    const char* name;
    Market market;
    const char* code;  // nullptr: not a symbol
    const char* text;
  };
  const Case cases[] = {
      {"sh600000.day", Market::Sh, "600000", "sh600000"},
      {"vipdoc/sz/lday/sz000001.day", Market::Sz, "000001", "sz000001"},
      {"C:\\new_tdx\\vipdoc\\bj\\minline\\bj830799.lc1", Market::Bj, "830799", "bj830799"},
      {"SH510300.LC5", Market::Sh, "510300", "sh510300"},
      {"SH#600000.txt", Market::Sh, "600000", "sh600000"},
      {"sz#000001.TXT", Market::Sz, "000001", "sz000001"},
      {"BJ#830799.txt", Market::Bj, "830799", "bj830799"},
      {"47#IF2412.txt", Market::Other, "IF2412", "47#IF2412"},
      {"28#AG2506.day", Market::Other, "AG2506", "28#AG2506"},
      {"sh60000.day", Market::Sh, nullptr, ""},    // five digits
      {"sh600000.csv", Market::Sh, nullptr, ""},   // another extension
      {"sh600000", Market::Sh, nullptr, ""},       // none
      {"600000.txt", Market::Sh, nullptr, ""},     // an export has the '#'
      {"hk00700.day", Market::Sh, nullptr, ""},    // no such market letters
      {"SH#60000X.txt", Market::Sh, nullptr, ""},  // not digits
      {"#IF2412.txt", Market::Sh, nullptr, ""},    // no market
      {"47#.txt", Market::Sh, nullptr, ""},        // no code
      {"47#IF-1.txt", Market::Sh, nullptr, ""},    // not letters and digits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto symbol = parseSymbol(c.name);
    if (c.code == nullptr) {
      EXPECT_FALSE(symbol.has_value());
      continue;
    }
    ASSERT_TRUE(symbol.has_value());
    EXPECT_EQ(symbol->market, c.market);
    EXPECT_EQ(symbol->code, c.code);
    EXPECT_EQ(symbolText(*symbol), c.text);
  }
}

// A daily file's records: prices in units of the file, the turnover in yuan and the volume.
struct Day {
  std::uint32_t low, high;
  float turnover;
  std::uint32_t volume;
};

std::string dayFile(const std::vector<Day>& days) {
  std::string out;
  std::uint32_t date = 20240101;
  for (const Day& d : days) {
    float turnover = d.turnover;
    std::uint32_t turnoverBits;
    std::memcpy(&turnoverBits, &turnover, 4);
    for (const std::uint32_t v :
         {date++, d.low, d.high, d.low, d.high, turnoverBits, d.volume, 0u}) {
      for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>(v >> shift & 0xFF));
    }
    if (date % 100 == 29) date += 100 - 28;  // stay within the calendar
  }
  return out;
}

// n days around 3.98 yuan: prices in units of 1/scale, volume in shares or in lots of 100.
std::vector<Day> daysAt(std::uint32_t scale, int n, std::uint32_t perLot = 1) {
  std::vector<Day> days;
  for (int i = 0; i < n; ++i) {
    const std::uint32_t volume = 10000 + 37 * static_cast<std::uint32_t>(i);
    const float average = 3.98f + 0.001f * static_cast<float>(i % 5);
    days.push_back({395 * scale / 100, 401 * scale / 100,
                    average * static_cast<float>(volume) * static_cast<float>(perLot), volume});
  }
  return days;
}

TEST(Instrument, TheTableDecidesWhatTheCheckConfirmsOrCannotTell) {
  // An A-share, volume in shares; a fund at 1/1000, volume in lots.
  PriceUnit unit = decidePriceUnit(Market::Sh, "600000", dayFile(daysAt(100, 40)));
  EXPECT_EQ(unit.decision, UnitDecision::Table);
  EXPECT_EQ(unit.scale, 100u);
  EXPECT_EQ(unit.kind, InstrumentKind::AShare);
  EXPECT_EQ(unit.check.days, 30u);
  EXPECT_EQ(unit.check.only100, 30u);
  EXPECT_EQ(unit.check.verdict, 100u);
  unit = decidePriceUnit(Market::Sz, "159915", dayFile(daysAt(1000, 12, 100)));
  EXPECT_EQ(unit.decision, UnitDecision::Table);
  EXPECT_EQ(unit.scale, 1000u);
  EXPECT_EQ(unit.check.only1000, 12u);
  EXPECT_EQ(priceUnitNote("sz159915.day", "159915", unit), "");
  // Too few days to tell: the table's scale.
  unit = decidePriceUnit(Market::Sh, "510300", dayFile(daysAt(100, 2)));
  EXPECT_EQ(unit.decision, UnitDecision::Table);
  EXPECT_EQ(unit.scale, 1000u);
  EXPECT_EQ(unit.check.verdict, 0u);
  // An index: the table alone, whatever its volume says.
  unit = decidePriceUnit(Market::Sh, "000001", dayFile(daysAt(1000, 40)));
  EXPECT_EQ(unit.decision, UnitDecision::Table);
  EXPECT_EQ(unit.scale, 100u);
  EXPECT_EQ(unit.kind, InstrumentKind::Index);
  EXPECT_EQ(unit.check.days, 0u);
}

TEST(Instrument, TheCheckOverrulesTheTableForAMislabelledFund) {
  // A code of the funds' prefix whose file holds hundredths.
  const PriceUnit unit = decidePriceUnit(Market::Sh, "510300", dayFile(daysAt(100, 40, 100)));
  EXPECT_EQ(unit.decision, UnitDecision::CheckOverTable);
  EXPECT_EQ(unit.scale, 100u);
  EXPECT_EQ(unit.kind, InstrumentKind::Fund);
  EXPECT_EQ(priceUnitNote("sh510300.day", "510300", unit),
            "sh510300.day: prices read in 1/100 yuan, not in the 1/1000 yuan of fund codes: of the "
            "last 30 days with volume, 30 have their average price within the day's range at 1/100 "
            "yuan alone");
}

TEST(Instrument, AnUnknownCodeGoesByTheCheckOrIsRefused) {
  // Thousandths, volume in lots; the days without volume are passed over.
  std::vector<Day> days = daysAt(1000, 10, 100);
  days.push_back({3950, 4010, 0.0f, 0});
  PriceUnit unit = decidePriceUnit(Market::Sh, "700001", dayFile(days));
  EXPECT_EQ(unit.decision, UnitDecision::Check);
  EXPECT_EQ(unit.scale, 1000u);
  EXPECT_EQ(unit.kind, InstrumentKind::Other);
  EXPECT_EQ(unit.check.days, 10u);
  EXPECT_FALSE(unit.table.has_value());
  // Only the last 30 days with volume count: old days at the other scale are not asked.
  days = daysAt(1000, 50);
  const std::vector<Day> recent = daysAt(100, 30);
  days.insert(days.end(), recent.begin(), recent.end());
  EXPECT_EQ(decidePriceUnit(Market::Other, "IF2412", dayFile(days)).scale, 100u);
  // Half and half: refused.
  days = daysAt(1000, 10);
  const std::vector<Day> other = daysAt(100, 10);
  days.insert(days.end(), other.begin(), other.end());
  unit = decidePriceUnit(Market::Sz, "400001", dayFile(days));
  EXPECT_EQ(unit.decision, UnitDecision::Undecided);
  EXPECT_EQ(unit.scale, 0u);
  EXPECT_EQ(priceUnitNote("sz400001.day", "400001", unit),
            "sz400001.day: cannot tell the price unit: code 400001 is not in the table of code "
            "prefixes, and of the last 20 days with volume 10 fit 1/100 yuan alone and 10 fit "
            "1/1000 yuan alone (to tell, at least 3 and three quarters of the days must fit one)");
  // Nothing traded, or an index-like volume that fits neither scale.
  unit = decidePriceUnit(Market::Bj, "999001", dayFile({{100, 120, 0.0f, 0}}));
  EXPECT_EQ(unit.decision, UnitDecision::Undecided);
  EXPECT_EQ(priceUnitNote("bj999001.day", "999001", unit),
            "bj999001.day: cannot tell the price unit: code 999001 is not in the table of code "
            "prefixes, and no day has volume to check the prices against");
  days.assign(10, Day{300000, 310000, 3.0e11f, 1000});  // 3e8 yuan a unit of volume
  EXPECT_EQ(decidePriceUnit(Market::Sh, "990001", dayFile(days)).decision, UnitDecision::Table);
  EXPECT_EQ(decidePriceUnit(Market::Sh, "190001", dayFile(days)).decision, UnitDecision::Undecided);
}

}  // namespace
