#pragma once
// A file's bytes as they stand while it is read. The terminal rewrites its daily files while it
// downloads, so a file may grow, shrink or be replaced under the reader: everything comes from one
// open handle, read up to the end it then has, and the caller parses that snapshot as a whole.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok::tools {

class FileSnapshotReader {
 public:
  enum class Result { Read, Failed, TooLarge };

  // Reads the file at path. Read: bytes holds all of it (valid until the next call). Failed: error
  // says why it could not be opened or read. TooLarge: it holds more than limit bytes, of which
  // no more than limit + 1 were read.
  Result read(const std::string& path, std::size_t limit, std::string_view& bytes,
              std::string& error);

 private:
  std::vector<char> buffer_;  // kept from file to file
};

}  // namespace tarvok::tools
