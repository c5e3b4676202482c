// Where the lines go, and when.

#include "file_output.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace asynclog::detail {

LogFile openLogFile(const char* name, bool truncate, std::size_t& size) {
  LogFile file;
  if (!file.open(name, truncate)) {
    const int error = errno;
    throw std::runtime_error(
        fmt::format("Unable to open file: {}: {}", name, std::strerror(error)));
  }
  size = file.size();
  return file;
}

std::size_t FileOutput::append(fmt::string_view line, std::int64_t now) {
  const std::size_t filePos = filePos_;
  filePos_ += line.size() + kNewlineBytes;
  if (fixedCapacity_ && line.size() + 1 > pending_.capacity() - pending_.size()) {
    writePending();
    if (line.size() + 1 > pending_.capacity()) {
      write(line.data(), line.size());
      write("\n", 1);
      return filePos;
    }
  }
  if (pending_.empty()) pendingSince_ = now;
  pending_.append(line.data(), line.size());
  pending_.push_back('\n');
  if (pending_.size() >= kFlushBytes) writePending();
  return filePos;
}

void FileOutput::flushIfDue(std::int64_t now, bool force) noexcept {
  if (!pending_.empty() && (force || now - pendingSince_ > kFlushDelayNs)) writePending();
}

void FileOutput::write(const char* data, std::size_t size) noexcept {
  // Nothing to be done about a failed write here; the text is dropped either way.
  if (file_.isOpen()) {
    file_.write(data, size);
  } else if (toStandardOutput_) {
    std::fwrite(data, 1, size, stdout);
    std::fflush(stdout);
  }
}

void FileOutput::writePending() noexcept {
  if (pending_.empty()) return;
  write(pending_.data(), pending_.size());
  pending_.clear();
}

void FileOutput::close() noexcept {
  writePending();
  if (file_.isOpen()) {
    file_.close();
  } else if (toStandardOutput_) {
    std::fflush(stdout);
  }
  toStandardOutput_ = false;
}

void FileOutput::switchTo(LogFile& file, std::size_t size) noexcept {
  close();
  file_.swap(file);
  filePos_ = size;
}

void FileOutput::dropStandardOutput() noexcept { toStandardOutput_ = false; }

}  // namespace asynclog::detail
