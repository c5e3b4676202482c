#include "text/gbk.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "gbk_table.inc"
#include "text/markup_text.h"

namespace tarvok::tools {

namespace {

using gbk_table::kGbkPairs;
using gbk_table::kTrails;

constexpr unsigned char kFirstLead = 0x81, kLastLead = 0xFE, kFirstTrail = 0x40;

void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | cp >> 6));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {  // the table is within the BMP
    out.push_back(static_cast<char>(0xE0 | cp >> 12));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// The code point of a pair, or 0.
std::uint16_t pairCodePoint(unsigned char lead, unsigned char trail) {
  if (lead < kFirstLead || lead > kLastLead || trail < kFirstTrail || trail == 0xFF) return 0;
  return kGbkPairs[(lead - kFirstLead) * kTrails + (trail - kFirstTrail)];
}

// Every pair by its code point, for the way back; made once.
const std::vector<std::pair<std::uint16_t, std::uint16_t>>& pairsByCodePoint() {
  static const auto pairs = [] {
    std::vector<std::pair<std::uint16_t, std::uint16_t>> byCodePoint;
    byCodePoint.reserve(gbk_table::kPairCount);
    for (int i = 0; i < gbk_table::kLeads * kTrails; ++i) {
      if (kGbkPairs[i] == 0) continue;
      const int lead = kFirstLead + i / kTrails, trail = kFirstTrail + i % kTrails;
      byCodePoint.emplace_back(kGbkPairs[i], static_cast<std::uint16_t>(lead << 8 | trail));
    }
    std::sort(byCodePoint.begin(), byCodePoint.end());
    return byCodePoint;
  }();
  return pairs;
}

}  // namespace

bool gbkToUtf8(std::string_view gbk, std::string& out, std::size_t& errorAt) {
  const auto* p = reinterpret_cast<const unsigned char*>(gbk.data());
  const std::size_t n = gbk.size();
  std::size_t i = 0;
  while (i < n) {
    // Runs of ASCII, most of the terminal's text, at once.
    std::size_t ascii = i;
    while (ascii < n && p[ascii] < 0x80) ++ascii;
    out.append(gbk.data() + i, ascii - i);
    i = ascii;
    if (i == n) break;
    const std::uint16_t cp = i + 1 < n ? pairCodePoint(p[i], p[i + 1]) : 0;
    if (cp == 0) {
      errorAt = i;
      return false;
    }
    appendUtf8(out, cp);
    i += 2;
  }
  return true;
}

std::optional<std::string> gbkToUtf8(std::string_view gbk) {
  std::string out;
  std::size_t errorAt = 0;
  if (!gbkToUtf8(gbk, out, errorAt)) return std::nullopt;
  return out;
}

bool utf8ToGbk(std::string_view utf8, std::string& out, std::size_t& errorAt) {
  const auto& pairs = pairsByCodePoint();
  for (std::size_t i = 0; i < utf8.size();) {
    std::uint32_t cp = 0;
    const std::size_t length = utf8Length(utf8, i, cp);
    if (length == 0) {
      errorAt = i;
      return false;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else {
      const auto found =
          cp > 0xFFFF
              ? pairs.end()
              : std::lower_bound(pairs.begin(), pairs.end(),
                                 std::make_pair(static_cast<std::uint16_t>(cp), std::uint16_t{0}));
      if (found == pairs.end() || found->first != cp) {
        errorAt = i;
        return false;
      }
      out.push_back(static_cast<char>(found->second >> 8));
      out.push_back(static_cast<char>(found->second & 0xFF));
    }
    i += length;
  }
  return true;
}

bool isValidUtf8(std::string_view text) noexcept {
  for (std::size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    std::uint32_t cp = 0;
    const std::size_t length = utf8Length(text, i, cp);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

}  // namespace tarvok::tools
