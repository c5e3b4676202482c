// The run log's utilities: program directory, log folder, date, header choice, file name, echo.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "plugin/host_platform.h"
#include "plugin/run_log.h"
#include "support/plugin_test_support.h"

namespace {

namespace fs = std::filesystem;
using tarvok::runlog::exeDirFromModulePath;
using namespace tarvok::testing;

// The program directory of this test: a scratch folder, set before anything asks for it.
const std::string kExeDir = useScratchProgramDir("tarvok-run-log-test", "term", "tarvok-host.exe");
constexpr char kSep = tarvok::platform::kDirSeparator;

// What GetModuleFileNameA leaves for a path, then the directory taken from it, by the Windows
// rule unless another separator is given.
std::string exeDirOfPath(const std::string& path, char separator = '\\') {
  char buffer[260];
  const unsigned long length = tarvok::platform::storeModulePath(path, buffer, 260);
  return exeDirFromModulePath(buffer, length, separator);
}

std::wstring exeDirOfPathW(const std::string& path, char separator = '\\') {
  wchar_t buffer[260] = {};
  const unsigned long length = tarvok::platform::storeModulePath(path, buffer, 260);
  return exeDirFromModulePath(buffer, length, separator);
}

TEST(ExeDir, TextBeforeTheLastBackslash) {
  EXPECT_EQ(exeDirOfPath("D:\\Terminal\\app.exe"), "D:\\Terminal");
  EXPECT_EQ(exeDirOfPath("D:\\new_tdx\\T0002\\tdxw.exe"), "D:\\new_tdx\\T0002");
  EXPECT_EQ(exeDirOfPath("C:\\app.exe"), "C:");
  EXPECT_EQ(exeDirOfPath("\\app.exe"), "");
  EXPECT_EQ(exeDirOfPath("D:\\{a}\\b}{\\x.exe"), "D:\\{a}\\b}{");
  EXPECT_EQ(exeDirOfPathW("D:\\Terminal\\app.exe"), L"D:\\Terminal");
  EXPECT_EQ(exeDirOfPathW("C:\\app.exe"), L"C:");
}

TEST(ExeDir, ForwardSlashesAreNoSeparators) {
  EXPECT_EQ(exeDirOfPath("D:/Terminal/app.exe"), ".");
  EXPECT_EQ(exeDirOfPath("/usr/bin/app"), ".");
  EXPECT_EQ(exeDirOfPath("D:\\a/b\\c/app.exe"), "D:\\a/b");
  EXPECT_EQ(exeDirOfPathW("D:/Terminal/app.exe"), L".");
}

// Natively the slash is the separator: the executable's real folder, a backslash is part of a name.
TEST(ExeDir, WhereTheSlashSeparatesItCutsThere) {
  EXPECT_EQ(exeDirOfPath("/opt/tdx/tarvok-run", '/'), "/opt/tdx");
  EXPECT_EQ(exeDirOfPath("/tarvok-run", '/'), "");
  EXPECT_EQ(exeDirOfPath("/a\\b/c\\d", '/'), "/a\\b");
  EXPECT_EQ(exeDirOfPath("tarvok-run", '/'), ".");
  EXPECT_EQ(exeDirOfPathW("/opt/tdx/tarvok-run", '/'), L"/opt/tdx");
#ifndef _WIN32
  EXPECT_EQ(tarvok::platform::kDirSeparator, '/');
#endif
}

TEST(ExeDir, NoBackslashOrNoPathGivesDot) {
  EXPECT_EQ(exeDirOfPath("app.exe"), ".");
  EXPECT_EQ(exeDirOfPath(""), ".");
  EXPECT_EQ(exeDirFromModulePath(static_cast<const char*>("D:\\x\\app.exe"), 0, '\\'), ".");
  EXPECT_EQ(exeDirFromModulePath(static_cast<const wchar_t*>(L"D:\\x\\app.exe"), 0, '\\'), L".");
}

TEST(ExeDir, PathOf259CharactersIsUsedAnd260IsNot) {
  const std::string dir = "C:\\" + std::string(250, 'd');
  const std::string path259 = dir + "\\a.exe";
  ASSERT_EQ(path259.size(), 259u);
  EXPECT_EQ(exeDirOfPath(path259), dir);
  EXPECT_EQ(exeDirOfPathW(path259), std::wstring(dir.begin(), dir.end()));
  const std::string path260 = dir + "\\ab.exe";
  EXPECT_EQ(exeDirOfPath(path260), ".");
  EXPECT_EQ(exeDirOfPathW(path260), L".");
  EXPECT_EQ(exeDirOfPath(path260 + "\\more.exe"), ".");
  // The call's own answer decides, not the text in the buffer.
  EXPECT_EQ(exeDirFromModulePath(path260.c_str(), 260, '\\'), ".");
}

TEST(ExeDir, ComputedOnceAndKept) {
  EXPECT_EQ(getExeDir(), kExeDir);
  EXPECT_EQ(getExeDirW(), std::wstring(kExeDir.begin(), kExeDir.end()));
  tarvok::runlog::testing::setModulePath("X:/elsewhere\\other.exe");
  EXPECT_EQ(getExeDir(), kExeDir);
  EXPECT_EQ(getExeDirW(), std::wstring(kExeDir.begin(), kExeDir.end()));
  tarvok::runlog::testing::setModulePath(kExeDir + kSep + "tarvok-host.exe");
}

TEST(CreateDirIfNotExists, CreatesOneFolderAndSaysSoOnce) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(createDirIfNotExists("fresh"));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), kCreated + kExeDir + kSep + "fresh\n");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(fs::is_directory(belowExeDir("fresh")));

  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(createDirIfNotExists("fresh"));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(CreateDirIfNotExists, AnythingStandingThereCounts) {
  writeFile(belowExeDir("taken"), "not a folder");
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(createDirIfNotExists("taken"));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(fs::is_regular_file(belowExeDir("taken")));
}

TEST(CreateDirIfNotExists, CreatesNoMissingParent) {
  ::testing::internal::CaptureStdout();
  try {
    createDirIfNotExists("absent/child");
    ADD_FAILURE() << "no error for a missing parent";
  } catch (const fs::filesystem_error& e) {
    EXPECT_NE(std::string(e.what()).find("create_directory"), std::string::npos) << e.what();
    EXPECT_EQ(e.path1(), belowExeDir("absent/child"));
    EXPECT_EQ(e.code(), std::errc::no_such_file_or_directory);
  }
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_FALSE(fs::exists(belowExeDir("absent")));
}

TEST(CreateDirIfNotExists, KeepsTheBytesOfThePath) {
  // Braces and a space reach the file system and the message as they are.
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(createDirIfNotExists("a {b} }{"));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), kCreated + kExeDir + kSep + "a {b} }{\n");
  EXPECT_TRUE(fs::is_directory(belowExeDir("a {b} }{")));
}

std::time_t fixedNow = 0;
std::time_t fixedClock() { return fixedNow; }

TEST(GetNowDate, LocalDateOfTheClockAsEightDigits) {
  tarvok::runlog::testing::setClock(&fixedClock);
  setTimeZone("UTC0");
  fixedNow = 1783757596;  // 2026-07-11 08:13:16 UTC
  EXPECT_EQ(GetNowDate(), "20260711");
  fixedNow = 1767312000;  // 2026-01-02 00:00:00 UTC: month and day padded
  EXPECT_EQ(GetNowDate(), "20260102");
  fixedNow = 1767311999;  // one second before
  EXPECT_EQ(GetNowDate(), "20260101");
  // Local rules: nine hours east of UTC the evening of the 11th is already the 12th.
  setTimeZone("JST-9");
  fixedNow = 1783800000;  // 2026-07-11 20:00:00 UTC
  EXPECT_EQ(GetNowDate(), "20260712");
  setTimeZone("UTC0");
  EXPECT_EQ(GetNowDate(), "20260711");
  tarvok::runlog::testing::setClock(nullptr);
  EXPECT_EQ(GetNowDate(), tarvok::runlog::localDate(std::time(nullptr)));
  EXPECT_EQ(GetNowDate().size(), 8u);
}

TEST(HeaderPattern, LongOnlyForExactlyTrue) {
  EXPECT_STREQ(tarvok::runlog::headerPatternFor("true"), "[{YmdHMSf}] [{l}] {s:>18} ");
  for (const char* other : {"TRUE", "True", "1", " true", "true ", "", "yes"}) {
    EXPECT_STREQ(tarvok::runlog::headerPatternFor(other), "[{YmdHMSf}] [{l}] ") << other;
  }
  EXPECT_STREQ(tarvok::runlog::headerPatternFor(nullptr), "[{YmdHMSf}] [{l}] ");
}

TEST(LogFileName, DirectoryCopiedLiterally) {
  using tarvok::runlog::logFileName;
  EXPECT_EQ(logFileName("D:\\Terminal", "20260711"),
            "D:\\Terminal/T0002/dlls/logs/app_20260711.log");
  EXPECT_EQ(logFileName("D:\\{}\\{0}\\}{", "20260711"),
            "D:\\{}\\{0}\\}{/T0002/dlls/logs/app_20260711.log");
  EXPECT_EQ(logFileName(".", "19991231"), "./T0002/dlls/logs/app_19991231.log");
}

TEST(LogToConsole, MessageAndEndOfLineOnStdout) {
  const std::string msg = "[2026-07-11 08:13:16.123456] [INF] body \xD7\xA2";
  ::testing::internal::CaptureStdout();
  logToConsole(1, asynclog::INF, "x.cpp:1", 0, "t", msg, 35, 0);
  logToConsole(2, asynclog::ERR, "x.cpp:2", 0, "t", fmt::string_view(msg.data(), 5), 0, 0);
  // Lines around the size written at once.
  const std::string fits(1023, 'a'), over(1024, 'b'), longer(5000, 'c');
  for (const std::string* m : {&fits, &over, &longer}) {
    logToConsole(3, asynclog::INF, "x.cpp:3", 0, "t", *m, 0, 0);
  }
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            msg + "\n" + msg.substr(0, 5) + "\n" + fits + "\n" + over + "\n" + longer + "\n");
}

}  // namespace
