#include "marketdata/file_snapshot.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace tarvok::tools {

namespace {

#ifdef _WIN32
int openForReading(const char* path) { return _open(path, _O_RDONLY | _O_BINARY); }
long long sizeOf(int fd) { return _filelengthi64(fd); }
long long readSome(int fd, char* into, std::size_t room) {
  return _read(fd, into, static_cast<unsigned>(std::min<std::size_t>(room, 1u << 30)));
}
void closeFile(int fd) { _close(fd); }
#else
int openForReading(const char* path) { return open(path, O_RDONLY | O_CLOEXEC); }
long long sizeOf(int fd) {
  struct stat info;
  return fstat(fd, &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}
long long readSome(int fd, char* into, std::size_t room) {
  for (;;) {
    const ssize_t got = ::read(fd, into, std::min<std::size_t>(room, 1u << 30));
    if (got >= 0 || errno != EINTR) return got;
  }
}
void closeFile(int fd) { close(fd); }
#endif

}  // namespace

FileSnapshotReader::Result FileSnapshotReader::read(const std::string& path, std::size_t limit,
                                                    std::string_view& bytes, std::string& error) {
  const int fd = openForReading(path.c_str());
  if (fd < 0) {
    error = std::strerror(errno);
    return Result::Failed;
  }
  // Room for the size it has now and one byte more, so that one read usually takes it all and
  // the next finds the end.
  const long long size = sizeOf(fd);
  const std::size_t wanted =
      size >= 0 ? static_cast<std::size_t>(std::min<long long>(size, static_cast<long long>(limit))) + 1
                : std::size_t{1} << 16;
  if (buffer_.size() < wanted) buffer_.resize(std::max(wanted, buffer_.size() * 2));

  std::size_t used = 0;
  for (;;) {
    if (used > limit) {
      closeFile(fd);
      return Result::TooLarge;
    }
    if (used == buffer_.size()) buffer_.resize(std::min(buffer_.size() * 2, limit + 1));
    const long long got = readSome(fd, buffer_.data() + used, buffer_.size() - used);
    if (got < 0) {
      error = std::string("cannot read: ") + std::strerror(errno);
      closeFile(fd);
      return Result::Failed;
    }
    if (got == 0) break;
    const std::size_t room = buffer_.size() - used;
    used += static_cast<std::size_t>(got);
    // A short read that reaches the size the file had on opening is its end: the read that
    // would find no more is saved.
    if (static_cast<std::size_t>(got) < room && size >= 0 && used == static_cast<std::size_t>(size)) break;
  }
  closeFile(fd);
  bytes = std::string_view(buffer_.data(), used);
  return Result::Read;
}

}  // namespace tarvok::tools
