#pragma once
// What an instrument is, told by its market and code: its kind, and the unit of the integer
// prices in its daily files.
//
// The price unit. The daily files hold prices in 1/100 yuan for A-shares, indices and Shenzhen's
// B-shares, in 1/1000 yuan for funds, bonds (repos and convertibles among them) and Shanghai's
// B-shares. A table of code prefixes knows the usual codes (kindFromTable); new prefixes appear,
// and a code may be listed under another kind than its prefix says. So the file is asked too: a
// day's turnover (float yuan) over its volume is the day's average price, which lies between the
// day's low and high when the prices are read at the right scale and the volume is counted in
// shares or in lots of 100 (within 1%, for the rounding of the float turnover). The check takes
// the last kCheckDays days with volume above zero; it is conclusive for a scale when at least
// kMinFittingDays of them, and at least three quarters, fit that scale and not the other (the two
// readings lie ten times apart, so a day fits both only when its high is about ten times its
// low). Then:
//   - an index (a code the table names so) goes by the table alone: its volume is not in shares;
//   - any other code the table knows goes by the table, unless the check is conclusive for the
//     other scale: then the check wins, and the result says so (UnitDecision::CheckOverTable);
//   - a code the table does not know goes by the check when it is conclusive (kind Other);
//   - otherwise the file is refused (UnitDecision::Undecided): cannot tell the price unit.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvok::tools {

enum class Market { Sh, Sz, Bj, Other };
enum class InstrumentKind { AShare, BShare, Index, Fund, Bond, Other };

// "sh", "sz", "bj", "other".
std::string_view marketName(Market market) noexcept;

// "a-share", "b-share", "index", "fund", "bond", "other".
std::string_view kindName(InstrumentKind kind) noexcept;

// The kind a name gives, in any case; no value for another word.
std::optional<InstrumentKind> parseKindName(std::string_view name) noexcept;

// A set of kinds, as an option picks them.
class KindSet {
 public:
  static KindSet all() noexcept { return KindSet(0x3F); }
  KindSet() = default;
  void insert(InstrumentKind kind) noexcept { bits_ |= bit(kind); }
  bool contains(InstrumentKind kind) const noexcept { return (bits_ & bit(kind)) != 0; }
  bool empty() const noexcept { return bits_ == 0; }
  bool operator==(const KindSet& other) const noexcept { return bits_ == other.bits_; }

 private:
  explicit KindSet(unsigned bits) : bits_(bits) {}
  static unsigned bit(InstrumentKind kind) { return 1u << static_cast<unsigned>(kind); }
  unsigned bits_ = 0;
};

// The kinds of a comma-separated list of names ("a-share,fund", blanks around names allowed); no
// value when a word is not a kind's name or the list or a word is empty, with error set to a text
// that names the word.
std::optional<KindSet> parseKindList(std::string_view list, std::string& error);

// An instrument as a file name gives it.
struct Symbol {
  Market market = Market::Other;
  std::string code;      // "600000", "IF2412"
  std::string exchange;  // for Market::Other, the number before '#' ("47"); else empty
};

// The symbol of a daily or minute file (sh600000.day, sz000001.lc1, bj830799.lc5, 47#IF2412.day)
// or of a text export (SH#600000.txt, 47#IF2412.txt), with or without the folders before it; the
// markets' letters and the extension in any case. Codes of sh, sz and bj are six digits, other
// markets' are letters and digits. No value for another name.
std::optional<Symbol> parseSymbol(std::string_view fileName);

// "sh600000", or "47#IF2412" for another market.
std::string symbolText(const Symbol& symbol);

// The kind and price scale the table of code prefixes gives.
struct TableKind {
  InstrumentKind kind;
  std::uint32_t scale;  // units of the daily files' prices in a yuan: 100 or 1000
};

// The table: no value for a code it does not know (another market, or a prefix not listed).
std::optional<TableKind> kindFromTable(Market market, std::string_view code) noexcept;

inline constexpr std::size_t kCheckDays = 30;
inline constexpr std::size_t kMinFittingDays = 3;

// What the check found over the last days with volume.
struct UnitCheck {
  std::size_t days = 0;       // days looked at: volume above zero
  std::size_t only100 = 0;    // of them, days whose average price fits 1/100 alone
  std::size_t only1000 = 0;   // days it fits 1/1000 alone
  std::uint32_t verdict = 0;  // the scale it is conclusive for, or 0
};

// The average price checked against the day's range at both scales, over the last kCheckDays
// days of volume above zero among the file's whole 32-byte records.
UnitCheck checkPriceUnit(std::string_view dayRecords) noexcept;

enum class UnitDecision {
  Table,           // the table; the check agreed or could not tell (an index: not asked)
  Check,           // a code the table does not know, by the check
  CheckOverTable,  // the check, conclusive against the table
  Undecided,       // neither: the file is refused
};

struct PriceUnit {
  InstrumentKind kind = InstrumentKind::Other;
  std::uint32_t scale = 0;  // 100 or 1000; 0 when undecided
  UnitDecision decision = UnitDecision::Undecided;
  std::optional<TableKind> table;  // what the table said
  UnitCheck check;
};

// Kind and price scale of a daily file's instrument, by the rule above.
PriceUnit decidePriceUnit(Market market, std::string_view code, std::string_view dayRecords);

// What to tell of a decision: for Undecided the reason the file is refused, for CheckOverTable
// that the check overruled the table, both beginning with "<name>: "; empty otherwise.
std::string priceUnitNote(std::string_view name, std::string_view code, const PriceUnit& unit);

}  // namespace tarvok::tools
