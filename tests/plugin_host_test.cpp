// tarvok-run's terminal stand-in: functions found by number in a plug-in's table.

#include <gtest/gtest.h>

#include <string>

#include "tools/plugin_host.h"

namespace {

using tarvok::tools::findTableFunction;
using tarvok::tools::PluginError;
using tarvok::tools::tableFunctions;

extern "C" void TARVOK_CDECL nine(int, float*, float*, float*, float*) {}
extern "C" void TARVOK_CDECL ten(int, float*, float*, float*, float*) {}
extern "C" void TARVOK_CDECL eleven(int, float*, float*, float*, float*) {}

TEST(TableLookup, ByNumberInAnyOrderUpToTheEndRecord) {
  const tagPluginTCalcFuncInfo table[] = {{11, &eleven}, {9, &nine}, {10, &ten}, {0, nullptr},
                                          {12, &nine}};
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
    EXPECT_EQ(std::string(e.what()).rfind("cannot load the plug-in no-such-dir/no-such-plugin: ", 0), 0u)
        << e.what();
  }
}

}  // namespace
