// Command-line options: the values handed to function 10, and what it would refuse; the market
// scan's options, and how they go with the others.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "run_options.h"

namespace {

using tarvok::tools::OptionError;
using tarvok::tools::parseRunOptions;
using tarvok::tools::RunOptions;

// The error message for the arguments, or "accepted".
std::string verdict(const std::vector<std::string>& args) {
  try {
    parseRunOptions(args);
    return "accepted";
  } catch (const OptionError& e) {
    return e.what();
  }
}

TEST(RunOptions, DefaultsReadStandardInputAndLeaveTheParametersAlone) {
  const RunOptions o = parseRunOptions({});
  EXPECT_EQ(o.file, "-");
  EXPECT_FALSE(o.period.has_value());
  EXPECT_FALSE(o.multiplier.has_value());
  EXPECT_FALSE(o.exact || o.help);
}

TEST(RunOptions, TakesValuesInBothSpellings) {
  const RunOptions o =
      parseRunOptions({"--period", "14.5", "--exact", "a.csv", "--multiplier=0x1p-1"});
  EXPECT_EQ(o.period, 14.5f);  // rounded by function 10, not here
  EXPECT_EQ(o.multiplier, 0.5f);
  EXPECT_TRUE(o.exact);
  EXPECT_EQ(o.file, "a.csv");
  EXPECT_EQ(parseRunOptions({"--", "--exact"}).file, "--exact");
  EXPECT_TRUE(parseRunOptions({"-h"}).help);
}

TEST(RunOptions, AcceptsWhatFunction10AcceptsAndNamesTheRangeOtherwise) {
  for (const char* ok : {"1.5", "2", "100", "100.49"})
    EXPECT_EQ(verdict({"--period", ok}), "accepted");
  for (const char* ok : {"0.1", "10"}) EXPECT_EQ(verdict({"--multiplier", ok}), "accepted");
  for (const std::string bad : {"1.49", "100.5", "-14", "nan", "inf", "1e10"}) {
    EXPECT_EQ(verdict({"--period", bad}),
              "--period " + bad + ": must be 2 to 100 after rounding half up");
  }
  for (const std::string bad : {"0.09", "10.01", "0", "nan"}) {
    EXPECT_EQ(verdict({"--multiplier", bad}), "--multiplier " + bad + ": must be 0.1 to 10");
  }
}

TEST(RunOptions, RefusesMalformedArguments) {
  EXPECT_EQ(verdict({"--period", "14x"}), "--period: not a number: \"14x\"");
  EXPECT_EQ(verdict({"--multiplier="}), "--multiplier: not a number: \"\"");
  EXPECT_EQ(verdict({"--multiplier", " "}), "--multiplier: not a number: \" \"");
  EXPECT_EQ(verdict({"--period"}), "--period needs a value");
  EXPECT_EQ(verdict({"-p", "14"}), "unknown option \"-p\" (see --help)");
  EXPECT_EQ(verdict({"--exact=1"}), "unknown option \"--exact=1\" (see --help)");
  EXPECT_EQ(verdict({"a.csv", "b.csv"}), "more than one input file: \"b.csv\"");
  EXPECT_EQ(verdict({"--period", "1\x1b[2J"}), "--period: not a number: \"1\\x1b[2J\"");
  EXPECT_EQ(verdict({"--multiplier", "nan(1)"}), "--multiplier nan(1): must be 0.1 to 10");
}

TEST(RunOptions, PluginAndFormula) {
  const RunOptions o = parseRunOptions({"--plugin", "./tarvok.dll", "a.csv"});
  EXPECT_EQ(o.plugin, "./tarvok.dll");
  EXPECT_FALSE(o.formula);
  EXPECT_EQ(o.file, "a.csv");
  const RunOptions f = parseRunOptions({"--formula", "--plugin=lib dir/libtarvok.so"});
  EXPECT_EQ(f.plugin, "lib dir/libtarvok.so");
  EXPECT_TRUE(f.formula);
  EXPECT_TRUE(parseRunOptions({}).plugin.empty());
  EXPECT_EQ(verdict({"--formula"}), "--formula needs --plugin PATH");
  EXPECT_EQ(verdict({"--plugin"}), "--plugin needs a value");
  EXPECT_EQ(verdict({"--plugin="}), "--plugin needs a path");
  EXPECT_EQ(verdict({"--formula=1", "--plugin", "x"}),
            "unknown option \"--formula=1\" (see --help)");
  EXPECT_EQ(verdict({"--plugin", "x", "--formula", "a.csv"}),
            "--formula prints the formula text and reads no bars");
  EXPECT_EQ(verdict({"--plugin", "x", "--formula", "--chart", "a.svg"}),
            "--formula prints the formula text and reads no bars");
}

TEST(RunOptions, DayFileAndChart) {
  const RunOptions o = parseRunOptions({"--day", "vipdoc/sh/lday/sh600000.day", "--chart=c.svg"});
  EXPECT_EQ(o.file, "vipdoc/sh/lday/sh600000.day");
  EXPECT_TRUE(o.dayFile);
  EXPECT_EQ(o.chart, "c.svg");
  EXPECT_FALSE(parseRunOptions({"a.csv"}).dayFile);
  EXPECT_TRUE(parseRunOptions({"a.csv"}).chart.empty());
  // One input, whichever way it is named.
  EXPECT_EQ(verdict({"a.csv", "--day", "b.day"}), "more than one input file: \"b.day\"");
  EXPECT_EQ(verdict({"--day", "b.day", "a.csv"}), "more than one input file: \"a.csv\"");
  EXPECT_EQ(verdict({"--chart="}), "--chart needs a path");
  EXPECT_EQ(verdict({"--day"}), "--day needs a value");
}

TEST(RunOptions, ScanAndItsOptions) {
  const RunOptions o = parseRunOptions({"--scan", "vipdoc", "--phase=falling", "--changed-within",
                                        "3", "-j4", "--html", "p.html", "--charts", "0"});
  EXPECT_EQ(o.scan.dir, "vipdoc");
  EXPECT_EQ(o.scan.phase, "falling");
  EXPECT_EQ(o.scan.changedWithin, 3);
  EXPECT_EQ(o.scan.jobs, 4u);
  EXPECT_EQ(o.scan.html, "p.html");
  EXPECT_EQ(o.scan.charts, 0);
  EXPECT_EQ(parseRunOptions({"--scan", "d", "-j", "256"}).scan.jobs, 256u);
  EXPECT_EQ(parseRunOptions({"--scan", "d", "--phase", "Rising"}).scan.phase, "rising");

  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"--scan", "d", "--phase", "up"}, "--phase up: must be rising, falling or flat"},
      {{"--scan", "d", "--changed-within", "0"},
       "--changed-within 0: must be a whole number from 1 to 2147483647"},
      {{"--scan", "d", "--changed-within", "2.5"},
       "--changed-within 2.5: must be a whole number from 1 to 2147483647"},
      {{"--scan", "d", "--changed-within", "4294967296"},
       "--changed-within 4294967296: must be a whole number from 1 to 2147483647"},
      {{"--scan", "d", "-j", "257"}, "-j 257: must be a whole number from 1 to 256"},
      {{"--scan", "d", "-j", "+2"}, "-j +2: must be a whole number from 1 to 256"},
      {{"--scan", "d", "--html", "p", "--charts", "-1"},
       "--charts -1: must be a whole number from 0 to 2147483647"},
      {{"--scan", "d", "--html", "p", "--charts", "2147483648"},
       "--charts 2147483648: must be a whole number from 0 to 2147483647"},
      {{"--scan", "d", "--charts", "5"}, "--charts needs --html FILE"},
      {{"--phase", "rising"}, "--phase needs --scan DIR"},
      {{"--phase", "up"}, "--phase needs --scan DIR"},
      {{"--changed-within", "0", "--scan", "d"},
       "--changed-within 0: must be a whole number from 1 to 2147483647"},
      {{"-j2", "a.csv"}, "-j needs --scan DIR"},
      {{"--html", "p.html"}, "--html needs --scan DIR"},
      {{"--scan", "d", "a.csv"},
       "--scan reads the daily files below its folder: no input file or --day besides"},
      {{"--scan", "d", "--day", "x.day"},
       "--scan reads the daily files below its folder: no input file or --day besides"},
      {{"--scan", "d", "--chart", "c.svg"},
       "--scan draws its charts into the page of --html, not --chart"},
      {{"--scan", "d", "--plugin", "p.dll"},
       "--scan computes with the built-in functions: no --plugin or --formula"},
      {{"--scan="}, "--scan needs a path"},
      {{"--scan", "d", "--html", "out/sh600000.DAY"},
       "--html out/sh600000.DAY: a page named as a daily file would be scanned as one"},
      {{"--scan", "d", "--html", "sh600000.day. ."},
       "--html sh600000.day. .: a page named as a daily file would be scanned as one"},
  };
  for (const auto& [args, message] : refused) EXPECT_EQ(verdict(args), message);
}

}  // namespace
