#pragma once
// A cheap look at a plug-in file before it is loaded: a loader maps a shared library cut short and
// dies touching the missing part (SIGBUS), so the file must hold all that its headers describe.

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvok::tools {

// The libraries a build of the tool can load: its own processor and word size, ELF or PE.
enum class LibraryKind { Elf32X86, Elf64X86, Pe32X86, Pe64X86 };

#if defined(_WIN32) && defined(_WIN64)
inline constexpr LibraryKind kLoadableLibraryKind = LibraryKind::Pe64X86;
#elif defined(_WIN32)
inline constexpr LibraryKind kLoadableLibraryKind = LibraryKind::Pe32X86;
#elif defined(__x86_64__)
inline constexpr LibraryKind kLoadableLibraryKind = LibraryKind::Elf64X86;
#else
inline constexpr LibraryKind kLoadableLibraryKind = LibraryKind::Elf32X86;
#endif

// How much of the file's start is looked at: every header and table that is checked must lie
// there (those of a real library take a few kilobytes).
inline constexpr std::size_t kLibraryHeadBytes = 64 * 1024;

// What keeps a file from being a whole shared library of the kind, as a phrase after its name
// ("is cut short: ..."); empty when nothing does. head holds the file's first bytes (up to
// kLibraryHeadBytes), size is the file's size. ELF: the identification, type, machine, the
// program header table and every loaded segment within the file, and the section header table
// too. PE: the MZ and PE signatures, machine, the DLL flag, the optional header's kind and every
// section's data within the file.
std::string libraryFileProblem(std::string_view head, std::uint64_t size, LibraryKind kind);

}  // namespace tarvok::tools
