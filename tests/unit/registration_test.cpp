// Registration as the terminal sees it: the table, the slot, the run log set up on every call,
// and the formula text.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "asynclog/asynclog.h"
#include "indicator/cycle_params.h"
#include "indicator/output_functions.h"
#include "plugin/TCalcFuncSets.h"
#include "plugin/run_log.h"
#include "support/plugin_test_support.h"
#include "tarvok_formula_plain.inc"

namespace {

namespace fs = std::filesystem;
using namespace tarvok::testing;

// The program directory holds braces, which must reach the file name as they are.
const std::string kExeDir =
    useScratchProgramDir("tarvok-registration-test", "te{rm}{}", "tdxw.exe");

const std::string kRegistered = "[RegisterTdxFunc]DLL\xD7\xA2\xB2\xE1\xB3\xC9\xB9\xA6\xA3\xA1";

std::time_t day = 1783757596;  // 2026-07-11 08:13:16 UTC
std::time_t fixedClock() { return day; }

const std::string kLogFile = kExeDir + "/T0002/dlls/logs/app_20260711.log";

#if defined(_WIN32)
const std::string kEol = "\r\n";  // the file is written in text mode
#else
const std::string kEol = "\n";
#endif

// Each case starts from an empty terminal folder with the log stopped and the file closed.
class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    shutdownRunLog(false);
    fs::remove_all(kExeDir);
    fs::create_directories(kExeDir);
    tarvok::runlog::testing::setClock(&fixedClock);
    setTimeZone("UTC0");
    day = 1783757596;
    setEnv("RUN_IN_CLION_DEBUG", nullptr);
  }
  void TearDown() override {
    shutdownRunLog(false);
    setEnv("RUN_IN_CLION_DEBUG", nullptr);
  }

  // Registers with stdout and stderr captured; the polling thread is stopped afterwards, so the
  // echo and the file hold every record.
  int registerCaptured(tagPluginTCalcFuncInfo** slot) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int result = RegisterTdxFunc(slot);
    asynclog::stopPollingThread();
    out_ = ::testing::internal::GetCapturedStdout();
    err_ = ::testing::internal::GetCapturedStderr();
    return result;
  }

  std::string out_, err_;
};

// Whether text matches a shape in which '#' stands for any digit.
bool matchesShape(const std::string& text, const std::string& shape) {
  if (text.size() != shape.size()) return false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const bool ok = shape[i] == '#' ? (text[i] >= '0' && text[i] <= '9') : text[i] == shape[i];
    if (!ok) return false;
  }
  return true;
}

// One registration line: the header (date and time with microseconds, level, and for the long
// header the location right-aligned in 18 characters), then the GBK message.
void expectRegistrationLine(const std::string& line, bool longHeader) {
  const std::string stamp = "[####-##-## ##:##:##.######] [INF] ";
  ASSERT_GE(line.size(), stamp.size() + kRegistered.size()) << line;
  EXPECT_TRUE(matchesShape(line.substr(0, stamp.size()), stamp)) << line;
  const std::string rest =
      line.substr(stamp.size(), line.size() - stamp.size() - kRegistered.size());
  EXPECT_EQ(line.substr(line.size() - kRegistered.size()), kRegistered);
  if (!longHeader) {
    EXPECT_EQ(rest, "") << line;
    return;
  }
  // "TCalcFuncSets.cpp:" and a line number: longer than 18, so not padded.
  const std::string unit = "TCalcFuncSets.cpp:";
  ASSERT_GT(rest.size(), unit.size() + 1) << line;
  EXPECT_EQ(rest.substr(0, unit.size()), unit) << line;
  EXPECT_EQ(rest.back(), ' ') << line;
  const std::string number = rest.substr(unit.size(), rest.size() - unit.size() - 1);
  EXPECT_TRUE(matchesShape(number, std::string(number.size(), '#')) && !number.empty()) << line;
}

// The lines of a text that ends every line with eol.
std::vector<std::string> linesOf(const std::string& text, const std::string& eol) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find(eol, start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "unterminated line: " << text.substr(start);
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + eol.size();
  }
  return lines;
}

// The lines of a log file (the day's file unless named).
std::vector<std::string> logLines(const std::string& file = kLogFile) {
  return linesOf(readFile(tarvok::platform::fileSystemPath(file)), kEol);
}

TEST_F(Registration, EmptySlotGetsTheTableAndTheLogIsSetUp) {
  makeTerminalTree();
  tagPluginTCalcFuncInfo* slot = nullptr;
  EXPECT_EQ(registerCaptured(&slot), 1);
  EXPECT_EQ(slot, &g_CalcFuncSets[0]);

  // The folder is created and announced, then the record is echoed as the file holds it.
  const std::string created =
      kCreated + kExeDir + tarvok::platform::kDirSeparator + "T0002/dlls/logs\n";
  ASSERT_EQ(out_.compare(0, created.size(), created), 0) << out_;
  const auto echoed = linesOf(out_.substr(created.size()), "\n");
  ASSERT_EQ(echoed.size(), 1u) << out_;
  expectRegistrationLine(echoed[0], false);
  EXPECT_EQ(err_, "");

  const auto written = logLines();
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(written[0], echoed[0]);
}

TEST_F(Registration, FilledSlotIsLeftAloneButTheLogIsSetUpAgain) {
  makeTerminalTree();
  tagPluginTCalcFuncInfo* slot = nullptr;
  ASSERT_EQ(registerCaptured(&slot), 1);
  EXPECT_EQ(registerCaptured(&slot), 0);
  EXPECT_EQ(slot, &g_CalcFuncSets[0]);
  EXPECT_EQ(out_.find("\xE7\x9B\xAE"), std::string::npos) << "folder announced twice: " << out_;
  EXPECT_EQ(err_, "");

  // The file is reopened for appending: two registration lines.
  const auto written = logLines();
  ASSERT_EQ(written.size(), 2u);
  expectRegistrationLine(written[0], false);
  expectRegistrationLine(written[1], false);

  // Any other pointer in the slot stays too.
  auto* foreign = reinterpret_cast<tagPluginTCalcFuncInfo*>(&slot);
  tagPluginTCalcFuncInfo* other = foreign;
  EXPECT_EQ(registerCaptured(&other), 0);
  EXPECT_EQ(other, foreign);
}

TEST_F(Registration, NullSlotAddressIsRefused) {
  makeTerminalTree();
  EXPECT_EQ(registerCaptured(nullptr), 0);
  // The record is made all the same.
  const auto written = logLines();
  ASSERT_EQ(written.size(), 1u);
  expectRegistrationLine(written[0], false);
}

TEST_F(Registration, LongHeaderOnlyForRunInClionDebugTrue) {
  makeTerminalTree();
  tagPluginTCalcFuncInfo* slot = nullptr;
  setEnv("RUN_IN_CLION_DEBUG", "true");
  registerCaptured(&slot);
  setEnv("RUN_IN_CLION_DEBUG", "TRUE");
  registerCaptured(&slot);
  setEnv("RUN_IN_CLION_DEBUG", " true");
  registerCaptured(&slot);
  setEnv("RUN_IN_CLION_DEBUG", "1");
  registerCaptured(&slot);
  const auto written = logLines();
  ASSERT_EQ(written.size(), 4u);
  expectRegistrationLine(written[0], true);
  for (std::size_t i = 1; i < written.size(); ++i) expectRegistrationLine(written[i], false);
}

TEST_F(Registration, NextDaysRegistrationSwitchesToThatDaysFile) {
  makeTerminalTree();
  tagPluginTCalcFuncInfo* slot = nullptr;
  registerCaptured(&slot);
  day += 86400;
  registerCaptured(&slot);
  const std::string logs = kExeDir + "/T0002/dlls/logs/";
  EXPECT_EQ(logLines(logs + "app_20260711.log").size(), 1u);
  EXPECT_EQ(logLines(logs + "app_20260712.log").size(), 1u);
}

TEST_F(Registration, OnlyRecordsAtTheCurrentLevelAreWritten) {
  makeTerminalTree();
  tagPluginTCalcFuncInfo* slot = nullptr;
  registerCaptured(&slot);
  ::testing::internal::CaptureStdout();
  asynclog::startPollingThread(tarvok::runlog::kPollingIntervalNs);
  ASYNCLOG(asynclog::DBG, "dropped");
  ASYNCLOG(asynclog::INF, "kept {}", 1);
  asynclog::stopPollingThread();
  const std::string echoed = ::testing::internal::GetCapturedStdout();
  const std::string file = readFile(tarvok::platform::fileSystemPath(kLogFile));
  EXPECT_EQ(echoed.find("dropped"), std::string::npos);
  EXPECT_EQ(file.find("dropped"), std::string::npos);
  EXPECT_NE(echoed.find("] [INF] kept 1\n"), std::string::npos) << echoed;
  EXPECT_NE(file.find("] [INF] kept 1" + kEol), std::string::npos) << file;
}

// A failed set-up is told on stderr; the table is still handed out and the record still echoed.
TEST_F(Registration, MissingTerminalFoldersDoNotStopRegistration) {
  tagPluginTCalcFuncInfo* slot = nullptr;
  EXPECT_EQ(registerCaptured(&slot), 1);
  EXPECT_EQ(slot, &g_CalcFuncSets[0]);
  EXPECT_NE(err_.find("create_directory"), std::string::npos) << err_;
  const auto echoed = linesOf(out_, "\n");
  ASSERT_EQ(echoed.size(), 1u) << out_;
  expectRegistrationLine(echoed[0], false);
}

TEST_F(Registration, FileInPlaceOfTheLogFolderDoesNotStopRegistration) {
  makeTerminalTree();
  writeFile(belowExeDirSlash("T0002/dlls/logs"), "a file");
  EXPECT_THROW(InitLog(), std::runtime_error);
  asynclog::stopPollingThread();

  tagPluginTCalcFuncInfo* slot = nullptr;
  EXPECT_EQ(registerCaptured(&slot), 1);
  EXPECT_EQ(slot, &g_CalcFuncSets[0]);
  EXPECT_NE(err_.find("Unable to open file: " + kLogFile + ": "), std::string::npos) << err_;
  const auto echoed = linesOf(out_, "\n");
  ASSERT_FALSE(echoed.empty()) << out_;
  expectRegistrationLine(echoed.back(), false);
  EXPECT_TRUE(fs::is_regular_file(belowExeDirSlash("T0002/dlls/logs")));

  // Once the folder is there, the next registration sets the log up in full.
  fs::remove(belowExeDirSlash("T0002/dlls/logs"));
  EXPECT_EQ(registerCaptured(&slot), 0);
  EXPECT_EQ(err_, "");
  const auto written = logLines();
  ASSERT_EQ(written.size(), 1u);
  expectRegistrationLine(written[0], false);
}

TEST_F(Registration, UnopenableNewFileLeavesTheEarlierFileTheOutput) {
  makeTerminalTree();
  tagPluginTCalcFuncInfo* slot = nullptr;
  ASSERT_EQ(registerCaptured(&slot), 1);
  // The next day's file cannot be opened: a folder has its name.
  fs::create_directories(belowExeDirSlash("T0002/dlls/logs/app_20260712.log"));
  day += 86400;
  EXPECT_EQ(registerCaptured(&slot), 0);
  EXPECT_NE(err_.find("Unable to open file: " + kExeDir + "/T0002/dlls/logs/app_20260712.log: "),
            std::string::npos)
      << err_;
  const auto echoed = linesOf(out_, "\n");
  ASSERT_EQ(echoed.size(), 1u) << out_;
  const auto written = logLines();
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[1], echoed[0]);
}

TEST(FunctionTable, RecordsInTheTerminalsOrder) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(g_CalcFuncSets);
  constexpr std::size_t kRecord = 2 + sizeof(CalcFunc);  // packed: no gap after the number
  static_assert(sizeof(tagPluginTCalcFuncInfo) == kRecord, "byte-packed record");
  const std::uint16_t numbers[] = {9, 10, 11, 0};
  const CalcFunc functions[] = {&CalcZhouqiWW, &SetZhouqiParams, &CalcZhouqiW, nullptr};
  for (std::size_t i = 0; i < kCalcFuncSetsSize; ++i) {
    const unsigned char* record = bytes + i * kRecord;
    EXPECT_EQ(record[0] | (record[1] << 8), numbers[i]) << "record " << i;
    CalcFunc f;
    std::memcpy(&f, record + 2, sizeof f);
    EXPECT_EQ(f, functions[i]) << "record " << i;
  }
}

TEST(FunctionTable, FunctionsReachedThroughTheTableCompute) {
  // Function 10 through its record sets the period that function 9 then uses.
  float period = 3.0f, multiplier = 1.0f, unused = 0.0f, ones[1] = {0.0f};
  g_CalcFuncSets[1].funcPtr(1, ones, &period, &multiplier, &unused);
  EXPECT_EQ(ones[0], 1.0f);
  EXPECT_EQ(g_ZhouqiPeriod.load(), 3);
  float h[6] = {10, 11, 12, 13, 14, 15}, l[6] = {9, 10, 11, 12, 13, 14},
        c[6] = {9.5f, 10.5f, 11.5f, 12.5f, 13.5f, 14.5f};
  float viaTable[6], direct[6];
  g_CalcFuncSets[0].funcPtr(6, viaTable, h, l, c);
  CalcZhouqiWW(6, direct, h, l, c);
  EXPECT_EQ(std::memcmp(viaTable, direct, sizeof direct), 0);
  float p14 = 14.0f, m2 = 2.0f;
  SetZhouqiParams(1, ones, &p14, &m2, &unused);
}

TEST(FormulaText, TheGbkTextZeroTerminatedAtOneAddress) {
  const char* text = gettdxcode();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(gettdxcode(), text);
  const std::string expected(reinterpret_cast<const char*>(tarvok::formula::kFormulaGbk),
                             sizeof tarvok::formula::kFormulaGbk);
  ASSERT_EQ(std::strlen(text), expected.size());
  EXPECT_EQ(std::string(text), expected);
}

TEST(FormulaText, TerminalEncodingAndLineEnds) {
  const std::string text = gettdxcode();
  // GBK, not UTF-8: 周期 in the opening comment.
  EXPECT_EQ(text.compare(0, 5, "{\xD6\xDC\xC6\xDA"), 0);
  EXPECT_NE(text.find("X:=TDXDLL1(10,N,M,0);\r\n"), std::string::npos);
  EXPECT_NE(text.find("STOP:=TDXDLL1(9,H,L,C);\r\n"), std::string::npos);
  EXPECT_NE(text.find("ST:=TDXDLL1(11,H,L,C);\r\n"), std::string::npos);
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
    ASSERT_TRUE(at > 0 && text[at - 1] == '\r') << "bare line feed at " << at;
  }
}

}  // namespace
