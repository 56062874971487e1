// Replays the worked cases under tests/data/golden: each holds a complete working directory and
// what a correct build prints and writes, computed independently of this code. The whole chain
// runs as a user would run it: the simulator twice (the second run reads its caches), then the
// map renderer with the automatic range and the point extractor, all inside a scratch copy.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace runoff::testing {
namespace {

const fs::path kGolden = fs::path(TEST_DATA_DIR) / "golden";

std::string expected(const std::string& name, const std::string& file) {
  return readFile(kGolden / name / "expected" / file);
}

// Column and row of the point series, from the key "discharge-point, column C row R".
std::pair<int, int> pointOf(const std::string& name) {
  std::smatch m;
  std::string json = expected(name, "exit-status.json");
  static const std::regex key("column ([0-9]+) row ([0-9]+)");
  if (!std::regex_search(json, m, key)) return {0, 0};
  return {std::stoi(m[1]), std::stoi(m[2])};
}

class GoldenCase : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenCase, WholeChainMatchesByteForByte) {
  const std::string name = GetParam();
  TempDir dir;
  copyTree(kGolden / name / "input", dir.path());
  fs::create_directories(dir / "temp");
  fs::create_directories(dir / "output/image");

  RunResult first = runProgram(RUNOFF_SIM_EXE, dir.path());
  EXPECT_EQ(first.exitStatus, 0);
  EXPECT_EQ(first.out, expected(name, "runoff-sim.run1.stdout"));
  for (const char* cache : {"numOfBasin.dat", "orderedCell.dat", "setROFCell.dat"}) {
    EXPECT_EQ(readFile(dir / "temp" / cache), expected(name, std::string("temp.") + cache))
        << cache;
  }

  RunResult second = runProgram(RUNOFF_SIM_EXE, dir.path());
  EXPECT_EQ(second.exitStatus, 0);
  EXPECT_EQ(second.out, expected(name, "runoff-sim.run2.stdout"));

  RunResult map = runProgram(DISCHARGE_MAP_EXE, dir / "output", "n\n");
  EXPECT_EQ(map.exitStatus, 0);
  EXPECT_EQ(map.out, expected(name, "discharge-map.auto.stdout"));

  auto [column, row] = pointOf(name);
  RunResult point = runProgram(DISCHARGE_POINT_EXE, dir / "output",
                               std::to_string(column) + "\n" + std::to_string(row) + "\n");
  EXPECT_EQ(point.exitStatus, 0);
  EXPECT_EQ(point.out, expected(name, "discharge-point.stdout"));

  // Every file the chain leaves under output/, by its SHA-256.
  writeFile(dir / "SHA256SUMS", expected(name, "SHA256SUMS"));
  std::string command = "cd '" + dir.path().string() + "' && sha256sum --quiet -c SHA256SUMS";
  EXPECT_EQ(std::system(command.c_str()), 0) << "output files differ from " << name;
}

// The classic scheme, no rainfall losses and the C library's pow are the defaults: naming them
// changes no byte, on any thread count.
TEST_P(GoldenCase, SimulatorGivesTheSameBytesOnAnyThreadCountAndWithSchemeClassic) {
  const std::string name = GetParam();
  const std::pair<const char*, std::vector<std::string>> runs[] = {
      {"1", {}},
      {"7", {}},
      {"2", {"--scheme", "classic"}},
      {"1", {"--scheme=classic"}},
      {"2", {"--losses", "none"}},
      {"1", {"--losses=none", "--scheme", "classic"}},
      {"2", {"--power", "libm"}},
      {"1", {"--power=libm", "--scheme", "classic"}}};
  for (const auto& [threads, args] : runs) {
    const std::string run =
        std::string(threads) + " threads, " + std::to_string(args.size()) + " arguments";
    TempDir dir;
    copyTree(kGolden / name / "input", dir.path());
    fs::create_directories(dir / "temp");
    fs::create_directories(dir / "output");
    RunResult result =
        runProgram(RUNOFF_SIM_EXE, args, dir.path(), "", std::string("OMP_NUM_THREADS=") + threads);
    EXPECT_EQ(result.exitStatus, 0) << run;
    EXPECT_EQ(result.out, expected(name, "runoff-sim.run1.stdout")) << run;
    std::string sums = expected(name, "SHA256SUMS"), grids;
    for (std::size_t at = 0, end; (end = sums.find('\n', at)) != std::string::npos; at = end + 1) {
      std::string line = sums.substr(at, end - at + 1);
      if (line.find("output/discharge") != std::string::npos) grids += line;
    }
    writeFile(dir / "GRIDSUMS", grids);
    std::string command = "cd '" + dir.path().string() + "' && sha256sum --quiet -c GRIDSUMS";
    EXPECT_EQ(std::system(command.c_str()), 0) << run;
  }
}

// The conservative scheme's results differ from the worked cases, but not between thread
// counts: every cell's solve depends on its own inputs alone. Its console is the classic one
// with the scheme named before routing starts.
TEST_P(GoldenCase, ConservativeSchemeGivesTheSameBytesOnOneTwoAndSevenThreads) {
  const std::string name = GetParam();
  std::string classicConsole = expected(name, "runoff-sim.run1.stdout");
  const std::string starts = "Runoff simulation starts.\n";
  classicConsole.insert(classicConsole.find(starts), "Routing scheme: conservative.\n");
  std::string first;
  for (const char* threads : {"1", "2", "7"}) {
    TempDir dir;
    copyTree(kGolden / name / "input", dir.path());
    fs::create_directories(dir / "temp");
    fs::create_directories(dir / "output");
    RunResult result = runProgram(RUNOFF_SIM_EXE, {"--scheme", "conservative"}, dir.path(), "",
                                  std::string("OMP_NUM_THREADS=") + threads);
    EXPECT_EQ(result.exitStatus, 0) << threads << " threads";
    EXPECT_EQ(result.out, classicConsole) << threads << " threads";
    std::string grids;
    for (const char* file :
         {"dischargeDaily.bin", "dischargeHourlyMaxInDay.bin", "dischargeHourly.bin"}) {
      grids += readFile(dir / "output" / file);
    }
    if (first.empty()) first = grids;
    EXPECT_TRUE(grids == first) << threads << " threads";
  }
}

INSTANTIATE_TEST_SUITE_P(Golden, GoldenCase,
                         ::testing::Values("small-realistic", "small-inconsistent-acc",
                                           "small-eight-inflows", "small-rain-across-180",
                                           "sample-basin"),
                         [](const auto& info) { return caseName(info.param); });

}  // namespace
}  // namespace runoff::testing
