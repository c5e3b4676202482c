// Linux side of the platform seam, for the native build.

#include "plugin/host_platform.h"

#include <unistd.h>

#include <cerrno>

namespace tarvok::platform {

namespace {

std::string executablePath() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return {};
  return std::string(buffer, static_cast<std::size_t>(n));
}

}  // namespace

unsigned long moduleFileNameA(char* buffer, unsigned long size) {
  const std::string path = executablePath();
  return path.empty() ? 0 : storeModulePath(path, buffer, size);
}

// Bytes widened one to one: enough for the ASCII paths of the native build.
unsigned long moduleFileNameW(wchar_t* buffer, unsigned long size) {
  const std::string path = executablePath();
  return path.empty() ? 0 : storeModulePath(path, buffer, size);
}

std::filesystem::path fileSystemPath(const std::string& ansiPath) {
  return std::filesystem::path(ansiPath);
}

void writeStandardOutputRaw(const char* data, std::size_t size) noexcept {
  while (size > 0) {
    const ssize_t n = ::write(1, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

const char* nullDevice() { return "/dev/null"; }

bool localTime(std::time_t t, std::tm& out) { return localtime_r(&t, &out) != nullptr; }

}  // namespace tarvok::platform
