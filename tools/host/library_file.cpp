#include "host/library_file.h"

#include <cstdint>

#include <fmt/format.h>

namespace tarvok::tools {

namespace {

// Little-endian fields of the head; zero where the head is too short, which the callers check
// first wherever a zero could pass.
class Head {
 public:
  explicit Head(std::string_view bytes) : bytes_(bytes) {}
  bool holds(std::uint64_t offset, std::uint64_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }
  std::uint64_t field(std::uint64_t offset, int width) const {
    if (!holds(offset, static_cast<std::uint64_t>(width))) return 0;
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
      value = value << 8 | static_cast<unsigned char>(bytes_[static_cast<std::size_t>(offset) + i]);
    }
    return value;
  }

 private:
  std::string_view bytes_;
};

// Whether [offset, offset + length) lies within size bytes, without overflow.
bool within(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
  return offset <= size && length <= size - offset;
}

// A part of the file as its headers give it: where it starts and how long it is. Both are
// untrusted 64-bit fields, whose sum may pass any file's size.
struct End {
  std::uint64_t offset, length;
};

std::string cutShort(std::uint64_t size, End end, std::string_view what) {
  if (end.length > UINT64_MAX - end.offset) {
    return fmt::format("is cut short: {} bytes, but {} starts at byte {} and is {} bytes long",
                       size, what, end.offset, end.length);
  }
  const std::uint64_t needed = end.offset + end.length;
  return fmt::format("is cut short: {} bytes, but {} reaches to byte {}", size, what, needed);
}

std::string elfProblem(const Head& head, std::uint64_t size, bool wide) {
  if (!head.holds(0, 4) || head.field(0, 4) != 0x464C457Fu)
    return "is not a shared library (no ELF header)";
  if (!head.holds(0, 16)) return cutShort(size, {0, 16}, "the ELF identification");
  const std::uint64_t fileClass = head.field(4, 1);
  if (fileClass != (wide ? 2u : 1u)) {
    return fmt::format("is a {}-bit library; this tarvok-run loads {}-bit ones",
                       fileClass == 1 ? 32 : 64, wide ? 64 : 32);
  }
  if (head.field(5, 1) != 1) return "is not a little-endian library";
  const std::uint64_t headerSize = wide ? 64 : 52;
  if (!head.holds(0, headerSize)) return cutShort(size, {0, headerSize}, "the ELF header");
  if (head.field(16, 2) != 3) return "is not a shared library (ELF type is not ET_DYN)";
  const std::uint64_t machine = head.field(18, 2);
  if (machine != (wide ? 62u : 3u)) {
    return fmt::format("is for another processor (ELF machine {}), not {}", machine,
                       wide ? "x86-64" : "x86");
  }
  const std::uint64_t phoff = head.field(wide ? 32 : 28, wide ? 8 : 4);
  const std::uint64_t shoff = head.field(wide ? 40 : 32, wide ? 8 : 4);
  const std::uint64_t phentsize = head.field(wide ? 54 : 42, 2);
  const std::uint64_t phnum = head.field(wide ? 56 : 44, 2);
  const std::uint64_t shentsize = head.field(wide ? 58 : 46, 2);
  const std::uint64_t shnum = head.field(wide ? 60 : 48, 2);
  const std::uint64_t phMin = wide ? 56 : 32;
  if (phnum == 0 || phentsize < phMin) return "has no program headers to load";
  if (!within(phoff, phnum * phentsize, size)) {
    return cutShort(size, {phoff, phnum * phentsize}, "the program header table");
  }
  if (!head.holds(phoff, phnum * phentsize))
    return "has its program headers beyond where they are looked for";
  for (std::uint64_t i = 0; i < phnum; ++i) {
    const std::uint64_t ph = phoff + i * phentsize;
    if (head.field(ph, 4) != 1) continue;  // PT_LOAD: mapped from the file
    const std::uint64_t offset = head.field(ph + (wide ? 8 : 4), wide ? 8 : 4);
    const std::uint64_t filesz = head.field(ph + (wide ? 32 : 16), wide ? 8 : 4);
    if (!within(offset, filesz, size))
      return cutShort(size, {offset, filesz}, fmt::format("loaded segment {}", i + 1));
  }
  if (shoff != 0 && !within(shoff, shnum * shentsize, size)) {
    return cutShort(size, {shoff, shnum * shentsize}, "the section header table");
  }
  return {};
}

std::string peProblem(const Head& head, std::uint64_t size, bool wide) {
  if (!head.holds(0, 2) || head.field(0, 2) != 0x5A4D) return "is not a DLL (no MZ header)";
  if (!head.holds(0, 64)) return cutShort(size, {0, 64}, "the MZ header");
  const std::uint64_t pe = head.field(0x3C, 4);
  if (!head.holds(pe, 24) || head.field(pe, 4) != 0x00004550u) {
    if (!within(pe, 24, size)) return cutShort(size, {pe, 24}, "the PE header");
    return "is not a DLL (no PE header)";
  }
  const std::uint64_t machine = head.field(pe + 4, 2);
  if (machine != (wide ? 0x8664u : 0x14Cu)) {
    return fmt::format("is for another processor (PE machine 0x{:x}), not {}", machine,
                       wide ? "x86-64" : "x86");
  }
  if ((head.field(pe + 22, 2) & 0x2000) == 0) return "is a program, not a DLL";
  const std::uint64_t sections = head.field(pe + 6, 2);
  const std::uint64_t optional = pe + 24;
  const std::uint64_t optionalSize = head.field(pe + 20, 2);
  if (!head.holds(optional, 2) || head.field(optional, 2) != (wide ? 0x20Bu : 0x10Bu)) {
    return fmt::format("is not a {}-bit DLL", wide ? 64 : 32);
  }
  const std::uint64_t table = optional + optionalSize;
  if (!within(table, sections * 40, size))
    return cutShort(size, {table, sections * 40}, "the section table");
  if (!head.holds(table, sections * 40))
    return "has its section table beyond where it is looked for";
  for (std::uint64_t i = 0; i < sections; ++i) {
    const std::uint64_t rawSize = head.field(table + i * 40 + 16, 4);
    const std::uint64_t rawOffset = head.field(table + i * 40 + 20, 4);
    if (rawSize != 0 && !within(rawOffset, rawSize, size)) {
      return cutShort(size, {rawOffset, rawSize}, fmt::format("section {}", i + 1));
    }
  }
  return {};
}

}  // namespace

std::string libraryFileProblem(std::string_view head, std::uint64_t size, LibraryKind kind) {
  if (size == 0) return "is empty";
  const Head h(head.substr(0, kLibraryHeadBytes));
  switch (kind) {
    case LibraryKind::Elf32X86: return elfProblem(h, size, false);
    case LibraryKind::Elf64X86: return elfProblem(h, size, true);
    case LibraryKind::Pe32X86: return peProblem(h, size, false);
    case LibraryKind::Pe64X86: return peProblem(h, size, true);
  }
  return {};
}

}  // namespace tarvok::tools
