// tarvok.dll in a terminal-like host: terminal_host_child runs from scratch folders laid out like
// the terminal's program folder (with and without T0002/dlls), and this test checks what it saw, the
// run log file byte for byte and the echo on its standard output.

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kRecord = "[RegisterTdxFunc]DLL\xD7\xA2\xB2\xE1\xB3\xC9\xB9\xA6\xA3\xA1";
const std::string kCreated =
    "\xE7\x9B\xAE\xE5\xBD\x95\xE5\x88\x9B\xE5\xBB\xBA\xE6\x88\x90\xE5\x8A\x9F: ";
const char* const kTimestamp = R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6}\] )";

fs::path ownFolder() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct ChildRun {
  std::string out;                        // the child's whole standard output
  std::map<std::string, long long> seen;  // its "host: key=value" lines
  bool finished = false;
};

class TerminalHost : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    dir_ = fs::path(temp) / ("tarvok-host-" + std::to_string(GetCurrentProcessId()) + "-" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (const char* file : {"terminal_host_child.exe", "tarvok.dll"}) {
      fs::copy_file(ownFolder() / file, dir_ / file, fs::copy_options::overwrite_existing);
    }
  }
  void TearDown() override {
    SetEnvironmentVariableA("RUN_IN_CLION_DEBUG", nullptr);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Runs the child in the scratch folder; a child that does not end within a minute has hung.
  ChildRun run(const std::string& args) {
    ChildRun r;
    const fs::path outPath = dir_ / "stdout.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + (dir_ / "terminal_host_child.exe").wstring() + L"\" " +
                           std::wstring(args.begin(), args.end());
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        dir_.c_str(), &startup, &process);
    CloseHandle(out);
    if (!started) return r;
    r.finished = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
    if (!r.finished) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    r.out = readFile(outPath);
    std::istringstream lines(r.out);
    std::string line;
    const std::regex hostLine(R"(host: (\w+)=(-?\d+)\r?)");
    std::smatch m;
    while (std::getline(lines, line)) {
      if (std::regex_match(line, m, hostLine)) r.seen[m[1]] = std::stoll(m[2]);
    }
    return r;
  }

  std::vector<std::string> logLines() {
    std::vector<std::string> lines;
    const fs::path logs = dir_ / "T0002" / "dlls" / "logs";
    if (!fs::is_directory(logs)) return lines;
    for (const auto& entry : fs::directory_iterator(logs)) {
      EXPECT_TRUE(
          std::regex_match(entry.path().filename().string(), std::regex(R"(app_\d{8}\.log)")))
          << entry.path();
      std::istringstream text(readFile(entry.path()));
      std::string line;
      while (std::getline(text, line)) lines.push_back(line);
    }
    return lines;
  }

  fs::path dir_;
};

TEST_F(TerminalHost, RegistersCallsLogsAndUnloads) {
  fs::create_directories(dir_ / "T0002" / "dlls");
  const ChildRun r = run("register");
  ASSERT_TRUE(r.finished) << "the host hung:\n" << r.out;

  const std::map<std::string, long long> expected = {{"loaded", 1},
                                                     {"register_empty", 1},
                                                     {"register_again", 0},
                                                     {"slot_unchanged", 1},
                                                     {"register_foreign", 0},
                                                     {"foreign_unchanged", 1},
                                                     {"register_null", 0},
                                                     {"record0_number", 9},
                                                     {"record1_number", 10},
                                                     {"record2_number", 11},
                                                     {"record3_number", 0},
                                                     {"record0_nonnull", 1},
                                                     {"record1_nonnull", 1},
                                                     {"record2_nonnull", 1},
                                                     {"record3_nonnull", 0},
                                                     {"formula_same_address", 1},
                                                     {"freed", 1},
                                                     {"still_loaded", 0},
                                                     {"reload_register", 1},
                                                     {"done", 1}};
  for (const auto& [key, value] : expected)
    EXPECT_EQ(r.seen.count(key) ? r.seen.at(key) : -99, value) << key;
  const long long stopsX4[] = {38, 42, 46, 44, 48, 56, 52, 48, 44, 40};
  const long long states[] = {0, 0, 0, -3, -4, 1, 2, 3, 4, 5};
  for (int j = 0; j < 10; ++j) {
    EXPECT_EQ(r.seen.at("stop" + std::to_string(j) + "_x4"), stopsX4[j]) << j;
    EXPECT_EQ(r.seen.at("state" + std::to_string(j)), states[j]) << j;
  }
  EXPECT_GT(r.seen.at("formula_length"), 0);
  RecordProperty("unload_us", std::to_string(r.seen.at("unload_us")));
  std::printf("FreeLibrary took %lld us\n", r.seen.at("unload_us"));

  // The folder is made, and said so, by the first set-up only.
  const std::string created = kCreated + dir_.string() + "\\T0002/dlls/logs";
  const auto first = r.out.find(created);
  EXPECT_NE(first, std::string::npos) << r.out;
  EXPECT_EQ(r.out.find(created, first + 1), std::string::npos);

  // One line per registration, five in all, each echoed on standard output with the same bytes.
  const auto lines = logLines();
  ASSERT_EQ(lines.size(), 5u);
  const std::regex shortLine(std::string("^") + kTimestamp + R"(\[INF\] )" +
                             std::regex_replace(kRecord, std::regex(R"([\[\]])"), R"(\$&)") +
                             "\r$");
  for (const auto& line : lines) {
    EXPECT_TRUE(std::regex_match(line, shortLine)) << line;
    // Standard output is in text mode too, so only the line feed may differ.
    EXPECT_NE(r.out.find(line.substr(0, line.size() - 1)), std::string::npos) << line;
  }
}

TEST_F(TerminalHost, LongHeaderNamesTheSourceLocation) {
  fs::create_directories(dir_ / "T0002" / "dlls");
  SetEnvironmentVariableA("RUN_IN_CLION_DEBUG", "true");
  ASSERT_TRUE(run("register").finished);
  const auto lines = logLines();
  ASSERT_EQ(lines.size(), 5u);
  // The location is longer than its 18-character field, so it stands unpadded and uncut.
  const std::regex longLine(std::string("^") + kTimestamp +
                            R"(\[INF\] TCalcFuncSets\.cpp:\d+ \[RegisterTdxFunc\]DLL.*\r$)");
  for (const auto& line : lines) EXPECT_TRUE(std::regex_match(line, longLine)) << line;
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(TerminalHost, WithoutThePluginFolderRegistrationStillWorks) {
  const ChildRun r = run("register");
  ASSERT_TRUE(r.finished) << "the host hung:\n" << r.out;
  EXPECT_EQ(r.seen.at("register_empty"), 1);
  EXPECT_EQ(r.seen.at("state4"), -4);
  EXPECT_EQ(r.seen.at("reload_register"), 1);
  EXPECT_FALSE(fs::exists(dir_ / "T0002"));
  // Every registration's record still reaches standard output: four, then one after the reload.
  EXPECT_EQ(count(r.out, kRecord), 5u) << r.out;
}

// Unloads that meet the log's first drain at every point: without the plug-in folder the drain
// makes the first calls of the day into the C runtime. None may hang, none may lose its record.
TEST_F(TerminalHost, LoadRegisterAndFreeInQuickSuccessionNeverHangs) {
  const ChildRun bare = run("churn 40");
  ASSERT_TRUE(bare.finished) << "the host hung:\n" << bare.out;
  EXPECT_EQ(bare.seen.at("registered"), 40);
  EXPECT_EQ(count(bare.out, kRecord), 40u);

  fs::create_directories(dir_ / "T0002" / "dlls");
  const ChildRun logged = run("churn 40");
  ASSERT_TRUE(logged.finished) << "the host hung:\n" << logged.out;
  EXPECT_EQ(logLines().size(), 40u);
}

// The host registers and ends at once, while the log's first drain may still run on a pool
// thread: the record is written once, neither lost nor doubled. The pool's threads must be up by
// then (the child slows every thread's start-up to tell): one killed in its start-up crashes
// 32-bit Wine's process before the last drain.
TEST_F(TerminalHost, ProcessEndWithoutFreeLibraryWritesTheQueuedRecordOnce) {
  fs::create_directories(dir_ / "T0002" / "dlls");
  for (int round = 0; round < 10; ++round) {
    fs::remove_all(dir_ / "T0002" / "dlls" / "logs");
    const ChildRun r = run("exit");
    ASSERT_TRUE(r.finished) << "the exit path hung:\n" << r.out;
    EXPECT_EQ(r.seen.count("threads_starting") ? r.seen.at("threads_starting") : -1, 0)
        << "round " << round << ":\n"
        << r.out;
    EXPECT_EQ(logLines().size(), 1u) << "round " << round << ":\n" << r.out;
    // And echoed once on standard output, also when the exit came before the first drain.
    EXPECT_EQ(count(r.out, kRecord), 1u) << "round " << round << ":\n" << r.out;
  }
}

TEST_F(TerminalHost, LoadAndFreeAgainAndAgainLeavesNoThreadTlsIndexOrHandle) {
  fs::create_directories(dir_ / "T0002" / "dlls");
  constexpr int kCycles = 40;
  const ChildRun r = run("cycles " + std::to_string(kCycles));
  ASSERT_TRUE(r.finished) << r.out;
  // Right after the cycles the system's pool may still hold idle workers; none of them runs code of
  // ours, and they end on their own.
  EXPECT_LE(r.seen.at("threads_added_after_idle"), 0);
  EXPECT_EQ(r.seen.at("tls_indexes_added"), 0);
  // The 32-bit toolchain's unwinder registers the DLL's frame tables under a mutex it makes on the
  // first load and never closes: one semaphore per load, which nothing of ours can reach.
  constexpr long long kToolchainHandlesPerLoad = sizeof(void*) == 4 ? 1 : 0;
  EXPECT_LE(r.seen.at("handles_added_after_idle"), kCycles * kToolchainHandlesPerLoad);
  std::printf("over %d cycles: %lld handles added, %lld threads just after, %lld 10 s later\n",
              kCycles, r.seen.at("handles_added_after_idle"), r.seen.at("threads_added"),
              r.seen.at("threads_added_after_idle"));
  EXPECT_EQ(logLines().size(), kCycles + 1u);
}

// What Windows shows in the DLL's file properties: its version, from the resource.
TEST(TarvokDll, FilePropertiesShowTheVersion) {
  const std::wstring dll = (ownFolder() / "tarvok.dll").wstring();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &ignored);
  ASSERT_GT(size, 0u) << "no version resource, error " << GetLastError();
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(dll.c_str(), 0, size, info.data()));

  const auto text = [&](const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), path.c_str(), &value, &length) || length == 0)
      return std::string();
    std::string ascii;
    for (UINT i = 0; i + 1 < length; ++i)
      ascii += static_cast<char>(static_cast<const wchar_t*>(value)[i]);
    return ascii;
  };
  EXPECT_EQ(text(L"FileVersion"), TARVOK_VERSION);
  EXPECT_EQ(text(L"ProductVersion"), TARVOK_VERSION);
  EXPECT_EQ(text(L"ProductName"), "tarvok");
  EXPECT_NE(text(L"FileDescription").find("band-stop"), std::string::npos)
      << text(L"FileDescription");

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                std::to_string(HIWORD(fixed->dwFileVersionLS)),
            TARVOK_VERSION);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

}  // namespace
