// End-to-end runs of discharge-point on small hourly files written by the tests: console
// dialogue, exit status and series bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace runoff::testing {
namespace {

std::string echo(int cols, int rows, int days) {
  return "Reading parameters for runoff simulation.\n"
         "1) Reading parameters for study area.\n"
         "  Topography scale : 3\n"
         "  Number of col : " +
         std::to_string(cols) + "  Number of row : " + std::to_string(rows) +
         "\n"
         " Sorth West corner Longitude (degree) : 140 Latitude (deg) : 36.125\n"
         "2) Reading parameters for input data.\n"
         "  Number of col : 4  Number of row : 5\n"
         "  Input data grid size of x-direction : 0.05\n"
         "  Input data grid size of y-direction : 0.05\n"
         "  West corner longitude of input data : 139.975\n"
         "  South corner latitude of input data : 36.1\n"
         "3) Reading parameters for simuration duration.\n"
         "  Simulation duration (days) : " +
         std::to_string(days) + "\n";
}

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

constexpr const char* kColumnQuestion =
    "Input column number to extract data!\nColumn number begins from 1 from west.\n";
constexpr const char* kRowQuestion =
    "Input row number to extract data!\nRow number begins from 1 from south.\n";

// A simulator working directory with only the parameter values 1 to 12 (the post-processors
// never read further) and `output/` holding the hourly file.
class PointRun {
 public:
  PointRun(int cols, int rows, int days, const std::vector<float>& hourly) {
    writeFile(dir_ / "param-ravo-event-ver300.dat",
              "3 " + std::to_string(cols) + " " + std::to_string(rows) +
                  " 140 36.125 4 5 0.05 0.05 139.975 36.1 " + std::to_string(days) + "\n");
    fs::create_directories(output());
    writeFloats(output() / "dischargeHourly.bin", hourly);
  }
  fs::path output() const { return dir_ / "output"; }
  RunResult run(const std::string& input) const {
    return runProgram(DISCHARGE_POINT_EXE, output(), input);
  }

 private:
  TempDir dir_;
};

// One day of a 3 x 2 grid: the cell at column 2, row 2 carries `picked` for hour h in
// picked[h - 1]; every other cell carries a value that would show if it were picked instead.
std::vector<float> threeByTwoDay(const std::vector<float>& picked) {
  std::vector<float> v;
  for (int h = 0; h < 24; ++h) {
    for (int p = 0; p < 6; ++p) v.push_back(p == 4 ? picked[h] : 1000.0f * (p + 1) + h);
  }
  return v;
}

TEST(DischargePoint, WritesOneLinePerHourInSixSignificantDigits) {
  std::vector<float> picked = {1e6f,    1234567.0f, 0.5f, -9999.0f, 1e-5f,
                               0.0001f, 123456.7f,  0.3f, 0.0f};
  for (int h = 10; h <= 24; ++h) picked.push_back(0.25f * h);
  PointRun p(3, 2, 1, threeByTwoDay(picked));
  RunResult r = p.run("2\n2\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, echo(3, 2, 1) + kColumnQuestion + kRowQuestion +
                       "Column number : 2 Row number : 2\n"
                       "Read ./dischargeHourly.bin\n"
                       "Write ./2-2_discharge.dat\r");
  EXPECT_EQ(readFile(p.output() / "2-2_discharge.dat"),
            "1 1e+06\n2 1.23457e+06\n3 0.5\n4 -9999\n5 1e-05\n6 0.0001\n7 123457\n8 0.3\n9 0\n"
            "10 2.5\n11 2.75\n12 3\n13 3.25\n14 3.5\n15 3.75\n16 4\n17 4.25\n18 4.5\n19 4.75\n"
            "20 5\n21 5.25\n22 5.5\n23 5.75\n24 6\n");
}

TEST(DischargePoint, SouthWestAndNorthEastCellsAreAccepted) {
  PointRun p(3, 2, 1, threeByTwoDay(std::vector<float>(24, 0.0f)));
  RunResult r = p.run("1 1\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(readFile(p.output() / "1-1_discharge.dat").substr(0, 16), "1 1000\n2 1001\n3 ");
  r = p.run("3\n2\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(readFile(p.output() / "3-2_discharge.dat").substr(0, 16), "1 6000\n2 6001\n3 ");
}

TEST(DischargePoint, ColumnOutOfRangeEndsBeforeTheRowIsAsked) {
  for (const char* input : {"0\n1\n", "-1\n1\n", "4\n1\n", "99999999999\n1\n"}) {
    RunResult r = PointRun(3, 2, 1, threeByTwoDay(std::vector<float>(24, 0.0f))).run(input);
    EXPECT_EQ(r.exitStatus, 1) << input;
    EXPECT_EQ(r.out, echo(3, 2, 1) + kColumnQuestion + "Column number is out of range!\n") << input;
  }
}

TEST(DischargePoint, RowOutOfRangeIsRefused) {
  for (const char* input : {"1\n0\n", "1\n-3\n", "1\n3\n"}) {
    PointRun p(3, 2, 1, threeByTwoDay(std::vector<float>(24, 0.0f)));
    RunResult r = p.run(input);
    EXPECT_EQ(r.exitStatus, 1) << input;
    EXPECT_EQ(r.out,
              echo(3, 2, 1) + kColumnQuestion + kRowQuestion + "Row number is out of range!\n")
        << input;
    EXPECT_FALSE(fs::exists(p.output() / "1-0_discharge.dat"));
  }
}

TEST(DischargePoint, AnswerThatIsNotAWholeNumberEndsTheRun) {
  PointRun p(3, 2, 1, threeByTwoDay(std::vector<float>(24, 0.0f)));
  RunResult r = p.run("abc\n1\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out,
            echo(3, 2, 1) + kColumnQuestion + "Column number \"abc\" is not a whole number!\n");
  r = p.run("1\n1.5\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, echo(3, 2, 1) + kColumnQuestion + kRowQuestion +
                       "Row number \"1.5\" is not a whole number!\n");
}

TEST(DischargePoint, EndOfInputEndsTheRun) {
  PointRun p(3, 2, 1, threeByTwoDay(std::vector<float>(24, 0.0f)));
  RunResult r = p.run("");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, echo(3, 2, 1) + kColumnQuestion + "No column number inputted: end of input.\n");
  r = p.run("2\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, echo(3, 2, 1) + kColumnQuestion + kRowQuestion +
                       "No row number inputted: end of input.\n");
}

TEST(DischargePoint, ZeroDaysGiveAnEmptySeries) {
  PointRun p(3, 2, 0, {});
  RunResult r = p.run("1\n1\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, echo(3, 2, 0) + kColumnQuestion + kRowQuestion +
                       "Column number : 1 Row number : 1\nRead ./dischargeHourly.bin\n"
                       "Write ./1-1_discharge.dat\r");
  EXPECT_EQ(readFile(p.output() / "1-1_discharge.dat"), "");
}

TEST(DischargePoint, FourHundredSeventeenDaysAreAccepted) {
  std::vector<float> v(24 * 417);
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<float>(i);
  PointRun p(1, 1, 417, v);
  RunResult r = p.run("1\n1\n");
  EXPECT_EQ(r.exitStatus, 0);
  const std::string series = readFile(p.output() / "1-1_discharge.dat");
  EXPECT_EQ(std::count(series.begin(), series.end(), '\n'), 10008);
  EXPECT_TRUE(endsWith(series, "\n10007 10006\n10008 10007\n"));
}

TEST(DischargePoint, ShortHourlyFileIsRefusedBeforeTheSeriesIsWritten) {
  PointRun p(3, 2, 1, std::vector<float>(143, 0.0f));
  RunResult r = p.run("1\n1\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, echo(3, 2, 1) + kColumnQuestion + kRowQuestion +
                       "Column number : 1 Row number : 1\nRead ./dischargeHourly.bin\n"
                       "Discharge data is too short: ./dischargeHourly.bin holds 143 values, 24 "
                       "hours of 3 x 2 cells need 144.\n");
  EXPECT_FALSE(fs::exists(p.output() / "1-1_discharge.dat"));
}

TEST(DischargePoint, MissingHourlyFileIsReported) {
  PointRun p(3, 2, 1, {});
  fs::remove(p.output() / "dischargeHourly.bin");
  RunResult r = p.run("1\n1\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, echo(3, 2, 1) + kColumnQuestion + kRowQuestion +
                       "Column number : 1 Row number : 1\nRead ./dischargeHourly.bin\n"
                       "Discharge data cannot open.\n");
}

TEST(DischargePoint, MissingParameterFileEndsAtOnce) {
  TempDir dir;
  RunResult r = runProgram(DISCHARGE_POINT_EXE, dir.path(), "1\n1\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(
      r.out,
      "Reading parameters for runoff simulation.\nparam-ravo-event-ver300.dat cannot open.\n");
}

TEST(DischargePoint, SeriesThatCannotBeCreatedIsReported) {
  PointRun p(3, 2, 1, threeByTwoDay(std::vector<float>(24, 0.0f)));
  fs::create_directory(p.output() / "1-1_discharge.dat");
  RunResult r = p.run("1\n1\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_TRUE(endsWith(
      r.out, "Write ./1-1_discharge.dat\rTime series discharge output file cannot open.\n"))
      << r.out;
}

TEST(DischargePoint, SeriesThatCannotBeWrittenIsReported) {
  // 10008 lines need about 110 kB; the file size limit allows 10 blocks.
  PointRun p(1, 1, 417, std::vector<float>(24 * 417, 0.125f));
  RunResult r =
      runProgram(DISCHARGE_POINT_EXE, p.output(), "1\n1\n", "ulimit -f 10; trap '' XFSZ;");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_TRUE(
      endsWith(r.out,
               "Write ./1-1_discharge.dat\r"
               "Time series discharge output file cannot be written: ./1-1_discharge.dat\n"))
      << r.out;
}

}  // namespace
}  // namespace runoff::testing
