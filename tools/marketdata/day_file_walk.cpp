#include "marketdata/day_file_walk.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace tarvok::tools {

namespace {

enum class EntryKind { File, Folder };

struct FolderEntry {
  std::string name;
  EntryKind kind;
};

std::string joined(const std::string& folder, const std::string& name);

#ifdef _WIN32

constexpr char kSeparator = '\\';

std::string systemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 ? std::string(text, length) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message.empty() ? fmt::format("Windows error {}", code) : message;
}

// The root as a folder, or the reason it is not one.
bool isFolder(const std::string& path, std::string& error) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    error = systemMessage(GetLastError());
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    error = "not a folder";
    return false;
  }
  return true;
}

bool listFolder(const std::string& path, std::vector<FolderEntry>& entries, std::string& error) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(joined(path, "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return true;  // not even "." and ".."
    error = systemMessage(code);
    return false;
  }
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const DWORD a = found.dwFileAttributes;
    if ((a & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      if ((a & FILE_ATTRIBUTE_REPARSE_POINT) == 0) entries.push_back({name, EntryKind::Folder});
    } else if (isDayFileName(name)) {
      entries.push_back({name, EntryKind::File});
    }
  } while (FindNextFileA(search, &found));
  const DWORD code = GetLastError();
  FindClose(search);
  if (code != ERROR_NO_MORE_FILES) {
    error = systemMessage(code);
    return false;
  }
  return true;
}

#else

constexpr char kSeparator = '/';

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

bool listFolder(const std::string& path, std::vector<FolderEntry>& entries, std::string& error) {
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
    const std::string full = joined(path, entry->d_name);
    struct stat info;
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN) {  // some file systems do not tell
      type = lstat(full.c_str(), &info) != 0 ? DT_REG
             : S_ISDIR(info.st_mode)          ? DT_DIR
             : S_ISLNK(info.st_mode)          ? DT_LNK
             : S_ISREG(info.st_mode)          ? DT_REG
                                              : DT_UNKNOWN;
    }
    if (type == DT_LNK && isDayFileName(name)) {
      // A link to a daily file counts as the file; a dangling one as a file that cannot be opened.
      type = stat(full.c_str(), &info) != 0 || S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    if (type == DT_DIR) {
      entries.push_back({std::string(name), EntryKind::Folder});
    } else if (type == DT_REG && isDayFileName(name)) {
      entries.push_back({std::string(name), EntryKind::File});
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

#endif

std::string joined(const std::string& folder, const std::string& name) {
  if (!folder.empty() && (folder.back() == '/' || folder.back() == kSeparator)) return folder + name;
  return folder + kSeparator + name;
}

void walk(const std::string& folder, DayFileList& list) {
  std::vector<FolderEntry> entries;
  std::string error;
  if (!listFolder(folder, entries, error)) {
    list.problems.push_back({list.files.size(), fmt::format("{}: cannot read the folder: {}", folder, error)});
    return;
  }
  ++list.folders;
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  for (const FolderEntry& entry : entries) {
    std::string path = joined(folder, entry.name);
    if (entry.kind == EntryKind::Folder) {
      walk(path, list);
    } else {
      const auto nameStart = static_cast<std::uint32_t>(path.size() - entry.name.size());
      list.files.push_back({std::move(path), nameStart});
    }
  }
}

}  // namespace

bool isDayFileName(std::string_view name) noexcept {
  if (name.size() <= 4) return false;
  const std::string_view suffix = name.substr(name.size() - 4);
  return suffix[0] == '.' && (suffix[1] | 0x20) == 'd' && (suffix[2] | 0x20) == 'a' &&
         (suffix[3] | 0x20) == 'y';
}

DayFileList findDayFiles(const std::string& root) {
  std::string error;
  if (!isFolder(root, error)) throw WalkError(fmt::format("{}: {}", root, error));
  DayFileList list;
  walk(root, list);
  if (list.folders == 0) throw WalkError(list.problems.front().message);
  return list;
}

}  // namespace tarvok::tools
