#pragma once
// tarvok-run's stand-in for the terminal: loads a plug-in, registers it with an empty slot and
// takes the table functions from the table it hands out, by number, as the terminal does.

#include <cstdint>
#include <stdexcept>
#include <string>

#include "indicator/calc_func.h"
#include "os/os.h"

namespace tarvok::tools {

class PluginError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The table functions the tool goes through: the built-in ones, or those of a loaded plug-in.
struct IndicatorFunctions {
  CalcFunc stopLine;   // function 9
  CalcFunc setParams;  // function 10
  CalcFunc state;      // function 11
};

// The function of a number in a table that ends with a record numbered 0; null when absent.
CalcFunc findTableFunction(const tagPluginTCalcFuncInfo* table, std::uint16_t number) noexcept;

// Functions 9, 10 and 11 of a table. Throws PluginError naming a missing one.
IndicatorFunctions tableFunctions(const tagPluginTCalcFuncInfo* table);

// A loaded plug-in, unloaded on destruction.
class Plugin {
 public:
  // The file at path, relative to the current folder (never one found on the loader's search
  // path), once it is seen to be a whole library of the kind this build loads (library_file.h):
  // LoadLibraryA on Windows, dlopen natively. Throws PluginError.
  explicit Plugin(const std::string& path);
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  // RegisterTdxFunc with an empty slot, then functions 9, 10 and 11 from the table. Throws
  // PluginError when the export is missing, registration answers 0 or a function is not there.
  IndicatorFunctions registerFunctions();

  // gettdxcode's text. Throws PluginError when the export is missing or gives null.
  std::string formulaText();

 private:
  void* symbol(const char* name);

  std::string path_;
  os::Library library_;
};

}  // namespace tarvok::tools
