#pragma once
// Finding the terminal's daily files below a folder: vipdoc/sh/lday/sh600000.day and the like.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok::tools {

// A daily file: its path (the folder given, then the names below it) and where its name starts.
struct DayFileEntry {
  std::string path;
  std::uint32_t nameStart = 0;
  // The file name without ".day".
  std::string_view symbol() const {
    return std::string_view(path).substr(nameStart, path.size() - nameStart - 4);
  }
};

// A folder below the root that could not be read, and how many files the walk had found before.
struct WalkProblem {
  std::size_t filesBefore = 0;
  std::string message;  // the folder's path and the reason
};

struct DayFileList {
  std::vector<DayFileEntry> files;  // in walk order
  std::vector<WalkProblem> problems;
  std::size_t folders = 0;  // folders read, the root included
};

// The root itself does not exist, is not a folder or cannot be read.
class WalkError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Whether a file name is a daily file's: something, then ".day" in any case (Windows does not
// tell case apart in names, so neither does the scan, on any system).
bool isDayFileName(std::string_view name) noexcept;

// Every daily file below root, in every folder below it. Each folder's entries are taken in byte
// order of their names, folders depth-first, so the order is the same on every system and every
// run. Links are followed, to files and to folders (a folder moved to another disk and linked
// back, a Windows junction); a folder reached a second time (a loop of links) is noted and passed
// over, as is a folder that cannot be read.
// Throws WalkError for the root.
DayFileList findDayFiles(const std::string& root);

}  // namespace tarvok::tools
