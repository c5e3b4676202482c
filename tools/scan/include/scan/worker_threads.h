#pragma once
// A few worker threads over one piece of work.

#include <functional>

namespace tarvok::tools {

// Runs work(worker) on `count` threads at once (worker = 0 .. count - 1) and returns when all have
// returned. work must not throw. A thread that cannot be started leaves its share to the others:
// worker 0 runs on the calling thread, so the work is always done.
void runWorkers(unsigned count, const std::function<void(unsigned worker)>& work);

}  // namespace tarvok::tools
