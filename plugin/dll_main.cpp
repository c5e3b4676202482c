// Entry point of tarvok.dll.
//
// On unload the run log is shut down from here rather than from a static destructor, because only
// DllMain learns whether the process is ending (lpReserved not null: the other threads have been
// stopped, or are being stopped, so nothing may be waited for) or the host called FreeLibrary and
// goes on (the polling timer is stopped and waited for, every queued record is written and the
// file is closed).

#include <windows.h>

#include "plugin/run_log.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH) shutdownRunLog(reserved != nullptr);
  return TRUE;
}
