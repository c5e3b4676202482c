#pragma once
// A file's bytes as they stand when it is opened. The terminal rewrites its files while it
// downloads, so a file may grow, shrink or be replaced under the reader: everything comes from one
// open handle, the size it has on opening is read and no more, and the caller parses that snapshot
// as a whole. The file's type and size are checked on the handle before anything is allocated.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "os/os.h"

namespace tarvok::tools {

struct FileSnapshot {
  std::string_view bytes;  // valid until the reader's next read
  os::FileIdentity identity;
  long long sizeAtOpen = 0;
  long long sizeAfter = 0;  // once read; another than sizeAtOpen when it changed meanwhile
  bool changedWhileRead() const { return sizeAfter != sizeAtOpen; }
};

class FileSnapshotReader {
 public:
  enum class Result { Read, Failed, TooLarge };

  // Reads the file at path. Read: the snapshot holds it. Failed: error says why it could not be
  // opened or read (no regular file, say). TooLarge: it holds more than limit bytes, and nothing
  // was read.
  Result read(const std::string& path, std::size_t limit, FileSnapshot& snapshot,
              std::string& error);

 private:
  std::vector<char> buffer_;  // kept from file to file
};

}  // namespace tarvok::tools
