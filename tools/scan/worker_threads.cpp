#include "scan/worker_threads.h"

#include <cstdint>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#else
#include <system_error>
#include <thread>
#endif

namespace tarvok::tools {

#ifdef _WIN32

namespace {

struct Start {
  const std::function<void(unsigned)>* work;
  unsigned worker;
};

unsigned __stdcall threadMain(void* argument) {
  const Start* start = static_cast<const Start*>(argument);
  (*start->work)(start->worker);
  return 0;
}

}  // namespace

unsigned hardwareThreads() noexcept {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

void runWorkers(unsigned count, const std::function<void(unsigned worker)>& work) {
  std::vector<Start> starts;
  starts.reserve(count);
  std::vector<HANDLE> threads;
  for (unsigned w = 1; w < count; ++w) {
    starts.push_back({&work, w});
    const std::uintptr_t handle = _beginthreadex(nullptr, 0, &threadMain, &starts.back(), 0, nullptr);
    if (handle == 0) break;
    threads.push_back(reinterpret_cast<HANDLE>(handle));
  }
  work(0);
  for (HANDLE thread : threads) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
}

#else

unsigned hardwareThreads() noexcept {
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? n : 1;
}

void runWorkers(unsigned count, const std::function<void(unsigned worker)>& work) {
  std::vector<std::thread> threads;
  threads.reserve(count);
  for (unsigned w = 1; w < count; ++w) {
    try {
      threads.emplace_back(work, w);
    } catch (const std::system_error&) {
      break;
    }
  }
  work(0);
  for (std::thread& thread : threads) thread.join();
}

#endif

}  // namespace tarvok::tools
