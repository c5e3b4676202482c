// tarvok-run's terminal stand-in: functions found by number in a plug-in's table.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "host/library_file.h"
#include "host/plugin_host.h"

namespace {

using tarvok::tools::findTableFunction;
using tarvok::tools::PluginError;
using tarvok::tools::tableFunctions;

extern "C" void TARVOK_CDECL nine(int, float*, float*, float*, float*) {}
extern "C" void TARVOK_CDECL ten(int, float*, float*, float*, float*) {}
extern "C" void TARVOK_CDECL eleven(int, float*, float*, float*, float*) {}

TEST(TableLookup, ByNumberInAnyOrderUpToTheEndRecord) {
  const tagPluginTCalcFuncInfo table[] = {
      {11, &eleven}, {9, &nine}, {10, &ten}, {0, nullptr}, {12, &nine}};
  EXPECT_EQ(findTableFunction(table, 9), &nine);
  EXPECT_EQ(findTableFunction(table, 10), &ten);
  EXPECT_EQ(findTableFunction(table, 11), &eleven);
  EXPECT_EQ(findTableFunction(table, 1), nullptr);
  EXPECT_EQ(findTableFunction(table, 12), nullptr);  // past the end record
  const auto f = tableFunctions(table);
  EXPECT_EQ(f.stopLine, &nine);
  EXPECT_EQ(f.setParams, &ten);
  EXPECT_EQ(f.state, &eleven);
}

TEST(TableLookup, TheFirstRecordOfANumberCounts) {
  const tagPluginTCalcFuncInfo table[] = {{9, &nine}, {9, &ten}, {0, nullptr}};
  EXPECT_EQ(findTableFunction(table, 9), &nine);
}

TEST(TableLookup, AMissingFunctionIsNamed) {
  const tagPluginTCalcFuncInfo noEleven[] = {{9, &nine}, {10, &ten}, {0, nullptr}};
  const tagPluginTCalcFuncInfo noTen[] = {{9, &nine}, {11, &eleven}, {0, nullptr}};
  const tagPluginTCalcFuncInfo empty[] = {{0, nullptr}};
  try {
    tableFunctions(noEleven);
    ADD_FAILURE() << "no error";
  } catch (const PluginError& e) {
    EXPECT_STREQ(e.what(), "function 11 is missing from the plug-in's table");
  }
  EXPECT_THROW(tableFunctions(noTen), PluginError);
  EXPECT_THROW(tableFunctions(empty), PluginError);
}

TEST(PluginLoad, AMissingFileIsAnError) {
  try {
    tarvok::tools::Plugin plugin("no-such-dir/no-such-plugin");
    ADD_FAILURE() << "loaded nothing";
  } catch (const PluginError& e) {
    EXPECT_EQ(
        std::string(e.what()).rfind("cannot load the plug-in no-such-dir/no-such-plugin: ", 0), 0u)
        << e.what();
  }
}

TEST(PluginFile, OnlyAWholeLibraryOfTheKindThisBuildLoadsPasses) {
  using tarvok::tools::libraryFileProblem;
  using tarvok::tools::LibraryKind;
  std::ifstream in(TARVOK_PLUGIN_FILE, std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(file.size(), 10000u);
  const LibraryKind kind = tarvok::tools::kLoadableLibraryKind;
  EXPECT_EQ(libraryFileProblem(file, file.size(), kind), "");
  // Cut anywhere, from inside the first header to the last byte of what is loaded: a DLL may end
  // in a symbol table that the loader does not read.
  const bool elf = kind == LibraryKind::Elf32X86 || kind == LibraryKind::Elf64X86;
  for (const std::size_t size : {std::size_t{0}, std::size_t{5}, std::size_t{40}, std::size_t{300},
                                 std::size_t{4000}, file.size() / 2, elf ? file.size() - 1 : 0}) {
    const std::string problem = libraryFileProblem(file.substr(0, size), size, kind);
    EXPECT_TRUE(problem.rfind("is cut short: " + std::to_string(size) + " bytes, but ", 0) == 0 ||
                (size == 0 && problem == "is empty"))
        << size << ": " << problem;
  }
  // The other word size and the other format.
  const bool wide = kind == LibraryKind::Elf64X86 || kind == LibraryKind::Pe64X86;
  const LibraryKind otherSize = elf ? (wide ? LibraryKind::Elf32X86 : LibraryKind::Elf64X86)
                                    : (wide ? LibraryKind::Pe32X86 : LibraryKind::Pe64X86);
  const std::string otherSizeProblem = libraryFileProblem(file, file.size(), otherSize);
  EXPECT_EQ(otherSizeProblem,
            elf ? (wide ? "is a 64-bit library; this tarvok-run loads 32-bit ones"
                        : "is a 32-bit library; this tarvok-run loads 64-bit ones")
                : (wide ? "is for another processor (PE machine 0x8664), not x86"
                        : "is for another processor (PE machine 0x14c), not x86-64"));
  EXPECT_EQ(
      libraryFileProblem(file, file.size(), elf ? LibraryKind::Pe32X86 : LibraryKind::Elf32X86),
      elf ? "is not a DLL (no MZ header)" : "is not a shared library (no ELF header)");
}

TEST(PluginFile, APartThatStartsNearTheEndOfTheOffsetsIsNamedAsIs) {
  // An ELF64 header whose program header table starts 16 bytes before 2^64: offset and length
  // add up past any file.
  std::string head(64, '\0');
  head.replace(0, 4,
               "\x7F"
               "ELF");
  head[4] = 2;    // 64-bit
  head[5] = 1;    // little-endian
  head[16] = 3;   // ET_DYN
  head[18] = 62;  // x86-64
  for (int i = 0; i < 8; ++i) head[32 + i] = static_cast<char>(i == 0 ? 0xF0 : 0xFF);
  head[54] = 56;  // program header size
  head[56] = 1;   // one program header
  EXPECT_EQ(
      tarvok::tools::libraryFileProblem(head, head.size(), tarvok::tools::LibraryKind::Elf64X86),
      "is cut short: 64 bytes, but the program header table starts at byte "
      "18446744073709551600 and is 56 bytes long");
}

}  // namespace
