// Entry point of tarvok.dll.
//
// Static initialisation builds the formula text and the log facility's state. On unload the log is
// shut down from here rather than from a static destructor, because only DllMain learns whether the
// process is ending (lpReserved not null: every other thread is already gone, so nothing may be
// waited for) or the host called FreeLibrary and goes on (the polling timer is stopped and waited
// for, every queued record is written and the file is closed).

#include <windows.h>

#include "asynclog/asynclog.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH) asynclog::shutdown(reserved != nullptr);
  return TRUE;
}
