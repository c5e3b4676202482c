#pragma once
// The operating system as the tool's rooms see it: every call that differs between POSIX and
// Windows sits behind these few functions (os_posix.cpp, os_win32.cpp), so that everything around
// them is the same code in every build and is tested natively.
//
// Paths and names are UTF-8 on Windows, where every call takes the system's wide-character names,
// so that a name outside the ANSI code page works; natively they are the system's own bytes.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok::os {

// ---- The command line

// The program's arguments after its name: argv natively; on Windows the wide-character command
// line, in UTF-8.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// ---- Files by name and by identity

// Which file a name or an open file is: its device (volume) and its number on it (up to 128 bits
// on Windows). Unknown for what is not a regular file, so that a device such as /dev/null or NUL
// never counts as the same file as another. A device of 0 is one the system did not tell (Wine
// does not for the standard streams): then the numbers alone decide.
struct FileIdentity {
  bool known = false;
  std::uint64_t device = 0;
  std::uint64_t index = 0;
  std::uint64_t indexHigh = 0;
  bool operator==(const FileIdentity& other) const noexcept {
    return known && other.known && index == other.index && indexHigh == other.indexHigh &&
           (device == other.device || device == 0 || other.device == 0);
  }
  bool operator!=(const FileIdentity& other) const noexcept { return !(*this == other); }
};

// The regular file the path names once the system has resolved it (links followed, and on
// Windows the trailing dots and spaces it drops), or unknown.
FileIdentity identityOf(const std::string& path) noexcept;
// The regular file open on the stream, or unknown (a pipe, a terminal, a device).
FileIdentity identityOf(std::FILE* stream) noexcept;

// Whether the path names a directory.
bool isDirectory(const std::string& path) noexcept;
// The size of the file open on the stream, or -1 when it cannot be told.
long long streamSize(std::FILE* stream) noexcept;

// Opens a file by name with a C stream, mode as fopen's ("rb", "wb"); null with errno set.
std::FILE* openFile(const std::string& path, const char* mode) noexcept;

// Whether Windows takes the file name (without folders) for a device, whatever its extension:
// CON, PRN, AUX, NUL, COM0-9, LPT0-9 (and their superscript forms), CONIN$, CONOUT$, in any case,
// with any trailing dots and spaces. Such a name opens the device, not a file, and may hang.
bool isWindowsDeviceName(std::string_view name) noexcept;

// The name as Windows keeps it: without the trailing dots and spaces it drops from a final name.
std::string_view withoutTrailingDotsAndSpaces(std::string_view name) noexcept;

// ---- Folders

struct FolderEntry {
  enum class Kind { File, Folder };
  std::string name;
  Kind kind;
  bool linked = false;  // reached through a link (a symbolic link, a junction)
};

// Whether the path is a folder; otherwise why not in error.
bool isFolder(const std::string& path, std::string& error);

// The identity of a folder, links followed; unknown when it cannot be had.
FileIdentity folderIdentity(const std::string& path) noexcept;

// The entries of a folder, in the order the system gives them, but "." and "..". Folders are
// listed also when reached through a link; a link to a file is listed as the file when wanted(name)
// says the name is one the caller reads, and a dangling one as a file that cannot be opened. Only
// files whose names wanted() takes are listed. False with the reason in error when the folder
// cannot be read.
bool listFolder(const std::string& path, bool (*wanted)(std::string_view name) noexcept,
                std::vector<FolderEntry>& entries, std::string& error);

// folder, then name, with the system's separator between them unless folder ends in one ('/' is one
// on Windows too).
std::string joinPath(const std::string& folder, std::string_view name);

// ---- Reading a file as it stands

// One open file, read from start to end; closed on destruction. Opening never blocks, whatever
// kind of file the name reaches (a FIFO, a device), and only a regular file is read.
class ReadOnlyFile {
 public:
  ReadOnlyFile() = default;
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  // False with the reason in error when the file cannot be opened or is no regular file.
  bool open(const std::string& path, std::string& error);
  // Its size when it was opened (-1 when that could not be told), and now.
  long long sizeAtOpen() const noexcept { return sizeAtOpen_; }
  long long size() const noexcept;
  // Which file it is, as told on opening.
  FileIdentity identity() const noexcept { return identity_; }
  // Up to room bytes into `into`: the count read, 0 at the end, -1 on an error (text in error).
  long long readSome(char* into, std::size_t room, std::string& error) noexcept;
  void close() noexcept;

 private:
  std::intptr_t handle_ = -1;
  long long sizeAtOpen_ = -1;
  FileIdentity identity_{};
};

// ---- Writing a file whole

// A file written beside its target and put in its place only when complete, so that a full disk or
// a failure leaves the previous file as it was. Through a link, the file the link names is
// replaced (natively), so the link still leads to it.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile();  // abandons what was not committed
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Creates the new file beside the target; false with the reason in error.
  bool open(const std::string& target, std::string& error);
  std::FILE* stream() const noexcept { return stream_; }
  // Closes it and puts it in the target's place; false with the reason in error (the target is
  // then unchanged and the new file removed).
  bool commit(std::string& error);
  // Closes and removes the new file.
  void abandon() noexcept;

 private:
  std::FILE* stream_ = nullptr;
  std::string temporary_;
  std::string target_;
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

// Writes UTF-8 text on a stream so that any name in it shows: a Windows console gets it through
// the console's wide-character call, anything else (a file, a pipe, a POSIX terminal) the bytes
// as they are. The text is cut into whole characters only. Allocates nothing; false when it could
// not be written.
bool writeText(std::FILE* stream, std::string_view text) noexcept;

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

// ---- The user

// The user's language settings as the system keeps them: on Windows the user's UI language as a
// locale name ("zh-CN"); elsewhere the first of LC_ALL, LC_MESSAGES and LANG that is set and not
// empty ("zh_CN.UTF-8"). Empty when none is known.
std::string userLanguage();

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

// A lock between threads. The MinGW -win32 runtime has no std::mutex: an SRW lock there.
class Mutex {
 public:
  Mutex() noexcept;
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  void lock() noexcept;
  void unlock() noexcept;

 private:
  alignas(16) unsigned char storage_[64];
};

class MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) noexcept : mutex_(mutex) { mutex_.lock(); }
  ~MutexLock() { mutex_.unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

// ---- Shared libraries

// Whether this build can load shared libraries: a statically linked Linux program cannot.
bool canLoadLibraries() noexcept;

// A loaded library, unloaded on destruction. open() is false with the loader's text in error.
class Library {
 public:
  Library() = default;
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  // The file at path, relative to the current folder, never one found on the loader's search path.
  bool open(const std::string& path, std::string& error);
  // The address of an exported name, or null.
  void* symbol(const char* name) const noexcept;

 private:
  void* handle_ = nullptr;
};

}  // namespace tarvok::os
