// Entry point of tarvok.dll. Static initialisation and destruction do all there is to do.

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}
