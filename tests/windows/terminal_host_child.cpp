// A stand-in for the terminal, run by terminal_host_test from a scratch folder laid out like the
// terminal's: it loads tarvok.dll from beside itself and does what the terminal does, printing
// what it saw as "host: key=value" lines among the plug-in's own log echo.
//
//   terminal_host_child register   registrations, the table, the three functions, the formula text,
//                                  then FreeLibrary (timed) and a reload
//   terminal_host_child cycles N   N load/register/free cycles; handles, threads, TLS indexes
//   terminal_host_child churn N    N load/register/free cycles as fast as they go: each unload
//                                  meets the log's first drain at a different point
//   terminal_host_child exit       registers and ends the process without FreeLibrary, saying
//                                  how many threads are still starting up when registration is done

#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Threads through their start-up: the system calls the program's TLS callbacks for a new thread
// once it is set up, before its start routine runs. A slowed start-up widens the window in which
// a thread exists but has not started.
std::atomic<long> g_threadsStarted{1};  // this one
std::atomic<bool> g_slowThreadStart{false};

void NTAPI onThreadEvent(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_THREAD_ATTACH) {
    if (g_slowThreadStart.load()) Sleep(50);
    ++g_threadsStarted;
  }
  if (reason == DLL_THREAD_DETACH) --g_threadsStarted;
}

[[gnu::section(".CRT$XLF"), gnu::used]] const PIMAGE_TLS_CALLBACK g_threadEvents = onThreadEvent;

using CalcFunc = void(__cdecl*)(int, float*, float*, float*, float*);
using RegisterFn = int(__cdecl*)(void**);
using FormulaFn = const char*(__cdecl*)();

struct Plugin {
  HMODULE dll = nullptr;
  RegisterFn registerTdxFunc = nullptr;
  FormulaFn gettdxcode = nullptr;
};

void say(const char* key, long long value) {
  std::printf("host: %s=%lld\n", key, value);
  std::fflush(stdout);
}

template <class F>
F procAddress(HMODULE dll, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

Plugin load() {
  Plugin p;
  p.dll = LoadLibraryA("tarvok.dll");
  if (p.dll == nullptr) return p;
  p.registerTdxFunc = procAddress<RegisterFn>(p.dll, "RegisterTdxFunc");
  p.gettdxcode = procAddress<FormulaFn>(p.dll, "gettdxcode");
  return p;
}

// The table as the terminal reads it: packed records of a 16-bit number and an address (6 bytes
// in the 32-bit DLL).
constexpr std::size_t kRecordSize = 2 + sizeof(void*);

void readRecord(const unsigned char* record, std::uint16_t& number, std::uintptr_t& address) {
  std::memcpy(&number, record, 2);
  std::memcpy(&address, record + 2, sizeof address);
}

CalcFunc findFunction(const void* table, int number) {
  const auto* record = static_cast<const unsigned char*>(table);
  for (int i = 0; i < 16; ++i, record += kRecordSize) {
    std::uint16_t n;
    std::uintptr_t address;
    readRecord(record, n, address);
    if (n == 0) return nullptr;
    if (n == number) return reinterpret_cast<CalcFunc>(address);
  }
  return nullptr;
}

long long threadCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry;
  entry.dwSize = sizeof entry;
  long long count = 0;
  for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

// Handles open in this process, found by probing every possible value (GetProcessHandleCount
// reads 0 under Wine whatever the process holds). Handle values are multiples of 4.
long long handleCount() {
  long long count = 0;
  DWORD flags;
  for (std::uintptr_t value = 4; value < (1u << 16); value += 4) {
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

// The next free TLS index: it climbs when something allocates indexes and never frees them.
long long nextTlsIndex() {
  const DWORD index = TlsAlloc();
  TlsFree(index);
  return index;
}

int runRegister() {
  Plugin p = load();
  say("loaded", p.dll != nullptr && p.registerTdxFunc != nullptr && p.gettdxcode != nullptr);
  if (p.dll == nullptr || p.registerTdxFunc == nullptr || p.gettdxcode == nullptr) return 1;

  void* slot = nullptr;
  say("register_empty", p.registerTdxFunc(&slot));
  void* const table = slot;
  say("register_again", p.registerTdxFunc(&slot));
  say("slot_unchanged", slot == table);
  int foreign = 0;
  void* foreignSlot = &foreign;
  say("register_foreign", p.registerTdxFunc(&foreignSlot));
  say("foreign_unchanged", foreignSlot == &foreign);
  say("register_null", p.registerTdxFunc(nullptr));

  const auto* record = static_cast<const unsigned char*>(table);
  for (int i = 0; i < 4; ++i, record += kRecordSize) {
    std::uint16_t n;
    std::uintptr_t address;
    readRecord(record, n, address);
    say(("record" + std::to_string(i) + "_number").c_str(), n);
    say(("record" + std::to_string(i) + "_nonnull").c_str(), address != 0);
  }

  // The worked example: period 2, multiplier 1.
  float high[10] = {10, 11, 12, 13, 14, 13, 12, 11, 10, 9};
  float low[10] = {9, 10, 11, 12, 13, 12, 11, 10, 9, 8};
  float close[10] = {9.5f, 10.5f, 11.5f, 12.5f, 13.5f, 12.5f, 11.5f, 10.5f, 9.5f, 8.5f};
  float out[10];
  float period[1] = {2.0f};
  float multiplier[1] = {1.0f};
  findFunction(table, 10)(10, out, period, multiplier, close);
  findFunction(table, 9)(10, out, high, low, close);
  for (int j = 0; j < 10; ++j)
    say(("stop" + std::to_string(j) + "_x4").c_str(), std::lround(out[j] * 4));
  findFunction(table, 11)(10, out, high, low, close);
  for (int j = 0; j < 10; ++j) say(("state" + std::to_string(j)).c_str(), std::lround(out[j]));

  const char* text = p.gettdxcode();
  say("formula_same_address", text == p.gettdxcode());
  say("formula_length", static_cast<long long>(std::strlen(text)));

  // Let the polling timer drain at least once, then unload while the process goes on.
  Sleep(1500);
  LARGE_INTEGER frequency, before, after;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&before);
  const BOOL freed = FreeLibrary(p.dll);
  QueryPerformanceCounter(&after);
  say("freed", freed);
  say("unload_us", (after.QuadPart - before.QuadPart) * 1000000 / frequency.QuadPart);
  say("still_loaded", GetModuleHandleA("tarvok.dll") != nullptr);

  // The process must go on safely, and the library load again.
  Sleep(1500);
  Plugin again = load();
  void* slot2 = nullptr;
  say("reload_register", again.registerTdxFunc ? again.registerTdxFunc(&slot2) : -1);
  FreeLibrary(again.dll);
  say("done", 1);
  return 0;
}

int runCycles(int cycles) {
  // One cycle first, so that what the system sets up once is not counted.
  for (int round = 0; round < 2; ++round) {
    const long long handles = handleCount();
    const long long threads = threadCount();
    const long long tls = nextTlsIndex();
    for (int i = 0; i < (round == 0 ? 1 : cycles); ++i) {
      Plugin p = load();
      void* slot = nullptr;
      if (p.registerTdxFunc != nullptr) p.registerTdxFunc(&slot);
      FreeLibrary(p.dll);
    }
    if (round == 1) {
      say("tls_indexes_added", nextTlsIndex() - tls);
      say("threads_added", threadCount() - threads);
      // Idle workers of the system's thread pool end after a while of their own, and their
      // handles with them.
      Sleep(10000);
      say("threads_added_after_idle", threadCount() - threads);
      say("handles_added_after_idle", handleCount() - handles);
    }
  }
  say("done", 1);
  return 0;
}

int runChurn(int cycles) {
  int registered = 0;
  for (int i = 0; i < cycles; ++i) {
    Plugin p = load();
    void* slot = nullptr;
    if (p.registerTdxFunc != nullptr) registered += p.registerTdxFunc(&slot);
    FreeLibrary(p.dll);
  }
  say("registered", registered);
  say("done", 1);
  return 0;
}

int runExit() {
  g_slowThreadStart = true;
  Plugin p = load();
  void* slot = nullptr;
  say("register_empty", p.registerTdxFunc ? p.registerTdxFunc(&slot) : -1);
  // A thread the process end kills in its start-up crashes 32-bit Wine's process, and the record
  // with it: registration must leave none.
  say("threads_starting", threadCount() - g_threadsStarted.load());
  say("done", 1);
  return 0;  // process exit with the library still loaded and its record still queued
}

}  // namespace

int main(int argc, char** argv) {
  const std::string scenario = argc > 1 ? argv[1] : "";
  if (scenario == "register") return runRegister();
  if (scenario == "cycles") return runCycles(argc > 2 ? std::atoi(argv[2]) : 20);
  if (scenario == "churn") return runChurn(argc > 2 ? std::atoi(argv[2]) : 50);
  if (scenario == "exit") return runExit();
  std::fprintf(stderr, "usage: terminal_host_child register|cycles N|churn N|exit\n");
  return 2;
}
