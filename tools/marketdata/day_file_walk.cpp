#include "marketdata/day_file_walk.h"

#include <algorithm>

#include <fmt/format.h>

#include "os/os.h"
#include "text/ascii.h"

namespace tarvok::tools {

namespace {

using os::FolderEntry;

// Folders already walked, by identity: a link back to one of them (a loop, or a second way to
// the same folder) is passed over.
using Visited = std::vector<os::FileIdentity>;

void walk(const std::string& folder, DayFileList& list, Visited& visited) {
  std::vector<FolderEntry> entries;
  std::string error;
  if (!os::listFolder(folder, &isDayFileName, entries, error)) {
    list.problems.push_back(
        {list.files.size(), fmt::format("{}: cannot read the folder: {}", folder, error)});
    return;
  }
  ++list.folders;
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  for (const FolderEntry& entry : entries) {
    std::string path = os::joinPath(folder, entry.name);
    if (entry.kind == FolderEntry::Kind::Folder) {
      const os::FileIdentity id = os::folderIdentity(path);
      if (id.known && std::find(visited.begin(), visited.end(), id) != visited.end()) {
        list.problems.push_back(
            {list.files.size(), fmt::format("{}: links to a folder scanned already: passed over", path)});
        continue;
      }
      if (id.known) visited.push_back(id);
      walk(path, list, visited);
    } else {
      const auto nameStart = static_cast<std::uint32_t>(path.size() - entry.name.size());
      list.files.push_back({std::move(path), nameStart});
    }
  }
}

}  // namespace

bool isDayFileName(std::string_view name) noexcept {
  return name.size() > 4 && endsWithIgnoringCase(name, ".day");
}

DayFileList findDayFiles(const std::string& root) {
  std::string error;
  if (!os::isFolder(root, error)) throw WalkError(fmt::format("{}: {}", root, error));
  DayFileList list;
  Visited visited;
  if (const os::FileIdentity id = os::folderIdentity(root); id.known) visited.push_back(id);
  walk(root, list, visited);
  if (list.folders == 0) throw WalkError(list.problems.front().message);
  return list;
}

}  // namespace tarvok::tools
