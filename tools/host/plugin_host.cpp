#include "host/plugin_host.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fmt/format.h>

#include "os/file_identity.h"
#include "host/library_file.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#elif !defined(TARVOK_NO_PLUGIN_LOADING)
#include <dlfcn.h>
#endif

namespace tarvok::tools {

namespace {

typedef int(TARVOK_CDECL* RegisterFunc)(tagPluginTCalcFuncInfo**);
typedef const char*(TARVOK_CDECL* FormulaFunc)();

std::string lastLoaderError() {
#if defined(_WIN32)
  // The system's own text (in the language of the system), with the number to look up.
  const DWORD code = GetLastError();
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string message(text != nullptr ? text : "", text != nullptr ? length : 0);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) return fmt::format("error {}", static_cast<unsigned long>(code));
  return fmt::format("{} (error {})", message, static_cast<unsigned long>(code));
#elif defined(TARVOK_NO_PLUGIN_LOADING)
  return "this statically linked build cannot load plug-ins";
#else
  const char* message = dlerror();
  return message != nullptr ? message : "unknown error";
#endif
}

// The path the loader is given: the file named, not one found on the loader's search path.
std::string loaderPath(const std::string& path) {
#if defined(_WIN32)
  char full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return length > 0 && length < sizeof full ? std::string(full, length) : path;
#else
  return path.find('/') == std::string::npos ? "./" + path : path;
#endif
}

// Why the file cannot be a whole library of the kind this build loads; empty when it can.
std::string fileProblem(const std::string& path) {
  if (isDirectory(path)) return "it is a directory";
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return std::strerror(errno);
  std::string head(kLibraryHeadBytes, '\0');
  head.resize(std::fread(head.data(), 1, head.size(), in));
  std::string problem;
#if defined(_WIN32)
  const bool sized = _fseeki64(in, 0, SEEK_END) == 0;
  const long long size = sized ? _ftelli64(in) : -1;
#else
  const bool sized = fseeko(in, 0, SEEK_END) == 0;
  const long long size = sized ? static_cast<long long>(ftello(in)) : -1;
#endif
  if (std::ferror(in) || size < 0) {
    problem = fmt::format("cannot read it: {}", std::strerror(errno));
  } else if (const std::string p = libraryFileProblem(head, static_cast<std::uint64_t>(size), kLoadableLibraryKind);
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
  const std::uint16_t missing = f.stopLine == nullptr ? 9 : f.setParams == nullptr ? 10
                                : f.state == nullptr  ? 11
                                                      : 0;
  if (missing != 0) {
    throw PluginError(fmt::format("function {} is missing from the plug-in's table", missing));
  }
  return f;
}

Plugin::Plugin(const std::string& path) : path_(path) {
#if !defined(TARVOK_NO_PLUGIN_LOADING)
  const std::string problem = fileProblem(path);
  if (!problem.empty()) throw PluginError(fmt::format("cannot load the plug-in {}: {}", path, problem));
#endif
#if defined(_WIN32)
  handle_ = reinterpret_cast<void*>(LoadLibraryA(loaderPath(path).c_str()));
#elif defined(TARVOK_NO_PLUGIN_LOADING)
  handle_ = nullptr;
#else
  handle_ = dlopen(loaderPath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
  if (handle_ == nullptr) {
    throw PluginError(fmt::format("cannot load the plug-in {}: {}", path, lastLoaderError()));
  }
}

Plugin::~Plugin() {
#if defined(_WIN32)
  FreeLibrary(reinterpret_cast<HMODULE>(handle_));
#elif !defined(TARVOK_NO_PLUGIN_LOADING)
  dlclose(handle_);
#endif
}

void* Plugin::symbol(const char* name) {
#if defined(_WIN32)
  void* address = reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
#elif defined(TARVOK_NO_PLUGIN_LOADING)
  void* address = nullptr;
#else
  void* address = dlsym(handle_, name);
#endif
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
