// Plug-ins that fail what the terminal expects, for tarvok-run's error paths:
// FAKE_PLUGIN_REFUSING answers 0 to registration; FAKE_PLUGIN_INCOMPLETE hands out a table
// without function 11; FAKE_PLUGIN_EMPTY exports no registration at all; FAKE_PLUGIN_ECHOING
// has a function 11 that returns the close series as the state, whatever it holds.

#include "indicator/calc_func.h"
#include "indicator/cycle_params.h"
#include "indicator/output_functions.h"

#if defined(FAKE_PLUGIN_EMPTY)
extern "C" int NotRegisterTdxFunc() { return 0; }
#else
namespace {
#if defined(FAKE_PLUGIN_ECHOING)
void TARVOK_CDECL echoClose(int n, float* out, float*, float*, float* close) {
  for (int j = 0; j < n; ++j) out[j] = close[j];
}
const tagPluginTCalcFuncInfo kTable[] = {
    {9, &CalcZhouqiWW}, {10, &SetZhouqiParams}, {11, &echoClose}, {0, nullptr}};
#else
const tagPluginTCalcFuncInfo kTable[] = {{9, &CalcZhouqiWW}, {10, &CalcZhouqiWW}, {0, nullptr}};
#endif
}  // namespace

extern "C" int RegisterTdxFunc(tagPluginTCalcFuncInfo** slot) noexcept {
#if defined(FAKE_PLUGIN_REFUSING)
  (void)slot;
  return 0;
#else
  *slot = const_cast<tagPluginTCalcFuncInfo*>(kTable);
  return 1;
#endif
}
#endif
