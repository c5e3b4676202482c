// The scan's workers: each runs once, the first on the calling thread, and together they take
// every piece of the work exactly once.

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <memory>

#include "scan/worker_threads.h"

namespace {

// Set on the thread that calls runWorkers: a worker that sees it runs there. (The MinGW -win32
// runtime has no std::this_thread.)
thread_local bool onCallingThread = false;

TEST(WorkerThreads, EachRunsOnceTheFirstOnTheCallingThreadAndTogetherTheyDoAllTheWork) {
  constexpr std::size_t kItems = 10000;
  onCallingThread = true;
  for (const unsigned count : {1u, 2u, 3u, 7u, 16u}) {
    SCOPED_TRACE(count);
    // One slot more than workers, for a worker numbered out of range.
    const std::unique_ptr<std::atomic<int>[]> runs(new std::atomic<int>[count + 1]);
    const std::unique_ptr<std::atomic<bool>[]> here(new std::atomic<bool>[count + 1]);
    for (unsigned w = 0; w <= count; ++w) {
      runs[w] = 0;
      here[w] = false;
    }
    // The work as the scan shares it: each worker takes the next item until none is left.
    const std::unique_ptr<std::atomic<int>[]> done(new std::atomic<int>[kItems]);
    for (std::size_t i = 0; i < kItems; ++i) done[i] = 0;
    std::atomic<std::size_t> next{0};
    tarvok::tools::runWorkers(count, [&](unsigned worker) {
      const unsigned slot = worker < count ? worker : count;
      ++runs[slot];
      here[slot] = onCallingThread;
      for (std::size_t i; (i = next++) < kItems;) ++done[i];
    });
    for (unsigned w = 0; w < count; ++w) {
      EXPECT_EQ(runs[w].load(), 1) << w;
      EXPECT_EQ(here[w].load(), w == 0) << w;
    }
    EXPECT_EQ(runs[count].load(), 0) << "a worker numbered count or more";
    std::size_t once = 0;
    for (std::size_t i = 0; i < kItems; ++i) once += done[i] == 1;
    EXPECT_EQ(once, kItems);
  }
  onCallingThread = false;
}

}  // namespace
