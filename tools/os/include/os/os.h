#pragma once
// The operating system as the tool's rooms see it: every call that differs between POSIX and
// Windows sits behind these few functions (os_posix.cpp, os_win32.cpp), so that everything around
// them is the same code in every build and is tested natively.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok::os {

// ---- Files by name

// Whether the path names a directory.
bool isDirectory(const std::string& path) noexcept;
// Whether the path names the file open on the stream, through any name or link. False when the
// path names nothing, or the stream is no regular file (a pipe, a terminal, a device).
bool isOpenFile(std::FILE* stream, const std::string& path) noexcept;
// Whether the two paths name one existing regular file.
bool isSameFile(const std::string& a, const std::string& b) noexcept;
// The size of the file open on the stream, or -1 when it cannot be told.
long long streamSize(std::FILE* stream) noexcept;

// ---- Folders

struct FolderEntry {
  enum class Kind { File, Folder };
  std::string name;
  Kind kind;
};

// Whether the path is a folder; otherwise why not in error.
bool isFolder(const std::string& path, std::string& error);

// The entries of a folder, in the order the system gives them, but "." and "..". Folders reached
// through a link (or a Windows junction) are not listed, so that no loop of links can keep a walk
// going; a link to a file is listed as the file when wanted(name) says the name is one the caller
// reads, and a dangling one as a file that cannot be opened. Only files whose names wanted() takes
// are listed. False with the reason in error when the folder cannot be read.
bool listFolder(const std::string& path, bool (*wanted)(std::string_view name) noexcept,
                std::vector<FolderEntry>& entries, std::string& error);

// folder, then name, with the system's separator between them unless folder ends in one ('/' is one
// on Windows too).
std::string joinPath(const std::string& folder, std::string_view name);

// ---- Reading a file as it stands

// One open file, read from start to end; closed on destruction.
class ReadOnlyFile {
 public:
  ReadOnlyFile() = default;
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  // False with errno-style text in error when the file cannot be opened.
  bool open(const std::string& path, std::string& error);
  // Its size now, or -1 when it cannot be told.
  long long size() const noexcept;
  // Up to room bytes into `into`: the count read, 0 at the end, -1 on an error (text in error).
  long long readSome(char* into, std::size_t room, std::string& error) noexcept;
  void close() noexcept;

 private:
  int fd_ = -1;
};

// ---- Standard streams

// Whether the stream is a terminal (a console on Windows).
bool isTerminal(std::FILE* stream) noexcept;
// Bytes as they are on standard input and output: no CR LF translation on Windows.
void useBinaryStandardStreams() noexcept;

// A standard descriptor left closed by the caller would be taken by the next file opened (the
// input, the chart, a plug-in's log file), and what is meant for it would land there. Standard
// input and error then get the null device; without standard output the result would be lost, so
// false.
bool standardStreamsReady() noexcept;

// Locks a stream for one message, so that lines from several threads do not interleave.
void lockStream(std::FILE* stream) noexcept;
void unlockStream(std::FILE* stream) noexcept;

// A plug-in echoes its run log on standard output, from its own thread and until it is unloaded,
// even at process exit. While one is loaded, file descriptor 1 is pointed at standard error, so
// those lines still show, and the tool writes its own output to a copy of the original standard
// output. Throws std::runtime_error when that cannot be set up: the output would be lost or mixed
// with the plug-in's lines.
class StdoutDiversion {
 public:
  StdoutDiversion();
  ~StdoutDiversion();
  StdoutDiversion(const StdoutDiversion&) = delete;
  StdoutDiversion& operator=(const StdoutDiversion&) = delete;

  // Where the tool's own output goes.
  std::FILE* output() const { return output_; }

 private:
  std::FILE* output_ = nullptr;
};

// ---- Threads

// The number of hardware threads, at least 1.
unsigned hardwareThreads() noexcept;

// A thread running fn(arg). start() is false when no thread could be made; join() waits for it.
// The MinGW -win32 runtime has no std::thread, so Windows threads are made with _beginthreadex.
class Thread {
 public:
  Thread() = default;
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  bool start(void (*fn)(void*), void* arg) noexcept;
  void join() noexcept;

 private:
  void* handle_ = nullptr;
};

// ---- Shared libraries

// Whether this build can load shared libraries: a statically linked Linux program cannot.
bool canLoadLibraries() noexcept;

// The path the loader is given for a file named by the user: that file, never one found on the
// loader's search path.
std::string loaderPath(const std::string& path);

// A loaded library, unloaded on destruction. open() is false with the loader's text in error.
class Library {
 public:
  Library() = default;
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  bool open(const std::string& path, std::string& error);
  // The address of an exported name, or null.
  void* symbol(const char* name) const noexcept;

 private:
  void* handle_ = nullptr;
};

}  // namespace tarvok::os
