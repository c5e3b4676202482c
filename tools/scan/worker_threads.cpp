#include "scan/worker_threads.h"

#include <memory>

#include "os/os.h"

namespace tarvok::tools {

namespace {

struct Start {
  const std::function<void(unsigned)>* work;
  unsigned worker;
};

void threadMain(void* argument) {
  const Start* start = static_cast<const Start*>(argument);
  (*start->work)(start->worker);
}

}  // namespace

void runWorkers(unsigned count, const std::function<void(unsigned worker)>& work) {
  const unsigned extra = count > 1 ? count - 1 : 0;
  std::unique_ptr<Start[]> starts(new Start[extra]);
  std::unique_ptr<os::Thread[]> threads(new os::Thread[extra]);
  for (unsigned w = 0; w < extra; ++w) {
    starts[w] = {&work, w + 1};
    if (!threads[w].start(&threadMain, &starts[w])) break;
  }
  work(0);
  for (unsigned w = 0; w < extra; ++w) threads[w].join();
}

}  // namespace tarvok::tools
