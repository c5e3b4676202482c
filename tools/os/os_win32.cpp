// The tool's operating-system calls on Windows. Paths are narrow strings in the ANSI code page, as
// the tool gets them.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "os/os.h"

namespace tarvok::os {

namespace {

// The system's own text for an error (in the language of the system), without the line end and
// full stop it ends with; empty when it has none.
std::string systemText(DWORD code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

std::string folderError(DWORD code) {
  const std::string text = systemText(code);
  return text.empty() ? "Windows error " + std::to_string(code) : text;
}

// A file's identity: its volume and its index on the volume.
struct Identity {
  bool known = false;
  BY_HANDLE_FILE_INFORMATION info{};
};

Identity identityOf(HANDLE handle) {
  Identity id;
  id.known = handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK &&
             GetFileInformationByHandle(handle, &id.info);
  return id;
}

Identity identityOf(const std::string& path) {
  // No access asked for: only the identity is read. Directories need the backup flag.
  const HANDLE handle =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const Identity id = identityOf(handle);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  return id;
}

bool same(const Identity& a, const Identity& b) {
  return a.known && b.known && a.info.dwVolumeSerialNumber == b.info.dwVolumeSerialNumber &&
         a.info.nFileIndexHigh == b.info.nFileIndexHigh &&
         a.info.nFileIndexLow == b.info.nFileIndexLow;
}

std::runtime_error errnoError(const char* what) {
  return std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

}  // namespace

bool isDirectory(const std::string& path) noexcept {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isOpenFile(std::FILE* stream, const std::string& path) noexcept {
  return same(identityOf(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)))),
              identityOf(path));
}

bool isSameFile(const std::string& a, const std::string& b) noexcept {
  return same(identityOf(a), identityOf(b));
}

long long streamSize(std::FILE* stream) noexcept {
  if (_fseeki64(stream, 0, SEEK_END) != 0) return -1;
  return _ftelli64(stream);
}

bool isFolder(const std::string& path, std::string& error) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    error = folderError(GetLastError());
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    error = "not a folder";
    return false;
  }
  return true;
}

bool listFolder(const std::string& path, bool (*wanted)(std::string_view name) noexcept,
                std::vector<FolderEntry>& entries, std::string& error) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(joinPath(path, "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return true;  // not even "." and ".."
    error = folderError(code);
    return false;
  }
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const DWORD a = found.dwFileAttributes;
    if ((a & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      if ((a & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        entries.push_back({name, FolderEntry::Kind::Folder});
    } else if (wanted(name)) {
      entries.push_back({name, FolderEntry::Kind::File});
    }
  } while (FindNextFileA(search, &found));
  const DWORD code = GetLastError();
  FindClose(search);
  if (code != ERROR_NO_MORE_FILES) {
    error = folderError(code);
    return false;
  }
  return true;
}

std::string joinPath(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || (path.back() != '/' && path.back() != '\\')) path += '\\';
  path += name;
  return path;
}

ReadOnlyFile::~ReadOnlyFile() { close(); }

bool ReadOnlyFile::open(const std::string& path, std::string& error) {
  close();
  fd_ = _open(path.c_str(), _O_RDONLY | _O_BINARY);
  if (fd_ < 0) error = std::strerror(errno);
  return fd_ >= 0;
}

long long ReadOnlyFile::size() const noexcept { return _filelengthi64(fd_); }

long long ReadOnlyFile::readSome(char* into, std::size_t room, std::string& error) noexcept {
  const int got = _read(fd_, into, static_cast<unsigned>(std::min<std::size_t>(room, 1u << 30)));
  if (got < 0) error = std::strerror(errno);
  return got;
}

void ReadOnlyFile::close() noexcept {
  if (fd_ >= 0) _close(fd_);
  fd_ = -1;
}

bool isTerminal(std::FILE* stream) noexcept { return _isatty(_fileno(stream)) != 0; }

void useBinaryStandardStreams() noexcept {
  // Bytes as they are: CR LF in the input is handled by the readers, and rows end in LF only.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

bool standardStreamsReady() noexcept {
  const auto isOpen = [](int fd) {
    const intptr_t handle = _get_osfhandle(fd);
    return handle != -1 && handle != -2 && handle != 0;
  };
  for (const int fd : {0, 2}) {
    if (isOpen(fd)) continue;
    const int null = _open("NUL", _O_RDWR);
    if (null >= 0 && null != fd) {
      _dup2(null, fd);
      _close(null);
    }
  }
  return isOpen(1);
}

void lockStream(std::FILE* stream) noexcept { _lock_file(stream); }
void unlockStream(std::FILE* stream) noexcept { _unlock_file(stream); }

StdoutDiversion::StdoutDiversion() {
  std::fflush(stdout);
  const int saved = _dup(1);
  if (saved < 0) throw errnoError("cannot copy standard output");
  _setmode(saved, _O_BINARY);
  output_ = _fdopen(saved, "wb");
  if (output_ == nullptr) {
    const std::runtime_error error = errnoError("cannot copy standard output");
    _close(saved);
    throw error;
  }
  if (_dup2(2, 1) < 0) {
    const std::runtime_error error = errnoError("cannot point standard output at standard error");
    std::fclose(output_);
    throw error;
  }
}

StdoutDiversion::~StdoutDiversion() {
  if (output_ != nullptr) std::fclose(output_);
}

unsigned hardwareThreads() noexcept {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

namespace {

struct ThreadStart {
  void (*fn)(void*);
  void* arg;
};

unsigned __stdcall threadMain(void* argument) {
  const ThreadStart start = *static_cast<ThreadStart*>(argument);
  delete static_cast<ThreadStart*>(argument);
  start.fn(start.arg);
  return 0;
}

}  // namespace

Thread::~Thread() { join(); }

bool Thread::start(void (*fn)(void*), void* arg) noexcept {
  auto* start = new (std::nothrow) ThreadStart{fn, arg};
  if (start == nullptr) return false;
  const std::uintptr_t handle = _beginthreadex(nullptr, 0, &threadMain, start, 0, nullptr);
  if (handle == 0) {
    delete start;
    return false;
  }
  handle_ = reinterpret_cast<void*>(handle);
  return true;
}

void Thread::join() noexcept {
  if (handle_ == nullptr) return;
  WaitForSingleObject(static_cast<HANDLE>(handle_), INFINITE);
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

bool canLoadLibraries() noexcept { return true; }

std::string loaderPath(const std::string& path) {
  char full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return length > 0 && length < sizeof full ? std::string(full, length) : path;
}

Library::~Library() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

bool Library::open(const std::string& path, std::string& error) {
  handle_ = reinterpret_cast<void*>(LoadLibraryA(loaderPath(path).c_str()));
  if (handle_ == nullptr) {
    // The system's own text, with the number to look up.
    const DWORD code = GetLastError();
    const std::string text = systemText(code);
    error = text.empty() ? "error " + std::to_string(code)
                         : text + " (error " + std::to_string(code) + ")";
  }
  return handle_ != nullptr;
}

void* Library::symbol(const char* name) const noexcept {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace tarvok::os
