#include "os/file_identity.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace tarvok::tools {

#ifdef _WIN32
namespace {

// A file's identity: its volume and its index on the volume. Paths are narrow strings in the ANSI
// code page, as the tool gets them.
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
  const HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const Identity id = identityOf(handle);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  return id;
}

bool same(const Identity& a, const Identity& b) {
  return a.known && b.known && a.info.dwVolumeSerialNumber == b.info.dwVolumeSerialNumber &&
         a.info.nFileIndexHigh == b.info.nFileIndexHigh && a.info.nFileIndexLow == b.info.nFileIndexLow;
}

}  // namespace

bool isOpenFile(std::FILE* stream, const std::string& path) noexcept {
  return same(identityOf(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)))), identityOf(path));
}

bool isSameFile(const std::string& a, const std::string& b) noexcept {
  return same(identityOf(a), identityOf(b));
}

bool isDirectory(const std::string& path) noexcept {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
#else
namespace {

// Only a regular file can be overwritten: /dev/null may well be both input and chart.
bool same(const struct stat& a, const struct stat& b) {
  return S_ISREG(a.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

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

bool isDirectory(const std::string& path) noexcept {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
#endif

}  // namespace tarvok::tools
