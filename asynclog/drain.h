#pragma once
// The drain: takes the records of every queue, formats them, sends the lines to the output and
// echoes them to the callback. Also the facility's state, one struct per lock domain, and its two
// shutdowns.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "asynclog/asynclog.h"
#include "file_output.h"
#include "platform.h"
#include "queue_list.h"
#include "record_format.h"
#include "thread_queue.h"

namespace asynclog::detail {

// Locks, outermost first: control, drain, list (QueueList's own). Each lock guards the members of
// its domain alone. A logging thread takes only the list lock, and only for its first record.

// The polling thread: control lock.
struct ControlDomain {
  Lock lock;
  Ticker ticker;
};

// All that a drain reads or changes: drain lock.
struct DrainDomain {
  Lock lock;
  bool retired = false;  // shut down: drains do nothing
  std::int64_t now = 0;  // the time of the drain in progress
  // Ordinary drains only: the queue list as the drain found it, and those of its queues whose
  // thread had ended.
  std::vector<ThreadQueue*> snapshot;
  std::vector<ThreadQueue*> ended;
  RecordFormat format;
  FileOutput output;
  LogCBFn callback = nullptr;
  LogLevel callbackLevel = INF;
  LogCBFn processEndCallback = nullptr;
  // The callback's arguments for the record last taken, whose text `format` holds.
  struct Echo {
    bool due = false;  // until the callback has returned
    std::int64_t ns = 0;
    LogLevel level = INF;
    std::size_t filePos = 0;
    fmt::string_view threadName;
  } echo;
};

struct State {
  ControlDomain control;
  DrainDomain drain;
  QueueList queues;
  ThreadSlot slot;               // opened before the state is shared, closed by the normal shutdown
  State* nextRetired = nullptr;  // states retired at process end
};

// An ordinary drain, with the drain lock held; force writes the pending text at once.
void drainQueues(State& s, bool force);

// The polling thread's call, on the state.
void tick(void* state);
// With the control lock held: stops the polling thread, then drains once more.
void stopTicker(State& s);

// Each shuts down a state already taken out of use. The normal one stops the polling thread,
// drains, closes the output and frees the state. The one at process end, when other threads may
// have been killed holding any lock, waits for no thread and keeps the state for good.
void shutdownNormally(State* s) noexcept;
void shutdownAtProcessEnd(State* s) noexcept;

}  // namespace asynclog::detail
