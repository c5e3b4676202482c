#include "marketdata/file_snapshot.h"

#include <algorithm>

#include "os/os.h"

namespace tarvok::tools {

FileSnapshotReader::Result FileSnapshotReader::read(const std::string& path, std::size_t limit,
                                                    std::string_view& bytes, std::string& error) {
  os::ReadOnlyFile file;
  if (!file.open(path, error)) return Result::Failed;
  // Room for the size it has now and one byte more, so that one read usually takes it all and
  // the next finds the end.
  const long long size = file.size();
  const std::size_t wanted =
      size >= 0
          ? static_cast<std::size_t>(std::min<long long>(size, static_cast<long long>(limit))) + 1
          : std::size_t{1} << 16;
  if (buffer_.size() < wanted) buffer_.resize(std::max(wanted, buffer_.size() * 2));

  std::size_t used = 0;
  for (;;) {
    if (used > limit) return Result::TooLarge;
    if (used == buffer_.size()) buffer_.resize(std::min(buffer_.size() * 2, limit + 1));
    std::string why;
    const long long got = file.readSome(buffer_.data() + used, buffer_.size() - used, why);
    if (got < 0) {
      error = "cannot read: " + why;
      return Result::Failed;
    }
    if (got == 0) break;
    const std::size_t room = buffer_.size() - used;
    used += static_cast<std::size_t>(got);
    // A short read that reaches the size the file had on opening is its end: the read that
    // would find no more is saved.
    if (static_cast<std::size_t>(got) < room && size >= 0 && used == static_cast<std::size_t>(size))
      break;
  }
  bytes = std::string_view(buffer_.data(), used);
  return Result::Read;
}

}  // namespace tarvok::tools
