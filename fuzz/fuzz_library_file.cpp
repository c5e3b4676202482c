// libFuzzer target: the look at a plug-in file before it is loaded, on any bytes as the file's
// head, for every kind of library. It reads nothing beyond the head (ASan), answers the same for
// the same bytes wherever they lie, and keeps its promises about the answer.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "host/library_file.h"

namespace {

using tarvok::tools::libraryFileProblem;
using tarvok::tools::LibraryKind;

constexpr LibraryKind kKinds[] = {LibraryKind::Elf32X86, LibraryKind::Elf64X86,
                                  LibraryKind::Pe32X86, LibraryKind::Pe64X86};

[[noreturn]] void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::fflush(stderr);
  __builtin_trap();
}

bool isElf(LibraryKind kind) {
  return kind == LibraryKind::Elf32X86 || kind == LibraryKind::Elf64X86;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view head(reinterpret_cast<const char*>(data), size);
  // The same bytes elsewhere, in a block of exactly their size.
  const std::unique_ptr<char[]> copy(new char[size == 0 ? 1 : size]);
  if (size != 0) std::memcpy(copy.get(), data, size);
  const std::string_view again(copy.get(), size);

  const bool elfMagic = head.substr(0, 4) == std::string_view("\177ELF", 4);
  const bool mzMagic = head.substr(0, 2) == "MZ";
  int accepted = 0;
  for (const LibraryKind kind : kKinds) {
    if (libraryFileProblem(head, 0, kind) != "is empty")
      fail("a file of no bytes is not called empty", "");

    // The file as long as its head, and a file that goes on far beyond it.
    const std::string whole = libraryFileProblem(head, size, kind);
    const std::string longer =
        libraryFileProblem(head, std::numeric_limits<std::uint64_t>::max(), kind);
    if (libraryFileProblem(again, size, kind) != whole)
      fail("another answer for the same bytes", whole);

    for (const std::string* problem : {&whole, &longer}) {
      // A phrase after the file's name.
      if (!problem->empty() && problem->rfind("is ", 0) != 0 && problem->rfind("has ", 0) != 0) {
        fail("the problem is no phrase after a name", *problem);
      }
    }
    if (size != 0 && whole.rfind("is cut short: ", 0) == 0 &&
        whole.rfind("is cut short: " + std::to_string(size) + " bytes, ", 0) != 0) {
      fail("a cut-short file is given another size", whole);
    }
    if (isElf(kind) ? !elfMagic : !mzMagic) {
      const char* expected =
          isElf(kind) ? "is not a shared library (no ELF header)" : "is not a DLL (no MZ header)";
      if (size != 0 && whole != expected)
        fail("a head without the magic gets another answer", whole);
      if (longer != expected) fail("a head without the magic gets another answer", longer);
    }
    // What a file holds whole, a longer file with the same head holds whole too.
    if (whole.empty() && !longer.empty()) fail("a longer file is refused", longer);
    if (whole.empty()) ++accepted;
  }
  // The kinds tell one another apart by the magic, the ELF class and the PE optional header.
  if (accepted > 1) fail("more than one kind of library accepted", std::to_string(accepted));
  return 0;
}
