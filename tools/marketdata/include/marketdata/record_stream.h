#pragma once
// The fixed-size records of a file that comes in pieces of any size, from memory or a stream: each
// record is handed on as soon as it is whole, so that a reader can refuse a file at its first bad
// record without reading on.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace tarvok::tools {

template <std::size_t kSize>
class RecordStream {
 public:
  // The next bytes; take(const unsigned char* record) for every record they complete.
  template <typename Take>
  void add(std::string_view bytes, Take&& take) {
    bytes_ += bytes.size();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    if (partialSize_ != 0) {
      const std::size_t taken = std::min<std::size_t>(kSize - partialSize_, bytes.size());
      std::memcpy(partial_ + partialSize_, p, taken);
      partialSize_ += taken;
      p += taken;
      if (partialSize_ < kSize) return;
      take(static_cast<const unsigned char*>(partial_));
      partialSize_ = 0;
    }
    for (; static_cast<std::size_t>(end - p) >= kSize; p += kSize) take(p);
    partialSize_ = static_cast<std::size_t>(end - p);
    if (partialSize_ != 0) std::memcpy(partial_, p, partialSize_);
  }

  std::size_t bytes() const noexcept { return bytes_; }  // taken so far
  // Whether the bytes so far end inside a record.
  bool cutShort() const noexcept { return partialSize_ != 0; }

 private:
  std::size_t bytes_ = 0;
  unsigned char partial_[kSize] = {};
  std::size_t partialSize_ = 0;
};

// What a reader says of a file that ends inside a record.
std::string cutShortText(std::size_t bytes, std::size_t recordSize);

}  // namespace tarvok::tools
