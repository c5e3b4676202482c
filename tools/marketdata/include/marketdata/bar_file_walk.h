#pragma once
// Finding the terminal's bar files below a folder: its daily files (vipdoc/sh/lday/sh600000.day),
// its 5-minute and 1-minute files (vipdoc/sh/fzline/sh600000.lc5, vipdoc/sh/minline/...lc1) and
// the text exports of its data export (SH#600000.txt).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok::tools {

// The bars a scan reads: daily, 5-minute or 1-minute.
enum class Timeframe { Day, FiveMinutes, OneMinute };
std::string_view timeframeName(Timeframe timeframe) noexcept;  // "day", "5min", "1min"
// The timeframe of that name, in any case.
std::optional<Timeframe> parseTimeframe(std::string_view name) noexcept;

enum class BarFileType { Daily, Minute, Export };

// A bar file: its path (the folder given, then the names below it), where its name starts, and
// what kind of file its name says it is.
struct BarFileEntry {
  std::string path;
  std::uint32_t nameStart = 0;
  BarFileType type = BarFileType::Daily;
  std::string_view fileName() const { return std::string_view(path).substr(nameStart); }
  // The file name without its extension.
  std::string_view stem() const {
    return std::string_view(path).substr(nameStart, path.size() - nameStart - 4);
  }
};

// A folder below the root that could not be read, and how many files the walk had found before.
struct WalkProblem {
  std::size_t filesBefore = 0;
  std::string message;  // the folder's path and the reason
};

struct BarFileList {
  std::vector<BarFileEntry> files;  // in walk order
  std::vector<WalkProblem> problems;
  std::size_t folders = 0;  // folders read, the root included
};

// The root itself does not exist, is not a folder or cannot be read.
class WalkError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Whether a file name is one the terminal gives a file of that kind: something, then ".day",
// ".lc5" or ".lc1" (Windows does not tell case apart in names, so neither does the scan, on any
// system); an export is "<market>#<code>.txt" (SH#600000.txt, 47#IF2412.txt).
bool isDayFileName(std::string_view name) noexcept;
bool isMinuteFileName(std::string_view name, Timeframe timeframe) noexcept;
bool isExportFileName(std::string_view name) noexcept;

// Every file of the timeframe below root, in every folder below it: daily files for Day, .lc5
// files for FiveMinutes, .lc1 files for OneMinute, and text exports for all (of which only those
// of the timeframe's period give rows). Each folder's entries are taken in byte order of their
// names, folders depth-first, so the order is the same on every system and every run. Links are
// followed, to files and to folders (a folder moved to another disk and linked back, a Windows
// junction); a folder reached a second time (a loop of links) is noted and passed over, as is a
// folder that cannot be read. Throws WalkError for the root.
BarFileList findBarFiles(const std::string& root, Timeframe timeframe = Timeframe::Day);

}  // namespace tarvok::tools
