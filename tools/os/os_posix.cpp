// The tool's operating-system calls on Linux (and other POSIX systems).

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if !defined(TARVOK_NO_PLUGIN_LOADING)
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include "os/os.h"

namespace tarvok::os {

namespace {

// Only a regular file can be overwritten: /dev/null may well be both input and chart.
bool same(const struct stat& a, const struct stat& b) {
  return S_ISREG(a.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::runtime_error errnoError(const char* what) {
  return std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

}  // namespace

bool isDirectory(const std::string& path) noexcept {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isOpenFile(std::FILE* stream, const std::string& path) noexcept {
  struct stat open {};
  struct stat other {};
  return fstat(fileno(stream), &open) == 0 && stat(path.c_str(), &other) == 0 && same(open, other);
}

bool isSameFile(const std::string& a, const std::string& b) noexcept {
  struct stat first {};
  struct stat second {};
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && same(first, second);
}

long long streamSize(std::FILE* stream) noexcept {
  if (fseeko(stream, 0, SEEK_END) != 0) return -1;
  return static_cast<long long>(ftello(stream));
}

bool isFolder(const std::string& path, std::string& error) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    error = "not a folder";
    return false;
  }
  return true;
}

bool listFolder(const std::string& path, bool (*wanted)(std::string_view name) noexcept,
                std::vector<FolderEntry>& entries, std::string& error) {
  DIR* folder = opendir(path.c_str());
  if (folder == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(folder);
    if (entry == nullptr) break;
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string full = joinPath(path, name);
    struct stat info;
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN) {  // some file systems do not tell
      type = lstat(full.c_str(), &info) != 0 ? DT_REG
             : S_ISDIR(info.st_mode)         ? DT_DIR
             : S_ISLNK(info.st_mode)         ? DT_LNK
             : S_ISREG(info.st_mode)         ? DT_REG
                                             : DT_UNKNOWN;
    }
    if (type == DT_LNK && wanted(name)) {
      // A link to a wanted file counts as the file; a dangling one as a file that cannot be opened.
      type = stat(full.c_str(), &info) != 0 || S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    if (type == DT_DIR) {
      entries.push_back({std::string(name), FolderEntry::Kind::Folder});
    } else if (type == DT_REG && wanted(name)) {
      entries.push_back({std::string(name), FolderEntry::Kind::File});
    }
  }
  const int readError = errno;
  closedir(folder);
  if (readError != 0) {
    error = std::strerror(readError);
    return false;
  }
  return true;
}

std::string joinPath(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

ReadOnlyFile::~ReadOnlyFile() { close(); }

bool ReadOnlyFile::open(const std::string& path, std::string& error) {
  close();
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) error = std::strerror(errno);
  return fd_ >= 0;
}

long long ReadOnlyFile::size() const noexcept {
  struct stat info;
  return fstat(fd_, &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

long long ReadOnlyFile::readSome(char* into, std::size_t room, std::string& error) noexcept {
  for (;;) {
    const ssize_t got = ::read(fd_, into, std::min<std::size_t>(room, 1u << 30));
    if (got >= 0) return got;
    if (errno != EINTR) {
      error = std::strerror(errno);
      return -1;
    }
  }
}

void ReadOnlyFile::close() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool isTerminal(std::FILE* stream) noexcept { return isatty(fileno(stream)) != 0; }

void useBinaryStandardStreams() noexcept {}

bool standardStreamsReady() noexcept {
  const auto isOpen = [](int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; };
  for (const int fd : {0, 2}) {
    if (isOpen(fd)) continue;
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      ::close(null);
    }
  }
  return isOpen(1);
}

void lockStream(std::FILE* stream) noexcept { flockfile(stream); }
void unlockStream(std::FILE* stream) noexcept { funlockfile(stream); }

StdoutDiversion::StdoutDiversion() {
  std::fflush(stdout);
  const int saved = dup(1);
  if (saved < 0) throw errnoError("cannot copy standard output");
  output_ = fdopen(saved, "wb");
  if (output_ == nullptr) {
    const std::runtime_error error = errnoError("cannot copy standard output");
    ::close(saved);
    throw error;
  }
  if (dup2(2, 1) < 0) {
    const std::runtime_error error = errnoError("cannot point standard output at standard error");
    std::fclose(output_);
    throw error;
  }
}

StdoutDiversion::~StdoutDiversion() {
  if (output_ != nullptr) std::fclose(output_);
}

unsigned hardwareThreads() noexcept {
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? n : 1;
}

Thread::~Thread() { join(); }

bool Thread::start(void (*fn)(void*), void* arg) noexcept {
  try {
    handle_ = new std::thread(fn, arg);
    return true;
  } catch (const std::system_error&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void Thread::join() noexcept {
  auto* thread = static_cast<std::thread*>(handle_);
  if (thread == nullptr) return;
  thread->join();
  delete thread;
  handle_ = nullptr;
}

#if defined(TARVOK_NO_PLUGIN_LOADING)

bool canLoadLibraries() noexcept { return false; }
std::string loaderPath(const std::string& path) { return path; }
Library::~Library() = default;
bool Library::open(const std::string&, std::string& error) {
  error = "this statically linked build cannot load plug-ins";
  return false;
}
void* Library::symbol(const char*) const noexcept { return nullptr; }

#else

bool canLoadLibraries() noexcept { return true; }

std::string loaderPath(const std::string& path) {
  return path.find('/') == std::string::npos ? "./" + path : path;
}

Library::~Library() {
  if (handle_ != nullptr) dlclose(handle_);
}

bool Library::open(const std::string& path, std::string& error) {
  handle_ = dlopen(loaderPath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* message = dlerror();
    error = message != nullptr ? message : "unknown error";
  }
  return handle_ != nullptr;
}

void* Library::symbol(const char* name) const noexcept { return dlsym(handle_, name); }

#endif

}  // namespace tarvok::os
