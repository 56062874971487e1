// Replays the small runs under tests/data/runs byte for byte: console output, caches and the
// three discharge grids. Their expected files come from tests/data/regenerate-runs.sh only.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace runoff::testing {
namespace {

const fs::path kRuns = fs::path(TEST_DATA_DIR) / "runs";

class SmallRun : public ::testing::TestWithParam<std::string> {};

TEST_P(SmallRun, ReplaysByteForByte) {
  const fs::path cas = kRuns / GetParam();
  const fs::path expected = cas / "expected";
  TempDir dir;
  copyTree(cas / "input", dir.path());
  fs::create_directories(dir / "temp");
  fs::create_directories(dir / "output");
  RunResult r = runProgram(RUNOFF_SIM_EXE, dir.path());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, readFile(expected / "runoff-sim.stdout"));
  for (const char* f : {"numOfBasin.dat", "orderedCell.dat", "setROFCell.dat"}) {
    EXPECT_EQ(readFile(dir / "temp" / f), readFile(expected / (std::string("temp.") + f))) << f;
  }
  for (const char* f : {"dischargeDaily.bin", "dischargeHourlyMaxInDay.bin", "dischargeHourly.bin"}) {
    const std::string want = readFile(expected / (std::string("output.") + f));
    ASSERT_FALSE(want.empty()) << f;
    EXPECT_TRUE(readFile(dir / "output" / f) == want) << f << " differs";
  }
}

INSTANTIATE_TEST_SUITE_P(Runs, SmallRun,
                         ::testing::Values("eight-inflows", "inconsistent-acc",
                                           "unselected-upstream"),
                         [](const auto& info) { return caseName(info.param); });

}  // namespace
}  // namespace runoff::testing
