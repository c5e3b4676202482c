#pragma once
// Helpers of the plug-in tests: a scratch terminal folder, the environment, the clock, files.

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "plugin/host_platform.h"
#include "plugin/run_log.h"

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

namespace tarvok::testing {

inline int processId() {
#if defined(_WIN32)
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

// What the first set-up prints on stdout before the folder it made: "目录创建成功: " in UTF-8.
inline const std::string kCreated =
    "\xE7\x9B\xAE\xE5\xBD\x95\xE5\x88\x9B\xE5\xBB\xBA\xE6\x88\x90\xE5\x8A\x9F: ";

// A fresh folder under the system's temporary folder, named for the program and the process.
inline std::filesystem::path scratchFolder(const std::string& name) {
  const auto path =
      std::filesystem::temp_directory_path() / (name + "-" + std::to_string(processId()));
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
  return path;
}

// Makes the folder `dir` of a fresh scratch folder the program directory, as though `exe` ran
// from it, and returns its path. Must come before anything asks for getExeDir().
inline std::string useScratchProgramDir(const std::string& scratchName, const std::string& dir,
                                        const std::string& exe) {
  const auto scratch = scratchFolder(scratchName);
  std::filesystem::create_directories(scratch / dir);
  const std::string exeDir = scratch.string() + "/" + dir;
  tarvok::runlog::testing::setModulePath(exeDir + tarvok::platform::kDirSeparator + exe);
  return exeDir;
}

// Sets a variable; null removes it. (The Windows runtime cannot hold an empty value.)
inline void setEnv(const char* name, const char* value) {
#if defined(_WIN32)
  _putenv_s(name, value != nullptr ? value : "");
#else
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
#endif
}

inline void setTimeZone(const char* tz) {
  setEnv("TZ", tz);
#if defined(_WIN32)
  _tzset();
#else
  tzset();
#endif
}

// The path the plug-in forms for a folder below the program directory, as the file system sees it.
inline std::filesystem::path belowExeDir(const std::string& relative) {
  return tarvok::platform::fileSystemPath(getExeDir() + tarvok::platform::kDirSeparator + relative);
}

// The same folder reached the way the log file name reaches it, with a forward slash.
inline std::filesystem::path belowExeDirSlash(const std::string& relative) {
  return tarvok::platform::fileSystemPath(getExeDir() + "/" + relative);
}

// The terminal's T0002/dlls below the program directory.
inline void makeTerminalTree() { std::filesystem::create_directories(belowExeDir("T0002/dlls")); }

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace tarvok::testing
