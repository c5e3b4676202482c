#include "marketdata/bar_file_walk.h"

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

bool wantedForDays(std::string_view name) noexcept {
  return isDayFileName(name) || isExportFileName(name);
}
bool wantedForFiveMinutes(std::string_view name) noexcept {
  return isMinuteFileName(name, Timeframe::FiveMinutes) || isExportFileName(name);
}
bool wantedForOneMinute(std::string_view name) noexcept {
  return isMinuteFileName(name, Timeframe::OneMinute) || isExportFileName(name);
}

void walk(const std::string& folder, bool (*wanted)(std::string_view) noexcept, BarFileList& list,
          Visited& visited) {
  std::vector<FolderEntry> entries;
  std::string error;
  if (!os::listFolder(folder, wanted, entries, error)) {
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
            {list.files.size(),
             fmt::format("{}: links to a folder scanned already: passed over", path)});
        continue;
      }
      if (id.known) visited.push_back(id);
      walk(path, wanted, list, visited);
    } else {
      const auto nameStart = static_cast<std::uint32_t>(path.size() - entry.name.size());
      const BarFileType type = isExportFileName(entry.name) ? BarFileType::Export
                               : isDayFileName(entry.name)  ? BarFileType::Daily
                                                            : BarFileType::Minute;
      list.files.push_back({std::move(path), nameStart, type});
    }
  }
}

}  // namespace

std::string_view timeframeName(Timeframe timeframe) noexcept {
  switch (timeframe) {
    case Timeframe::FiveMinutes: return "5min";
    case Timeframe::OneMinute: return "1min";
    default: return "day";
  }
}

std::optional<Timeframe> parseTimeframe(std::string_view name) noexcept {
  for (const Timeframe t : {Timeframe::Day, Timeframe::FiveMinutes, Timeframe::OneMinute}) {
    if (equalsIgnoringCase(name, timeframeName(t))) return t;
  }
  return std::nullopt;
}

bool isDayFileName(std::string_view name) noexcept {
  return name.size() > 4 && endsWithIgnoringCase(name, ".day");
}

bool isMinuteFileName(std::string_view name, Timeframe timeframe) noexcept {
  if (timeframe == Timeframe::Day || name.size() <= 4) return false;
  return endsWithIgnoringCase(name, timeframe == Timeframe::FiveMinutes ? ".lc5" : ".lc1");
}

bool isExportFileName(std::string_view name) noexcept {
  const std::size_t hash = name.find('#');
  return name.size() > 4 && endsWithIgnoringCase(name, ".txt") && hash != std::string_view::npos &&
         hash > 0 && hash + 1 < name.size() - 4;
}

BarFileList findBarFiles(const std::string& root, Timeframe timeframe) {
  std::string error;
  if (!os::isFolder(root, error)) throw WalkError(fmt::format("{}: {}", root, error));
  bool (*wanted)(std::string_view) noexcept = timeframe == Timeframe::Day ? &wantedForDays
                                              : timeframe == Timeframe::FiveMinutes
                                                  ? &wantedForFiveMinutes
                                                  : &wantedForOneMinute;
  BarFileList list;
  Visited visited;
  if (const os::FileIdentity id = os::folderIdentity(root); id.known) visited.push_back(id);
  walk(root, wanted, list, visited);
  if (list.folders == 0) throw WalkError(list.problems.front().message);
  return list;
}

}  // namespace tarvok::tools
