#include "marketdata/instrument.h"

#include <cmath>
#include <cstring>

#include <fmt/format.h>

#include "marketdata/day_file.h"
#include "text/ascii.h"
#include "text/path_name.h"

namespace tarvok::tools {

namespace {

constexpr std::string_view kKindNames[] = {"a-share", "b-share", "index", "fund", "bond", "other"};

bool isDigits(std::string_view text, std::size_t count) {
  if (text.size() != count) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool isAlphanumeric(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    const char l = asciiLower(c);
    if (!((c >= '0' && c <= '9') || (l >= 'a' && l <= 'z'))) return false;
  }
  return true;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::optional<Market> marketOfLetters(std::string_view letters) {
  if (equalsIgnoringCase(letters, "sh")) return Market::Sh;
  if (equalsIgnoringCase(letters, "sz")) return Market::Sz;
  if (equalsIgnoringCase(letters, "bj")) return Market::Bj;
  return std::nullopt;
}

struct Prefix {
  Market market;
  std::string_view prefix;
  InstrumentKind kind;
  std::uint32_t scale;
};

// The longer prefixes first, where a shorter one would take the same codes.
constexpr Prefix kPrefixes[] = {
    {Market::Sh, "000", InstrumentKind::Index, kHundredths},
    {Market::Sh, "88", InstrumentKind::Index, kHundredths},
    {Market::Sh, "99", InstrumentKind::Index, kHundredths},
    {Market::Sh, "60", InstrumentKind::AShare, kHundredths},
    {Market::Sh, "68", InstrumentKind::AShare, kHundredths},
    {Market::Sh, "50", InstrumentKind::Fund, kThousandths},
    {Market::Sh, "51", InstrumentKind::Fund, kThousandths},
    {Market::Sh, "52", InstrumentKind::Fund, kThousandths},
    {Market::Sh, "53", InstrumentKind::Fund, kThousandths},
    {Market::Sh, "54", InstrumentKind::Fund, kThousandths},
    {Market::Sh, "55", InstrumentKind::Fund, kThousandths},
    {Market::Sh, "56", InstrumentKind::Fund, kThousandths},
    {Market::Sh, "57", InstrumentKind::Fund, kThousandths},
    {Market::Sh, "58", InstrumentKind::Fund, kThousandths},
    {Market::Sh, "01", InstrumentKind::Bond, kThousandths},
    {Market::Sh, "02", InstrumentKind::Bond, kThousandths},
    {Market::Sh, "10", InstrumentKind::Bond, kThousandths},
    {Market::Sh, "11", InstrumentKind::Bond, kThousandths},
    {Market::Sh, "12", InstrumentKind::Bond, kThousandths},
    {Market::Sh, "13", InstrumentKind::Bond, kThousandths},
    {Market::Sh, "14", InstrumentKind::Bond, kThousandths},
    {Market::Sh, "20", InstrumentKind::Bond, kThousandths},
    {Market::Sh, "90", InstrumentKind::BShare, kThousandths},
    {Market::Sz, "399", InstrumentKind::Index, kHundredths},
    {Market::Sz, "00", InstrumentKind::AShare, kHundredths},
    {Market::Sz, "30", InstrumentKind::AShare, kHundredths},
    {Market::Sz, "20", InstrumentKind::BShare, kHundredths},
    {Market::Sz, "15", InstrumentKind::Fund, kThousandths},
    {Market::Sz, "16", InstrumentKind::Fund, kThousandths},
    {Market::Sz, "18", InstrumentKind::Fund, kThousandths},
    {Market::Sz, "10", InstrumentKind::Bond, kThousandths},
    {Market::Sz, "11", InstrumentKind::Bond, kThousandths},
    {Market::Sz, "12", InstrumentKind::Bond, kThousandths},
    {Market::Sz, "13", InstrumentKind::Bond, kThousandths},
    {Market::Bj, "899", InstrumentKind::Index, kHundredths},
    {Market::Bj, "43", InstrumentKind::AShare, kHundredths},
    {Market::Bj, "83", InstrumentKind::AShare, kHundredths},
    {Market::Bj, "87", InstrumentKind::AShare, kHundredths},
    {Market::Bj, "92", InstrumentKind::AShare, kHundredths},
};

std::uint32_t uint32At(const char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);  // little-endian, as every build's processor is
  return v;
}

// Whether the average price r (yuan per unit of volume) lies in the day's range read at the
// scale, the volume counted in shares or in lots of 100. A margin of 1% takes up the rounding of
// the float turnover; the next wrong reading lies ten times away.
bool fits(double average, std::uint32_t low, std::uint32_t high, double scale) {
  for (const double perUnit : {1.0, 100.0}) {
    const double least = low * perUnit / scale * 0.99, most = high * perUnit / scale * 1.01;
    if (average >= least && average <= most) return true;
  }
  return false;
}

bool conclusive(std::size_t only, std::size_t days) {
  return only >= kMinFittingDays && only * 4 >= days * 3;
}

}  // namespace

std::string_view marketName(Market market) noexcept {
  switch (market) {
    case Market::Sh: return "sh";
    case Market::Sz: return "sz";
    case Market::Bj: return "bj";
    case Market::Other: break;
  }
  return "other";
}

std::string_view kindName(InstrumentKind kind) noexcept {
  return kKindNames[static_cast<std::size_t>(kind)];
}

std::optional<InstrumentKind> parseKindName(std::string_view name) noexcept {
  for (std::size_t k = 0; k < std::size(kKindNames); ++k) {
    if (equalsIgnoringCase(name, kKindNames[k])) return static_cast<InstrumentKind>(k);
  }
  return std::nullopt;
}

std::optional<KindSet> parseKindList(std::string_view list, std::string& error) {
  KindSet kinds;
  for (;;) {
    const std::size_t comma = list.find(',');
    const std::string_view word = trimmed(list.substr(0, comma));
    if (word.empty()) {
      error = "an empty kind in the list; kinds: a-share, b-share, index, fund, bond, other";
      return std::nullopt;
    }
    const auto kind = parseKindName(word);
    if (!kind) {
      error = fmt::format("\"{}\" is not a kind; kinds: a-share, b-share, index, fund, bond, other",
                          word);
      return std::nullopt;
    }
    kinds.insert(*kind);
    if (comma == std::string_view::npos) return kinds;
    list.remove_prefix(comma + 1);
  }
}

std::optional<Symbol> parseSymbol(std::string_view fileName) {
  std::string_view name = baseName(fileName);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const std::string_view extension = name.substr(dot + 1);
  const bool binary = equalsIgnoringCase(extension, "day") ||
                      equalsIgnoringCase(extension, "lc1") || equalsIgnoringCase(extension, "lc5");
  if (!binary && !equalsIgnoringCase(extension, "txt")) return std::nullopt;
  name = name.substr(0, dot);
  Symbol symbol;
  const std::size_t hash = name.find('#');
  std::string_view code;
  if (hash != std::string_view::npos) {
    const std::string_view before = name.substr(0, hash);
    code = name.substr(hash + 1);
    if (const auto market = marketOfLetters(before)) {
      symbol.market = *market;
    } else if (isDigits(before, before.size()) && !before.empty()) {
      symbol.exchange = std::string(before);
    } else {
      return std::nullopt;
    }
  } else {
    // sh600000.day; an export always has the '#'.
    if (!binary || name.size() < 2) return std::nullopt;
    const auto market = marketOfLetters(name.substr(0, 2));
    if (!market) return std::nullopt;
    symbol.market = *market;
    code = name.substr(2);
  }
  if (symbol.market == Market::Other ? !isAlphanumeric(code) : !isDigits(code, 6)) {
    return std::nullopt;
  }
  symbol.code = std::string(code);
  return symbol;
}

std::string symbolText(const Symbol& symbol) {
  if (symbol.market == Market::Other) return symbol.exchange + '#' + symbol.code;
  return std::string(marketName(symbol.market)) + symbol.code;
}

std::optional<TableKind> kindFromTable(Market market, std::string_view code) noexcept {
  if (!isDigits(code, 6)) return std::nullopt;
  for (const Prefix& p : kPrefixes) {
    if (p.market == market && code.substr(0, p.prefix.size()) == p.prefix) {
      return TableKind{p.kind, p.scale};
    }
  }
  return std::nullopt;
}

UnitCheck checkPriceUnit(std::string_view dayRecords) noexcept {
  UnitCheck check;
  for (std::size_t r = dayRecords.size() / kDayRecordSize; r > 0 && check.days < kCheckDays; --r) {
    const char* p = dayRecords.data() + (r - 1) * kDayRecordSize;
    const std::uint32_t volume = uint32At(p + 24);
    if (volume == 0) continue;
    ++check.days;
    float turnover;
    std::memcpy(&turnover, p + 20, sizeof turnover);
    const double average = static_cast<double>(turnover) / volume;
    const std::uint32_t high = uint32At(p + 8), low = uint32At(p + 12);
    if (!std::isfinite(average) || average <= 0 || low > high) continue;
    const bool at100 = fits(average, low, high, kHundredths);
    const bool at1000 = fits(average, low, high, kThousandths);
    if (at100 && !at1000) ++check.only100;
    if (at1000 && !at100) ++check.only1000;
  }
  if (conclusive(check.only100, check.days)) check.verdict = kHundredths;
  if (conclusive(check.only1000, check.days)) check.verdict = kThousandths;
  return check;
}

PriceUnit decidePriceUnit(Market market, std::string_view code, std::string_view dayRecords) {
  PriceUnit unit;
  unit.table = kindFromTable(market, code);
  if (unit.table && unit.table->kind == InstrumentKind::Index) {
    unit.kind = unit.table->kind;
    unit.scale = unit.table->scale;
    unit.decision = UnitDecision::Table;
    return unit;
  }
  unit.check = checkPriceUnit(dayRecords);
  if (unit.table) {
    unit.kind = unit.table->kind;
    const bool overruled = unit.check.verdict != 0 && unit.check.verdict != unit.table->scale;
    unit.scale = overruled ? unit.check.verdict : unit.table->scale;
    unit.decision = overruled ? UnitDecision::CheckOverTable : UnitDecision::Table;
  } else if (unit.check.verdict != 0) {
    unit.scale = unit.check.verdict;
    unit.decision = UnitDecision::Check;
  }
  return unit;
}

std::string priceUnitNote(std::string_view name, std::string_view code, const PriceUnit& unit) {
  const UnitCheck& c = unit.check;
  switch (unit.decision) {
    case UnitDecision::CheckOverTable:
      return fmt::format(
          "{}: prices read in 1/{} yuan, not in the 1/{} yuan of {} codes: of the last {} days with "
          "volume, {} have their average price within the day's range at 1/{} yuan alone",
          name, unit.scale, unit.table->scale, kindName(unit.table->kind), c.days,
          unit.scale == kHundredths ? c.only100 : c.only1000, unit.scale);
    case UnitDecision::Undecided: {
      const std::string why =
          code.empty() ? std::string("the file's name gives no market and code")
                       : fmt::format("code {} is not in the table of code prefixes", code);
      if (c.days == 0) {
        return fmt::format(
            "{}: cannot tell the price unit: {}, and no day has volume to check the prices against",
            name, why);
      }
      return fmt::format(
          "{}: cannot tell the price unit: {}, and of the last {} days with volume {} fit 1/100 "
          "yuan alone and {} fit 1/1000 yuan alone (to tell, at least {} and three quarters of "
          "the days must fit one)",
          name, why, c.days, c.only100, c.only1000, kMinFittingDays);
    }
    case UnitDecision::Table:
    case UnitDecision::Check: break;
  }
  return {};
}

}  // namespace tarvok::tools
