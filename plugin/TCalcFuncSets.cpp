#include "plugin/TCalcFuncSets.h"

#include <cstdio>
#include <exception>

#include "asynclog/asynclog.h"
#include "indicator/cycle_params.h"
#include "indicator/output_functions.h"
#include "plugin/run_log.h"

const tagPluginTCalcFuncInfo g_CalcFuncSets[kCalcFuncSetsSize] = {
    {9, &CalcZhouqiWW},
    {10, &SetZhouqiParams},
    {11, &CalcZhouqiW},
    {0, nullptr},
};

namespace {

// A failed set-up must not keep the table from the terminal: it is told on stderr, in words for
// whoever reads it, and the log goes on as far as it can. The next registration tries the whole
// set-up again. The usual cause is a program without the terminal's T0002/dlls folder beside it.
void continueAfterFailedSetup(const char* reason) noexcept {
  std::fprintf(stderr,
               "tarvok: no run log file this time (the indicator works all the same, its values "
               "are not affected). The log is kept in T0002/dlls/logs in the folder of the "
               "program that loaded the plug-in: that folder needs a T0002/dlls folder, as the "
               "terminal's has; create it there to have a log. The reason: %s\n",
               reason);
  std::fflush(stderr);
  continueLogWithoutNewFile();
}

}  // namespace

extern "C" int RegisterTdxFunc(tagPluginTCalcFuncInfo** slot) noexcept {
  try {
    InitLog();
  } catch (const std::exception& e) {
    continueAfterFailedSetup(e.what());
  } catch (...) {
    continueAfterFailedSetup("unknown error");
  }
  try {
    // GBK bytes of "[RegisterTdxFunc]DLL注册成功！", the terminal's encoding.
    ASYNCLOG(asynclog::INF, "[RegisterTdxFunc]DLL\xD7\xA2\xB2\xE1\xB3\xC9\xB9\xA6\xA3\xA1");
  } catch (...) {
    // A record that cannot be queued is lost; registration goes on.
  }
  if (slot == nullptr || *slot != nullptr) return 0;
  *slot = const_cast<tagPluginTCalcFuncInfo*>(&g_CalcFuncSets[0]);
  return 1;
}
