#pragma once
// asynclog's per-thread queue of records.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "asynclog/asynclog.h"
#include "platform.h"

namespace asynclog::detail {

// One thread's records in a single-producer, single-consumer byte ring: the owner thread writes an
// entry and publishes it by advancing writePos_; the drain reads it and frees the space by
// advancing readPos_. No lock, so a thread killed mid-record leaves nothing held, only unpublished
// bytes. The owner never waits: a record that does not fit is dropped and counted, and the drain
// reports the count.
class ThreadQueue {
 public:
  static constexpr std::uint32_t kCapacity = 1u << 16;
  // Entries are whole units, so the filler at the end of the ring always has room for its header.
  static constexpr std::uint32_t kUnit = 32;
  static constexpr std::uint32_t kMaxBody = kCapacity / 4 - kUnit;

  struct Header {
    std::uint32_t size;  // of the whole entry
    std::uint32_t bodySize;
    const CallSite* site;  // nullptr: filler up to the end of the ring
    std::int64_t ns;
    LogLevel level;
  };
  static_assert(sizeof(Header) <= kUnit, "an entry header fits one unit");

  ThreadQueue() noexcept {
    const auto r = fmt::format_to_n(name_, sizeof name_, "{}", currentThreadId());
    nameSize_ = r.size < sizeof name_ ? r.size : sizeof name_;
  }

  fmt::string_view name() const noexcept { return fmt::string_view(name_, nameSize_); }

  // Owner thread only.
  void push(const CallSite& site, LogLevel level, std::int64_t ns, fmt::string_view body) noexcept {
    // Longer bodies are cut so that a record never needs more than a quarter of the ring.
    const std::uint32_t bodySize =
        body.size() > kMaxBody ? kMaxBody : static_cast<std::uint32_t>(body.size());
    const std::uint32_t need = (sizeof(Header) + bodySize + kUnit - 1) / kUnit * kUnit;
    std::uint32_t w = writePos_.load(std::memory_order_relaxed);
    const std::uint32_t r = readPos_.load(std::memory_order_acquire);
    std::uint32_t offset = w & (kCapacity - 1);
    const std::uint32_t toEnd = kCapacity - offset;
    const std::uint32_t total = need <= toEnd ? need : toEnd + need;
    if (kCapacity - (w - r) < total) {
      dropped.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    if (need > toEnd) {
      const Header filler{toEnd, 0, nullptr, 0, DBG};
      std::memcpy(ring_ + offset, &filler, sizeof filler);
      w += toEnd;
      offset = 0;
    }
    const Header header{need, bodySize, &site, ns, level};
    std::memcpy(ring_ + offset, &header, sizeof header);
    if (bodySize != 0) std::memcpy(ring_ + offset + sizeof(Header), body.data(), bodySize);
    writePos_.store(w + need, std::memory_order_release);
  }

  // Draining thread only: every record published when it starts, oldest first. take(header, body)
  // consumes a record; then() runs once the record is marked read, so that a thread killed in
  // then() (the echo, which may wait on a stream lock) leaves no record to be taken twice (its
  // echo is then the last drain's, see echoRecord).
  template <typename Take, typename Then>
  void drain(Take&& take, Then&& then) {
    std::uint32_t r = readPos_.load(std::memory_order_relaxed);
    const std::uint32_t w = writePos_.load(std::memory_order_acquire);
    while (r != w) {
      Header header;
      const unsigned char* entry = ring_ + (r & (kCapacity - 1));
      std::memcpy(&header, entry, sizeof header);
      const std::uint32_t next = r + header.size;
      if (header.site != nullptr) {
        try {
          take(header, fmt::string_view(reinterpret_cast<const char*>(entry + sizeof(Header)),
                                        header.bodySize));
        } catch (...) {
          // The record is gone either way; never hand it out twice.
          readPos_.store(next, std::memory_order_release);
          throw;
        }
      }
      r = next;
      readPos_.store(r, std::memory_order_release);
      if (header.site != nullptr) then();
    }
  }

  OwnerLink link;
  std::atomic<std::uint32_t> dropped{0};

 private:
  char name_[12];
  std::size_t nameSize_ = 0;
  std::atomic<std::uint32_t> writePos_{0};
  [[maybe_unused]] char apart_[64];  // keeps the two positions off one cache line
  std::atomic<std::uint32_t> readPos_{0};
  alignas(8) unsigned char ring_[kCapacity];
};

}  // namespace asynclog::detail
