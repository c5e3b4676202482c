#include "marketdata/day_series.h"

#include <climits>
#include <cstring>

#include <emmintrin.h>

#include "marketdata/bar_date.h"
#include "marketdata/day_file.h"

namespace tarvok::tools {

DayFault decodeDaySeries(std::string_view bytes, DaySeries& series, std::uint32_t scale) {
  // The checks in parseDayFile's order: each whole record, then whether a part of one is left.
  const std::size_t n = bytes.size() / kDayRecordSize;
  if (n > static_cast<std::size_t>(INT_MAX)) return DayFault::TooLong;  // the engine counts in int
  // Every element is written below, so the series are not cleared: from file to file of about
  // the same length, resizing costs nothing.
  series.high.resize(n);
  series.low.resize(n);
  series.close.resize(n);
  float* high = series.high.data();
  float* low = series.low.data();
  float* close = series.close.data();

  // A record's date is checked against the month of the one before: a date after it and no later
  // than its month's end is a calendar day; only a new month takes the full check.
  std::uint32_t previous = 0;
  std::uint32_t sameMonthUntil = 0;
  const char* const records = bytes.data();
  for (std::size_t r = 0; r < n; ++r) {
    std::uint32_t date;
    std::memcpy(&date, records + r * kDayRecordSize, 4);  // little-endian, as x86 is
    if (date <= previous) return DayFault::BadDate;
    if (date > sameMonthUntil) {
      if (!isCalendarDate(date)) return DayFault::BadDate;
      sameMonthUntil = monthEnd(date);
    }
    previous = date;
  }

  // Below 2^24 units a price and the scale (100 or 1000) are exact floats, and their quotient in
  // single precision is the correctly rounded one, which dayFilePrice also gives; beyond,
  // dayFilePrice it is. Four records at a time: their open, high, low and close turned into a
  // high, a low and a close of four bars, one division for each.
  const __m128 divisor = _mm_set1_ps(static_cast<float>(scale));
  const __m128i notOpen = _mm_set_epi32(-1, -1, -1, 0);
  std::size_t r = 0;
  for (; r + 4 <= n; r += 4) {
    const char* p = records + r * kDayRecordSize + 4;
    const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + kDayRecordSize));
    const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * kDayRecordSize));
    const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * kDayRecordSize));
    const __m128i any =
        _mm_and_si128(_mm_or_si128(_mm_or_si128(r0, r1), _mm_or_si128(r2, r3)), notOpen);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_srli_epi32(any, 24), _mm_setzero_si128())) !=
        0xFFFF) {
      break;  // a price of 2^24 units (167,772.16 yuan at 1/100) or more: the rest one by one
    }
    const __m128i ohLow = _mm_unpacklo_epi32(r0, r1);   // o0 o1 h0 h1
    const __m128i ohHigh = _mm_unpacklo_epi32(r2, r3);  // o2 o3 h2 h3
    const __m128i lcLow = _mm_unpackhi_epi32(r0, r1);   // l0 l1 c0 c1
    const __m128i lcHigh = _mm_unpackhi_epi32(r2, r3);  // l2 l3 c2 c3
    _mm_storeu_ps(high + r,
                  _mm_div_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi64(ohLow, ohHigh)), divisor));
    _mm_storeu_ps(low + r, _mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi64(lcLow, lcHigh)), divisor));
    _mm_storeu_ps(close + r,
                  _mm_div_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi64(lcLow, lcHigh)), divisor));
  }
  for (; r < n; ++r) {
    std::uint32_t units[3];
    std::memcpy(units, records + r * kDayRecordSize + 8, sizeof units);
    high[r] = dayFilePrice(units[0], scale);
    low[r] = dayFilePrice(units[1], scale);
    close[r] = dayFilePrice(units[2], scale);
  }
  if (bytes.empty()) return DayFault::Empty;
  if (bytes.size() % kDayRecordSize != 0) return DayFault::CutShort;
  series.lastDate = previous;
  return DayFault::None;
}

}  // namespace tarvok::tools
