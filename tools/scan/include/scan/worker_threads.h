#pragma once
// A few worker threads over one piece of work. The MinGW -win32 runtime has no std::thread, so
// Windows threads are made with _beginthreadex; everywhere else with std::thread.

#include <functional>

namespace tarvok::tools {

// The number of hardware threads, at least 1.
unsigned hardwareThreads() noexcept;

// Runs work(worker) on `count` threads at once (worker = 0 .. count - 1) and returns when all have
// returned. work must not throw. A thread that cannot be started leaves its share to the others:
// worker 0 runs on the calling thread, so the work is always done.
void runWorkers(unsigned count, const std::function<void(unsigned worker)>& work);

}  // namespace tarvok::tools
