#include "support/reference_band_stop.h"

#include <cmath>

namespace tarvok::reference {
namespace {

// Results leave through a reference, never as a returned float: on 32-bit x86 that would pass
// through the x87 stack and quiet a signalling NaN.
void maxFold(const std::vector<float>& x, int s, int e, float& g) {
  g = x[s];
  for (int k = s + 1; k <= e; ++k) {
    if (x[k] > g) g = x[k];
  }
}

void minFold(const std::vector<float>& x, int s, int e, float& g) {
  g = x[s];
  for (int k = s + 1; k <= e; ++k) {
    if (x[k] < g) g = x[k];
  }
}

template <class Condition>
int barsSince(int j, Condition holds) {
  for (int k = j; k >= 0; --k) {
    if (holds(k)) return j - k;
  }
  return 0;
}

}  // namespace

BandStopSeries bandStop(int n, const float* high, const float* low, const float* close, int period,
                        float multiplier) {
  const int P = period;
  const float M = multiplier;
  BandStopSeries r;

  // 1. True range.
  r.tr.resize(n);
  for (int j = 0; j < n; ++j) {
    const float pc = j >= 1 ? close[j - 1] : 0.0f;
    const float candidates[3] = {high[j] - low[j], std::fabs(pc - high[j]), std::fabs(pc - low[j])};
    float m = 0.0f;
    for (float d : candidates) {
      if (!(m > d)) m = d;
    }
    r.tr[j] = m;
  }

  // 2. Average range over a carried running sum.
  r.atr.resize(n);
  float S = 0.0f;
  for (int j = 0; j < n; ++j) {
    S = S + r.tr[j];
    if (j >= P) S = S - r.tr[j - P];
    const int D = j < P - 1 ? j + 1 : P;
    r.atr[j] = S / static_cast<float>(D);
  }

  // 3. Bands.
  r.up.resize(n);
  r.dn.resize(n);
  for (int j = 0; j < n; ++j) {
    const float mid = (high[j] + low[j]) * 0.5f;
    const float w = M * r.atr[j];
    r.up[j] = w + mid;
    r.dn[j] = mid - w;
  }

  // 4. Band high and low.
  r.hu.resize(n);
  r.ld.resize(n);
  for (int j = 0; j < n; ++j) {
    const int s = j >= P - 1 ? j - P + 1 : 0;
    maxFold(r.up, s, j, r.hu[j]);
    minFold(r.dn, s, j, r.ld[j]);
  }

  // 5. Trend state.
  r.st.resize(n);
  for (int j = 0; j < n; ++j) {
    const int t = barsSince(j, [&](int k) { return r.up[k] >= r.hu[k]; });
    const int u = barsSince(j, [&](int k) { return r.ld[k] >= r.dn[k]; });
    r.st[j] = t - u;
  }

  // 6. Stop candidates.
  r.fs.resize(n);
  r.rs.resize(n);
  for (int j = 0; j < n; ++j) {
    const int a = barsSince(j, [&](int k) { return r.st[k] < 0; });
    const int b = barsSince(j, [&](int k) { return r.st[k] > 0; });
    minFold(r.up, a > 0 ? j - a + 1 : 0, j, r.fs[j]);
    maxFold(r.dn, b > 0 ? j - b + 1 : 0, j, r.rs[j]);
  }

  // 7. Stop line.
  r.stop.resize(n);
  for (int j = 0; j < n; ++j) {
    if (r.st[j] > 0) {
      r.stop[j] = r.fs[j];
    } else if (r.st[j] < 0) {
      r.stop[j] = r.rs[j];
    } else {
      r.stop[j] = close[j];
    }
  }
  return r;
}

}  // namespace tarvok::reference
