// Replays the worked cases under tests/data/golden for discharge-map and discharge-point: each
// case's parameter file and expected hourly discharge file are staged, and the programs'
// console output, exit status, first image and series must match the stored results byte for
// byte.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace runoff::testing {
namespace {

struct GoldenCase {
  std::string name;
  fs::path expected;
  std::string exitStatus;  // exit-status.json
};

// The cases that carry the hourly discharge file (the large example basin does not).
std::vector<GoldenCase> casesWithHourlyFile() {
  std::vector<GoldenCase> cases;
  for (const auto& entry : fs::directory_iterator(fs::path(TEST_DATA_DIR) / "golden")) {
    const fs::path expected = entry.path() / "expected";
    if (!fs::exists(expected / "output.dischargeHourly.bin")) continue;
    cases.push_back(
        {entry.path().filename().string(), expected, readFile(expected / "exit-status.json")});
  }
  return cases;
}

// A working directory as the simulator leaves it: the parameter file on top and the hourly
// file in output/, with output/image/ ready for the maps.
class Staged {
 public:
  explicit Staged(const GoldenCase& c) {
    fs::create_directories(output() / "image");
    fs::copy_file(c.expected.parent_path() / "input" / "param-ravo-event-ver300.dat",
                  dir_ / "param-ravo-event-ver300.dat");
    fs::copy_file(c.expected / "output.dischargeHourly.bin", output() / "dischargeHourly.bin");
  }
  fs::path output() const { return dir_ / "output"; }

 private:
  TempDir dir_;
};

TEST(PostProcessorGolden, DischargeMapMatchesWorkedCases) {
  const auto cases = casesWithHourlyFile();
  ASSERT_FALSE(cases.empty());
  for (const GoldenCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::smatch m;
    ASSERT_TRUE(
        std::regex_search(c.exitStatus, m, std::regex("\"discharge-map, answer n\": (\\d+)")));
    Staged s(c);
    RunResult r = runProgram(DISCHARGE_MAP_EXE, s.output(), "n\n");
    EXPECT_EQ(r.exitStatus, std::stoi(m[1]));
    EXPECT_EQ(r.out, readFile(c.expected / "discharge-map.auto.stdout"));
    EXPECT_EQ(readFile(s.output() / "image" / "   1_discharge.ppm"),
              readFile(c.expected / "output.image.1_discharge.ppm"));
  }
}

TEST(PostProcessorGolden, DischargePointMatchesWorkedCases) {
  const auto cases = casesWithHourlyFile();
  ASSERT_FALSE(cases.empty());
  for (const GoldenCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        c.exitStatus, m, std::regex("\"discharge-point, column (\\d+) row (\\d+)\": (\\d+)")));
    const std::string column = m[1], row = m[2];
    Staged s(c);
    RunResult r = runProgram(DISCHARGE_POINT_EXE, s.output(), column + "\n" + row + "\n");
    EXPECT_EQ(r.exitStatus, std::stoi(m[3]));
    EXPECT_EQ(r.out, readFile(c.expected / "discharge-point.stdout"));
    const std::string series = column + "-" + row + "_discharge.dat";
    EXPECT_EQ(readFile(s.output() / series), readFile(c.expected / ("output." + series)));
  }
}

}  // namespace
}  // namespace runoff::testing
