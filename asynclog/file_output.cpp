// Where the lines go, and when.

#include "asynclog/file_output.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "asynclog/platform.h"

namespace asynclog::detail {

std::FILE* openLogFile(const char* name, bool truncate, std::size_t& size) {
  std::FILE* file = std::fopen(name, truncate ? "w" : "a");
  if (file == nullptr) {
    const int error = errno;
    throw std::runtime_error(
        fmt::format("Unable to open file: {}: {}", name, std::strerror(error)));
  }
  std::fseek(file, 0, SEEK_END);
  const long end = std::ftell(file);
  size = end > 0 ? static_cast<std::size_t>(end) : 0;
  return file;
}

std::size_t FileOutput::append(fmt::string_view line, std::int64_t now) {
  const std::size_t filePos = filePos_;
  if (pending_.empty()) pendingSince_ = now;
  pending_.append(line.data(), line.size());
  pending_.push_back('\n');
  filePos_ += line.size() + kNewlineBytes;
  if (pending_.size() >= kFlushBytes) writePending();
  return filePos;
}

void FileOutput::flushIfDue(std::int64_t now, bool force) noexcept {
  if (!pending_.empty() && (force || now - pendingSince_ > kFlushDelayNs)) writePending();
}

void FileOutput::writePending() noexcept {
  if (pending_.empty()) return;
  if (file_ != nullptr) {
    // Nothing to be done about a failed write here; the text is dropped either way.
    std::fwrite(pending_.data(), 1, pending_.size(), file_);
    std::fflush(file_);
  }
  pending_.clear();
}

void FileOutput::close() noexcept {
  writePending();
  if (ownsFile_) {
    std::fclose(file_);
  } else if (file_ != nullptr) {
    std::fflush(file_);
  }
  file_ = nullptr;
  ownsFile_ = false;
}

void FileOutput::switchTo(std::FILE* file, std::size_t size, std::string& name) noexcept {
  close();
  file_ = file;
  ownsFile_ = true;
  fileName_.swap(name);
  filePos_ = size;
}

void FileOutput::dropStandardOutput() noexcept {
  if (!ownsFile_) file_ = nullptr;
}

void FileOutput::reopenOwnFile() noexcept {
  file_ = ownsFile_ ? std::fopen(fileName_.c_str(), "a") : nullptr;
  ownsFile_ = file_ != nullptr;
}

}  // namespace asynclog::detail
