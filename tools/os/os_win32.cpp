// The tool's operating-system calls on Windows. Every path is UTF-8 here and reaches the system as
// wide characters, so that a name outside the ANSI code page works.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "os/os.h"
#include "text/path_name.h"

namespace tarvok::os {

namespace {

std::wstring widen(std::string_view text) {
  if (text.empty()) return std::wstring();
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string narrow(const wchar_t* text, int length = -1) {
  if (length < 0) length = static_cast<int>(wcslen(text));
  if (length == 0) return std::string();
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

// The system's own text for an error (in the language of the system), without the line end and
// full stop it ends with; empty when it has none.
std::string systemText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message =
      length > 0 && text != nullptr ? narrow(text, static_cast<int>(length)) : std::string();
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

// Only a regular file on a disk has an identity here: NUL may well be both input and chart. The
// 128-bit file id where the system has it (Windows 8 on; Wine also for the standard streams,
// where the older call fails), else the 64-bit index.
FileIdentity identityOfHandle(HANDLE handle, bool folder = false) {
  FileIdentity id;
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr ||
      GetFileType(handle) != FILE_TYPE_DISK) {
    return id;
  }
  FILE_BASIC_INFO basic{};
  FILE_ID_INFO fileId{};
  if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
      GetFileInformationByHandleEx(handle, FileIdInfo, &fileId, sizeof fileId)) {
    id.known = ((basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder;
    id.device = fileId.VolumeSerialNumber;
    std::memcpy(&id.index, fileId.FileId.Identifier, 8);
    std::memcpy(&id.indexHigh, fileId.FileId.Identifier + 8, 8);
    return id;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return id;
  id.known = ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder;
  id.device = info.dwVolumeSerialNumber;
  id.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return id;
}

FileIdentity identityOfPath(const std::string& path, bool folder) {
  // No access asked for: only the identity is read. Folders need the backup flag.
  const HANDLE handle =
      CreateFileW(widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const FileIdentity id = identityOfHandle(handle, folder);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  return id;
}

std::runtime_error errnoError(const char* what) {
  return std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

bool isConsole(std::FILE* stream) {
  DWORD mode = 0;
  const intptr_t handle = _get_osfhandle(_fileno(stream));
  return handle != -1 && handle != -2 &&
         GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode) != 0;
}

}  // namespace

}  // namespace tarvok::os

// The C runtime's own split of the wide command line, as it splits the narrow one for main (the
// same rules of quotes and backslashes); declared here, as MinGW's headers do not.
struct TarvokStartupInfo {
  int newMode;
};
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment,
                                      int expandWildcards, TarvokStartupInfo* info);

namespace tarvok::os {

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = nullptr;
  wchar_t** environment = nullptr;
  TarvokStartupInfo info{0};
  if (__wgetmainargs(&count, &wide, &environment, 0, &info) != 0 || wide == nullptr) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  }
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(narrow(wide[i]));
  return args;
}

FileIdentity identityOf(const std::string& path) noexcept {
  try {
    return identityOfPath(path, false);
  } catch (...) {
    return FileIdentity{};
  }
}

FileIdentity identityOf(std::FILE* stream) noexcept {
  return identityOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
}

bool isDirectory(const std::string& path) noexcept {
  try {
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  } catch (...) {
    return false;
  }
}

long long streamSize(std::FILE* stream) noexcept {
  if (_fseeki64(stream, 0, SEEK_END) != 0) return -1;
  return _ftelli64(stream);
}

std::FILE* openFile(const std::string& path, const char* mode) noexcept {
  try {
    return _wfopen(widen(path).c_str(), widen(mode).c_str());
  } catch (...) {
    errno = ENOMEM;
    return nullptr;
  }
}

bool isFolder(const std::string& path, std::string& error) {
  const DWORD attributes = GetFileAttributesW(widen(path).c_str());
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

FileIdentity folderIdentity(const std::string& path) noexcept {
  try {
    return identityOfPath(path, true);
  } catch (...) {
    return FileIdentity{};
  }
}

bool listFolder(const std::string& path, bool (*wanted)(std::string_view name) noexcept,
                std::vector<FolderEntry>& entries, std::string& error) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(widen(joinPath(path, "*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return true;  // not even "." and ".."
    error = folderError(code);
    return false;
  }
  do {
    const std::string name = narrow(found.cFileName);
    if (name == "." || name == "..") continue;
    const DWORD a = found.dwFileAttributes;
    const bool linked = (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if ((a & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      entries.push_back({name, FolderEntry::Kind::Folder, linked});
    } else if (wanted(name)) {
      entries.push_back({name, FolderEntry::Kind::File, linked});
    }
  } while (FindNextFileW(search, &found));
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
  if (isWindowsDeviceName(tools::baseName(path))) {
    error = "a name Windows keeps for a device (such as AUX, COM1, NUL): not read";
    return false;
  }
  const int fd = _wopen(widen(path).c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  const FileIdentity identity = identityOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(fd)));
  if (!identity.known) {
    error = "is not a regular file";
    _close(fd);
    return false;
  }
  handle_ = fd;
  sizeAtOpen_ = _filelengthi64(fd);
  identity_ = identity;
  return true;
}

long long ReadOnlyFile::size() const noexcept { return _filelengthi64(static_cast<int>(handle_)); }

long long ReadOnlyFile::readSome(char* into, std::size_t room, std::string& error) noexcept {
  const int got = _read(static_cast<int>(handle_), into,
                        static_cast<unsigned>(std::min<std::size_t>(room, 1u << 30)));
  if (got < 0) error = std::strerror(errno);
  return got;
}

void ReadOnlyFile::close() noexcept {
  if (handle_ >= 0) _close(static_cast<int>(handle_));
  handle_ = -1;
  sizeAtOpen_ = -1;
  identity_ = FileIdentity{};
}

ReplacingFile::~ReplacingFile() { abandon(); }

bool ReplacingFile::open(const std::string& target, std::string& error) {
  abandon();
  target_ = target;
  const DWORD attributes = GetFileAttributesW(widen(target).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error = "is a folder";
    return false;
  }
  const std::size_t slash = target.find_last_of("/\\");
  const std::string folder =
      slash == std::string::npos ? std::string(".") : target.substr(0, slash);
  const std::string name(slash == std::string::npos ? std::string_view(target)
                                                    : std::string_view(target).substr(slash + 1));
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary_ = joinPath(folder, "." + name + ".tarvok-" + std::to_string(_getpid()) + "-" +
                                      std::to_string(counter.fetch_add(1)) + ".tmp");
    const int fd = _wopen(widen(temporary_).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                          _S_IREAD | _S_IWRITE);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) break;
    stream_ = _fdopen(fd, "wb");
    if (stream_ == nullptr) {
      _close(fd);
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
  bool written = std::fflush(stream_) == 0 && _commit(_fileno(stream_)) == 0;
  const int code = errno;
  written = std::fclose(stream_) == 0 && written;
  stream_ = nullptr;
  if (!written) {
    error = std::strerror(code != 0 ? code : errno);
    abandon();
    return false;
  }
  if (!MoveFileExW(widen(temporary_).c_str(), widen(target_).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = folderError(GetLastError());
    abandon();
    return false;
  }
  temporary_.clear();
  return true;
}

void ReplacingFile::abandon() noexcept {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  if (!temporary_.empty()) {
    try {
      DeleteFileW(widen(temporary_).c_str());
    } catch (...) {}
  }
  temporary_.clear();
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

bool writeText(std::FILE* stream, std::string_view text) noexcept {
  if (!isConsole(stream)) return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  // What the stream holds already goes first.
  std::fflush(stream);
  const HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  constexpr std::size_t kChunk = 1024;
  wchar_t wide[kChunk + 4];
  while (!text.empty()) {
    // Whole characters only: a chunk never ends inside a UTF-8 sequence.
    std::size_t take = std::min(text.size(), kChunk);
    while (take < text.size() && take > 0 &&
           (static_cast<unsigned char>(text[take]) & 0xC0) == 0x80) {
      --take;
    }
    if (take == 0) take = std::min(text.size(), kChunk);
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(take), wide,
                                           static_cast<int>(kChunk + 4));
    DWORD written = 0;
    if (length <= 0 ||
        !WriteConsoleW(console, wide, static_cast<DWORD>(length), &written, nullptr)) {
      return false;
    }
    text.remove_prefix(take);
  }
  return true;
}

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

std::string userLanguage() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  const LCID locale = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
  if (LCIDToLocaleName(locale, name, LOCALE_NAME_MAX_LENGTH, 0) <= 0) return {};
  return narrow(name);
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

static_assert(sizeof(SRWLOCK) <= 64, "room for the lock");

Mutex::Mutex() noexcept { InitializeSRWLock(reinterpret_cast<SRWLOCK*>(storage_)); }
Mutex::~Mutex() = default;  // an SRW lock needs no undoing
void Mutex::lock() noexcept { AcquireSRWLockExclusive(reinterpret_cast<SRWLOCK*>(storage_)); }
void Mutex::unlock() noexcept { ReleaseSRWLockExclusive(reinterpret_cast<SRWLOCK*>(storage_)); }

bool canLoadLibraries() noexcept { return true; }

Library::~Library() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

bool Library::open(const std::string& path, std::string& error) {
  // The full path: a bare name would be looked up on the loader's search path.
  const std::wstring wide = widen(path);
  wchar_t full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameW(wide.c_str(), MAX_PATH * 4, full, nullptr);
  handle_ = reinterpret_cast<void*>(
      LoadLibraryW(length > 0 && length < MAX_PATH * 4 ? full : wide.c_str()));
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
