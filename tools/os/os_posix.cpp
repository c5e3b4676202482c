// The tool's operating-system calls on Linux (and other POSIX systems).

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if !defined(TARVOK_NO_PLUGIN_LOADING)
#include <dlfcn.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include "os/os.h"

namespace tarvok::os {

namespace {

// Only a regular file has an identity here: /dev/null may well be both input and chart.
FileIdentity identityOfStat(const struct stat& info) {
  FileIdentity id;
  id.known = S_ISREG(info.st_mode);
  id.device = static_cast<std::uint64_t>(info.st_dev);
  id.index = static_cast<std::uint64_t>(info.st_ino);
  return id;
}

std::runtime_error errnoError(const char* what) {
  return std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

const char* kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "is a folder, not a file";
  if (S_ISFIFO(mode)) return "is a FIFO, not a regular file";
  if (S_ISSOCK(mode)) return "is a socket, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a regular file";
  return "is not a regular file";
}

}  // namespace

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

FileIdentity identityOf(const std::string& path) noexcept {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? identityOfStat(info) : FileIdentity{};
}

FileIdentity identityOf(std::FILE* stream) noexcept {
  struct stat info {};
  return fstat(fileno(stream), &info) == 0 ? identityOfStat(info) : FileIdentity{};
}

bool isDirectory(const std::string& path) noexcept {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

long long streamSize(std::FILE* stream) noexcept {
  if (fseeko(stream, 0, SEEK_END) != 0) return -1;
  return static_cast<long long>(ftello(stream));
}

std::FILE* openFile(const std::string& path, const char* mode) noexcept {
  return std::fopen(path.c_str(), mode);
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

FileIdentity folderIdentity(const std::string& path) noexcept {
  struct stat info {};
  FileIdentity id;
  if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return id;
  id.known = true;
  id.device = static_cast<std::uint64_t>(info.st_dev);
  id.index = static_cast<std::uint64_t>(info.st_ino);
  return id;
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
    bool linked = false;
    if (type == DT_LNK) {
      // A link to a folder is the folder; a link to a wanted file counts as the file, and a
      // dangling one as a file that cannot be opened.
      linked = true;
      if (stat(full.c_str(), &info) != 0) {
        type = wanted(name) ? DT_REG : DT_UNKNOWN;
      } else {
        type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
      }
    }
    if (type == DT_DIR) {
      entries.push_back({std::string(name), FolderEntry::Kind::Folder, linked});
    } else if (type == DT_REG && wanted(name)) {
      entries.push_back({std::string(name), FolderEntry::Kind::File, linked});
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
  // Not blocking: a FIFO would wait for a writer in open(), and a device in read().
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  struct stat info;
  if (fstat(fd, &info) != 0) {
    error = std::strerror(errno);
    ::close(fd);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    error = kindOf(info.st_mode);
    ::close(fd);
    return false;
  }
  handle_ = fd;
  sizeAtOpen_ = static_cast<long long>(info.st_size);
  identity_ = identityOfStat(info);
  return true;
}

long long ReadOnlyFile::size() const noexcept {
  struct stat info;
  return fstat(static_cast<int>(handle_), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

long long ReadOnlyFile::readSome(char* into, std::size_t room, std::string& error) noexcept {
  for (;;) {
    const ssize_t got =
        ::read(static_cast<int>(handle_), into, std::min<std::size_t>(room, 1u << 30));
    if (got >= 0) return got;
    if (errno != EINTR) {
      error = std::strerror(errno);
      return -1;
    }
  }
}

void ReadOnlyFile::close() noexcept {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
  sizeAtOpen_ = -1;
  identity_ = FileIdentity{};
}

ReplacingFile::~ReplacingFile() { abandon(); }

bool ReplacingFile::open(const std::string& target, std::string& error) {
  abandon();
  // Through a link, the file it names; else the name as given.
  target_ = target;
  struct stat info {};
  const bool exists = stat(target.c_str(), &info) == 0;
  if (exists && S_ISDIR(info.st_mode)) {
    error = "is a folder";
    return false;
  }
  if (char* real = exists ? realpath(target.c_str(), nullptr) : nullptr) {
    target_ = real;
    std::free(real);
  }
  const std::size_t slash = target_.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string(".") : target_.substr(0, slash);
  const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary_ = joinPath(folder, "." + name + ".tarvok-" + std::to_string(getpid()) + "-" +
                                      std::to_string(counter.fetch_add(1)) + ".tmp");
    // A file of the target's permissions, as rewriting it in place would keep them.
    const int fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          exists ? (info.st_mode & 07777) : 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) break;
    if (exists) fchmod(fd, info.st_mode & 07777);
    stream_ = fdopen(fd, "wb");
    if (stream_ == nullptr) {
      ::close(fd);
      break;
    }
    return true;
  }
  error = std::strerror(errno);
  temporary_.clear();
  return false;
}

bool ReplacingFile::commit(std::string& error) {
  if (stream_ == nullptr) {
    error = "not open";
    return false;
  }
  // The data on the disk before the name: a full disk shows here, with the old file still whole.
  bool written = std::fflush(stream_) == 0 && fsync(fileno(stream_)) == 0;
  int code = errno;
  written = std::fclose(stream_) == 0 && written;
  if (!written && code == 0) code = errno;
  stream_ = nullptr;
  if (written && std::rename(temporary_.c_str(), target_.c_str()) == 0) {
    temporary_.clear();
    return true;
  }
  error = std::strerror(written ? errno : code);
  abandon();
  return false;
}

void ReplacingFile::abandon() noexcept {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  if (!temporary_.empty()) std::remove(temporary_.c_str());
  temporary_.clear();
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

bool writeText(std::FILE* stream, std::string_view text) noexcept {
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

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

std::string userLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return value;
  }
  return {};
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

static_assert(sizeof(std::mutex) <= 64 && alignof(std::mutex) <= 16, "room for the lock");

Mutex::Mutex() noexcept { new (storage_) std::mutex(); }
Mutex::~Mutex() { reinterpret_cast<std::mutex*>(storage_)->~mutex(); }
void Mutex::lock() noexcept { reinterpret_cast<std::mutex*>(storage_)->lock(); }
void Mutex::unlock() noexcept { reinterpret_cast<std::mutex*>(storage_)->unlock(); }

#if defined(TARVOK_NO_PLUGIN_LOADING)

bool canLoadLibraries() noexcept { return false; }
Library::~Library() = default;
bool Library::open(const std::string&, std::string& error) {
  error = "this statically linked build cannot load plug-ins";
  return false;
}
void* Library::symbol(const char*) const noexcept { return nullptr; }

#else

bool canLoadLibraries() noexcept { return true; }

Library::~Library() {
  if (handle_ != nullptr) dlclose(handle_);
}

bool Library::open(const std::string& path, std::string& error) {
  // A name without a slash would be looked up on the loader's search path.
  const std::string named = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = dlopen(named.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* message = dlerror();
    error = message != nullptr ? message : "unknown error";
  }
  return handle_ != nullptr;
}

void* Library::symbol(const char* name) const noexcept { return dlsym(handle_, name); }

#endif

}  // namespace tarvok::os
