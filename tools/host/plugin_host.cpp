#include "host/plugin_host.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fmt/format.h>

#include "host/library_file.h"
#include "os/os.h"

namespace tarvok::tools {

namespace {

typedef int(TARVOK_CDECL* RegisterFunc)(tagPluginTCalcFuncInfo**);
typedef const char*(TARVOK_CDECL* FormulaFunc)();

// Why the file cannot be a whole library of the kind this build loads; empty when it can.
std::string fileProblem(const std::string& path) {
  if (os::isDirectory(path)) return "it is a directory";
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return std::strerror(errno);
  std::string head(kLibraryHeadBytes, '\0');
  head.resize(std::fread(head.data(), 1, head.size(), in));
  std::string problem;
  const long long size = os::streamSize(in);
  if (std::ferror(in) || size < 0) {
    problem = fmt::format("cannot read it: {}", std::strerror(errno));
  } else if (const std::string p =
                 libraryFileProblem(head, static_cast<std::uint64_t>(size), kLoadableLibraryKind);
             !p.empty()) {
    problem = "it " + p;
  }
  std::fclose(in);
  return problem;
}

}  // namespace

CalcFunc findTableFunction(const tagPluginTCalcFuncInfo* table, std::uint16_t number) noexcept {
  for (const tagPluginTCalcFuncInfo* record = table; record->funcNumber != 0; ++record) {
    if (record->funcNumber == number) return record->funcPtr;
  }
  return nullptr;
}

IndicatorFunctions tableFunctions(const tagPluginTCalcFuncInfo* table) {
  IndicatorFunctions f{findTableFunction(table, 9), findTableFunction(table, 10),
                       findTableFunction(table, 11)};
  const std::uint16_t missing = f.stopLine == nullptr    ? 9
                                : f.setParams == nullptr ? 10
                                : f.state == nullptr     ? 11
                                                         : 0;
  if (missing != 0) {
    throw PluginError(fmt::format("function {} is missing from the plug-in's table", missing));
  }
  return f;
}

Plugin::Plugin(const std::string& path) : path_(path) {
  if (os::canLoadLibraries()) {
    const std::string problem = fileProblem(path);
    if (!problem.empty())
      throw PluginError(fmt::format("cannot load the plug-in {}: {}", path, problem));
  }
  std::string error;
  if (!library_.open(path, error)) {
    throw PluginError(fmt::format("cannot load the plug-in {}: {}", path, error));
  }
}

void* Plugin::symbol(const char* name) {
  void* address = library_.symbol(name);
  if (address == nullptr) {
    throw PluginError(fmt::format("the plug-in {} does not export {}", path_, name));
  }
  return address;
}

IndicatorFunctions Plugin::registerFunctions() {
  const auto registerTdxFunc = reinterpret_cast<RegisterFunc>(symbol("RegisterTdxFunc"));
  tagPluginTCalcFuncInfo* slot = nullptr;
  if (registerTdxFunc(&slot) != 1 || slot == nullptr) {
    throw PluginError(fmt::format("the plug-in {} refused registration", path_));
  }
  return tableFunctions(slot);
}

std::string Plugin::formulaText() {
  const auto gettdxcode = reinterpret_cast<FormulaFunc>(symbol("gettdxcode"));
  const char* text = gettdxcode();
  if (text == nullptr) throw PluginError(fmt::format("the plug-in {} has no formula text", path_));
  return text;
}

}  // namespace tarvok::tools
