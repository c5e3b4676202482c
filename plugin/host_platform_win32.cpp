// Win32 side of the platform seam.

#include "plugin/host_platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <system_error>

namespace tarvok::platform {

unsigned long moduleFileNameA(char* buffer, unsigned long size) {
  return GetModuleFileNameA(nullptr, buffer, size);
}

unsigned long moduleFileNameW(wchar_t* buffer, unsigned long size) {
  return GetModuleFileNameW(nullptr, buffer, size);
}

std::filesystem::path fileSystemPath(const std::string& ansiPath) {
  if (ansiPath.empty()) return {};
  const int length = static_cast<int>(ansiPath.size());
  const int wideLength = MultiByteToWideChar(CP_ACP, 0, ansiPath.data(), length, nullptr, 0);
  if (wideLength <= 0) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "MultiByteToWideChar");
  }
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansiPath.data(), length, &wide[0], wideLength);
  return std::filesystem::path(wide);
}

void writeStandardOutputRaw(const char* data, std::size_t size) noexcept {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;  // no console, nothing redirected
  while (size > 0) {
    const DWORD chunk = size > 0x10000 ? 0x10000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(out, data, chunk, &written, nullptr) || written == 0) return;
    data += written;
    size -= written;
  }
}

const char* nullDevice() { return "NUL"; }

bool localTime(std::time_t t, std::tm& out) { return localtime_s(&out, &t) == 0; }

}  // namespace tarvok::platform
