// Plug-ins that fail what the terminal expects, for tarvok-run's error paths:
// FAKE_PLUGIN_REFUSING answers 0 to registration; FAKE_PLUGIN_INCOMPLETE hands out a table
// without function 11; FAKE_PLUGIN_EMPTY exports no registration at all.

#include "indicator/output_functions.h"
#include "plugin/TCalcFuncSets.h"

#if defined(FAKE_PLUGIN_EMPTY)
extern "C" int NotRegisterTdxFunc() { return 0; }
#else
namespace {
const tagPluginTCalcFuncInfo kTable[] = {{9, &CalcZhouqiWW}, {10, &CalcZhouqiWW}, {0, nullptr}};
}

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
