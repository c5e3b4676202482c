// Snapshots of files the terminal may be rewriting: all of a file up to the limit, a file over it
// refused, the system's reason for one that cannot be read, and a reader kept from file to file as
// a scan's worker keeps it.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#ifndef _WIN32
#include <sys/stat.h>
#endif
#include <string>
#include <string_view>

#include "marketdata/file_snapshot.h"

namespace {

using Result = tarvok::tools::FileSnapshotReader::Result;

const char* nameOf(Result result) {
  switch (result) {
    case Result::Read: return "Read";
    case Result::Failed: return "Failed";
    case Result::TooLarge: return "TooLarge";
  }
  return "?";
}

// Bytes that tell their places apart, so that a piece read twice or not at all shows.
std::string bytesOf(std::size_t n) {
  std::string out(n, '\0');
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>(i * 7 + i / 251);
  return out;
}

// A scratch folder of this program's own: the test programs run in parallel.
std::filesystem::path scratchFolder(const char* test) {
  const std::filesystem::path root =
      std::filesystem::path(::testing::TempDir()) / "file_snapshot_test" / test;
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);
  return root;
}

void writeFile(const std::string& path, const std::string& content) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fwrite(content.data(), 1, content.size(), f), content.size());
  std::fclose(f);
}

TEST(FileSnapshot, ReadsAllOfAFileUpToTheLimit) {
  const std::filesystem::path root = scratchFolder("limit");
  std::filesystem::create_directories(root / "a folder");

  struct Case {
    const char* name;
    std::size_t size;  // of the file written; npos: no file
    std::size_t limit;
    Result result;
    std::string error;
  };
  const std::string notThere = std::strerror(ENOENT);
#ifdef _WIN32
  const std::string folderError = std::strerror(EACCES);  // Windows opens no folder as a file
#else
  const std::string folderError = "is a folder, not a file";
#endif
  const Case cases[] = {
      {"larger than the first buffer", 300000, 1 << 20, Result::Read, ""},
      {"empty", 0, 100, Result::Read, ""},
      {"small", 3, 100, Result::Read, ""},
      {"at the limit", 100, 100, Result::Read, ""},
      {"one byte over the limit", 101, 100, Result::TooLarge, ""},
      {"far over the limit", 300000, 100, Result::TooLarge, ""},
      {"empty, limit 0", 0, 0, Result::Read, ""},
      {"one byte, limit 0", 1, 0, Result::TooLarge, ""},
      {"missing", std::string::npos, 100, Result::Failed, notThere},
      {"a folder", std::string::npos, 100, Result::Failed, folderError},
  };
  tarvok::tools::FileSnapshotReader reader;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = (root / c.name).string();
    const std::string content = c.size == std::string::npos ? "" : bytesOf(c.size);
    if (c.size != std::string::npos) writeFile(path, content);
    // One reader for all, the largest file first: what it keeps changes no answer.
    tarvok::tools::FileSnapshot snapshot;
    snapshot.bytes = "untouched";
    std::string error;
    EXPECT_STREQ(nameOf(reader.read(path, c.limit, snapshot, error)), nameOf(c.result));
    if (c.result == Result::Read) {
      EXPECT_EQ(snapshot.bytes.size(), content.size());
      EXPECT_TRUE(snapshot.bytes == content);
      EXPECT_FALSE(snapshot.changedWhileRead());
      EXPECT_TRUE(snapshot.identity == tarvok::os::identityOf(path));
    }
    EXPECT_EQ(error, c.error);
  }
  std::filesystem::remove_all(root);
}

TEST(FileSnapshot, AKeptReaderGivesEachFileAsItIs) {
  // Large first: the buffer kept from it is longer than the files after it.
  const std::filesystem::path root = scratchFolder("kept");
  tarvok::tools::FileSnapshotReader reader;
  for (const std::size_t size : {300000u, 70000u, 5u, 0u, 65536u}) {
    SCOPED_TRACE(size);
    const std::string path = (root / std::to_string(size)).string();
    const std::string content = bytesOf(size);
    writeFile(path, content);
    tarvok::tools::FileSnapshot snapshot;
    std::string error;
    ASSERT_STREQ(nameOf(reader.read(path, 1 << 20, snapshot, error)), "Read") << error;
    EXPECT_EQ(snapshot.bytes.size(), content.size());
    EXPECT_TRUE(snapshot.bytes == content);
  }
  std::filesystem::remove_all(root);
}

#ifndef _WIN32
TEST(FileSnapshot, AFifoIsRefusedWithoutWaitingForAWriter) {
  const std::filesystem::path root = scratchFolder("fifo");
  const std::string path = (root / "sh600000.day").string();
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  tarvok::tools::FileSnapshotReader reader;
  tarvok::tools::FileSnapshot snapshot;
  std::string error;
  EXPECT_STREQ(nameOf(reader.read(path, 100, snapshot, error)), "Failed");
  EXPECT_EQ(error, "is a FIFO, not a regular file");
  std::filesystem::remove_all(root);
}
#endif

}  // namespace
