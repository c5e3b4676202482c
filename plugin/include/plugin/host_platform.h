#pragma once
// The few operating-system services the run log needs, behind one seam: the Windows build asks
// Win32, the native build (tests and libtarvok.so) asks Linux.

#include <cstddef>
#include <ctime>
#include <filesystem>
#include <string>

namespace tarvok::platform {

// The path of the process's executable, as GetModuleFileNameA/W(nullptr, buffer, size) gives it:
// the number of characters stored, size when the path was cut short, 0 on failure.
unsigned long moduleFileNameA(char* buffer, unsigned long size);
unsigned long moduleFileNameW(wchar_t* buffer, unsigned long size);

// Stores path as GetModuleFileName would: a path that does not fit is cut to size - 1 characters
// and terminated, and size is returned. Characters are widened byte by byte.
template <class Char>
unsigned long storeModulePath(const std::string& path, Char* buffer, unsigned long size) {
  if (size == 0) return 0;
  const bool fits = path.size() < size;
  const unsigned long length = fits ? static_cast<unsigned long>(path.size()) : size - 1;
  for (unsigned long i = 0; i < length; ++i) {
    buffer[i] = static_cast<Char>(static_cast<unsigned char>(path[i]));
  }
  buffer[length] = Char();
  return fits ? length : size;
}

// What the program directory is cut from the executable's path at, and joined to the folders
// below it with: the backslash on Windows (a slash is no separator there), the slash where it is
// the only one.
#ifdef _WIN32
inline constexpr char kDirSeparator = '\\';
#else
inline constexpr char kDirSeparator = '/';
#endif

// Writes to the process's standard output with the operating system's own call (WriteFile on
// GetStdHandle(STD_OUTPUT_HANDLE), write on descriptor 1): no C runtime stream and no lock of the
// runtime, so it is safe at process end. Failures and a missing standard output are ignored.
void writeStandardOutputRaw(const char* data, std::size_t size) noexcept;

// The end of a line on standard output in its default (text) mode.
#ifdef _WIN32
inline constexpr const char* kStandardOutputNewline = "\r\n";
#else
inline constexpr const char* kStandardOutputNewline = "\n";
#endif

// A narrow path in the process's ANSI code page as the file system takes it.
std::filesystem::path fileSystemPath(const std::string& ansiPath);

// The file that discards what is written to it.
const char* nullDevice();

// Local calendar time under the process's time-zone rules; false when it cannot be had.
bool localTime(std::time_t t, std::tm& out);

}  // namespace tarvok::platform
