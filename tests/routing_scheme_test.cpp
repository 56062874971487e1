// runoff-sim's choice of scheme and its water budget as a user meets them, on the small mixed
// basin: the options and their refusals, the console lines they add, and restart states that
// carry the scheme.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "support/basin_builder.h"

namespace runoff::testing {
namespace {

struct Refusal {
  std::vector<std::string> args;
  std::string line;
};

class SchemeOptionRefused : public ::testing::TestWithParam<Refusal> {};

TEST_P(SchemeOptionRefused, WithOneLineStatusOneAndNoOutput) {
  TempDir dir;
  mixedBasin(1).write(dir.path());
  const RunResult r = runProgram(RUNOFF_SIM_EXE, GetParam().args, dir.path());
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, "runoff-sim: " + GetParam().line + "\n");
  EXPECT_TRUE(entries(dir / "output").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Options, SchemeOptionRefused,
    ::testing::Values(
        Refusal{{"--scheme", "fast"},
                "Option --scheme takes classic or conservative, not \"fast\"."},
        Refusal{{"--scheme=Classic"},
                "Option --scheme takes classic or conservative, not \"Classic\"."},
        Refusal{{"--scheme"}, "Option --scheme needs classic or conservative."},
        Refusal{{"--scheme="}, "Option --scheme needs classic or conservative."},
        Refusal{{"--scheme", "conservative", "--scheme=classic"},
                "Option --scheme is given twice."},
        Refusal{{"--budget=yes"}, "Option --budget takes no value; --help lists the options."},
        Refusal{{"--budget", "--budget"}, "Option --budget is given twice."},
        // A forgotten value is named, not taken from the next option.
        Refusal{{"--state-out", "--budget"}, "Option --state-out needs a file name."},
        Refusal{{"--budget", "-x"}, "Unknown option \"-x\"; --help lists the options."}));

// Runs the simulator with `args` in `dir` and returns its console.
std::string run(const fs::path& dir, const std::vector<std::string>& args) {
  const RunResult r = runProgram(RUNOFF_SIM_EXE, args, dir);
  EXPECT_EQ(r.exitStatus, 0) << r.out;
  return r.out;
}

// The options add lines and change nothing else: the scheme line before routing starts, and
// the budget after the last line of the plain run. A dry basin gives the exact text.
TEST(SchemeConsole, SchemeLineAndBudgetTableAreAddedToThePlainConsole) {
  TempDir plain, both;
  Basin b = mixedBasin(1);
  b.rain = uniformRain(1, 2, 2, "0");
  b.write(plain.path());
  b.write(both.path());
  std::string expected = run(plain.path(), {});
  const std::string starts = "Runoff simulation starts.\n";
  expected.insert(expected.find(starts), "Routing scheme: conservative.\n");
  expected +=
      "Water budget over the run, conservative scheme, m3 (error = rain + inflow + storage start "
      "- outflow - storage end):\n"
      "  basin          rain        inflow       outflow  storage start   storage end         "
      "error   error %\n"
      "      1  0.000000e+00  0.000000e+00  0.000000e+00   0.000000e+00  0.000000e+00  "
      "0.000000e+00         -\n"
      "  total  0.000000e+00  0.000000e+00  0.000000e+00   0.000000e+00  0.000000e+00  "
      "0.000000e+00         -\n";
  EXPECT_EQ(run(both.path(), {"--budget", "--scheme", "conservative"}), expected);
  EXPECT_EQ(readFile(both / "output/dischargeHourly.bin"),
            readFile(plain / "output/dischargeHourly.bin"));
}

// With rain, every row holds six volumes and the error as a percentage of the rain; basins are
// the listed river numbers, each once and in ascending order, a number that selects no cell
// included.
TEST(SchemeConsole, BudgetTableListsEveryListedBasinOnceInOrder) {
  TempDir dir;
  Basin b = mixedBasin(1);
  b.riverList = riverRecord(7) + riverRecord(1) + riverRecord(7) + riverRecord(-1);
  b.write(dir.path());
  const std::string out = run(dir.path(), {"--budget"});
  const std::string table = out.substr(out.find("Water budget over the run, classic scheme"));
  const std::string number = " +-?[0-9]\\.[0-9]{6}e[+-][0-9]{2}";
  const std::regex rows("Water budget[^\n]*\n +basin[^\n]*\n +1(" + number +
                        "){6} +-?[0-9.e+-]+\n" + " +7(" + number + "){6} +-\n" + "  total(" +
                        number + "){6} +-?[0-9.e+-]+\n");
  EXPECT_TRUE(std::regex_match(table, rows)) << table;
}

// Restart states: a conservative run continued from its state gives exactly the bytes of one
// long run, and a state of the other scheme is refused before anything is written.
TEST(SchemeRestart, ConservativeRunContinuesExactlyAndRefusesAClassicState) {
  Basin whole = mixedBasin(2);
  std::istringstream lines(whole.rain);
  std::string line, firstDay, secondDay;
  for (int n = 0; std::getline(lines, line); ++n) (n < 72 ? firstDay : secondDay) += line + "\n";
  TempDir one, halves;
  whole.write(one.path());
  run(one.path(), {"--scheme", "conservative"});

  Basin half = whole;
  half.param(kDays, "1");
  half.rain = firstDay;
  half.write(halves.path());
  run(halves.path(), {"--scheme", "conservative", "--state-out", "day1.state"});
  std::string hourly = readFile(halves / "output/dischargeHourly.bin");
  half.rain = secondDay;
  half.write(halves.path());
  run(halves.path(), {"--scheme=conservative", "--state-in", "day1.state"});
  hourly += readFile(halves / "output/dischargeHourly.bin");
  EXPECT_TRUE(hourly == readFile(one / "output/dischargeHourly.bin"));

  run(halves.path(), {"--state-out", "classic.state"});
  fs::remove_all(halves / "output");
  fs::create_directories(halves / "output");
  const RunResult refused = runProgram(
      RUNOFF_SIM_EXE, {"--scheme", "conservative", "--state-in", "classic.state"}, halves.path());
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_EQ(lastLine(refused.out),
            "State file classic.state does not fit this run: it was routed with the classic "
            "scheme, this run uses the conservative scheme.");
  EXPECT_TRUE(entries(halves / "output").empty());
}

}  // namespace
}  // namespace runoff::testing
