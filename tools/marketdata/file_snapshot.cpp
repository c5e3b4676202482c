#include "marketdata/file_snapshot.h"

#include <algorithm>

namespace tarvok::tools {

FileSnapshotReader::Result FileSnapshotReader::read(const std::string& path, std::size_t limit,
                                                    FileSnapshot& snapshot, std::string& error) {
  os::ReadOnlyFile file;
  if (!file.open(path, error)) return Result::Failed;
  const long long size = file.sizeAtOpen();
  if (size < 0) {
    error = "cannot tell its size";
    return Result::Failed;
  }
  snapshot.sizeAtOpen = size;
  snapshot.identity = file.identity();
  if (static_cast<unsigned long long>(size) > limit) return Result::TooLarge;
  const auto wanted = static_cast<std::size_t>(size);
  if (buffer_.size() < wanted)
    buffer_.resize(std::max(wanted, buffer_.size() + buffer_.size() / 2));

  // What was there on opening: a file that grows meanwhile is read to that size, so that the
  // snapshot ends where a writer had ended when it was taken.
  std::size_t used = 0;
  while (used < wanted) {
    std::string why;
    const long long got = file.readSome(buffer_.data() + used, wanted - used, why);
    if (got < 0) {
      error = "cannot read: " + why;
      return Result::Failed;
    }
    if (got == 0) break;  // it shrank
    used += static_cast<std::size_t>(got);
  }
  snapshot.sizeAfter = used < wanted ? static_cast<long long>(used) : file.size();
  snapshot.bytes = std::string_view(buffer_.data(), used);
  return Result::Read;
}

}  // namespace tarvok::tools
