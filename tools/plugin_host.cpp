#include "tools/plugin_host.h"

#include <fmt/format.h>

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
  return fmt::format("error {}", static_cast<unsigned long>(GetLastError()));
#elif defined(TARVOK_NO_PLUGIN_LOADING)
  return "this statically linked build cannot load plug-ins";
#else
  const char* message = dlerror();
  return message != nullptr ? message : "unknown error";
#endif
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
#if defined(_WIN32)
  handle_ = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
#elif defined(TARVOK_NO_PLUGIN_LOADING)
  handle_ = nullptr;
#else
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
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
