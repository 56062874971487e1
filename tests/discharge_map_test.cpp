// End-to-end runs of discharge-map on small hourly files written by the tests: console
// dialogue, exit status and image bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace runoff::testing {
namespace {

struct Rgb {
  unsigned char red, green, blue;
};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kBlue{0, 0, 252};
constexpr Rgb kRed{252, 0, 0};
constexpr Rgb kYellow{252, 252, 0};
constexpr float kMissing = -9999.0f;

std::string echo(int cols, int rows, int days) {
  return "Reading parameters for runoff simulation.\n"
         "1) Reading parameters for study area.\n"
         "  Topography scale : 7.5\n"
         "  Number of col : " +
         std::to_string(cols) + "  Number of row : " + std::to_string(rows) +
         "\n"
         " Sorth West corner Longitude (degree) : 135.25 Latitude (deg) : 35\n"
         "2) Reading parameters for input data.\n"
         "  Number of col : 2  Number of row : 3\n"
         "  Input data grid size of x-direction : 0.1\n"
         "  Input data grid size of y-direction : 0.125\n"
         "  West corner longitude of input data : 135\n"
         "  South corner latitude of input data : 35.5\n"
         "3) Reading parameters for simuration duration.\n"
         "  Simulation duration (days) : " +
         std::to_string(days) + "\n";
}

constexpr const char* kQuestion =
    "\nDo you want to set the maximum and minimun values of rainfall intensity? (y/n)\n";
constexpr const char* kUserPrompts = "Input maximum value : Input minimum value : ";

// "Write ./image/   1_discharge.ppm\r" ... for hours 1 to `hours` (fewer than 100).
std::string writeLines(int hours) {
  std::string s;
  for (int h = 1; h <= hours; ++h) {
    s += std::string("Write ./image/") + (h < 10 ? "   " : "  ") + std::to_string(h) +
         "_discharge.ppm\r";
  }
  return s;
}

// The expected image: `cells` in file order (southern row first), 5 x 5 pixels each.
std::string image(int rows, int cols, const std::vector<Rgb>& cells) {
  std::string s = "P6\n" + std::to_string(5 * cols) + " " + std::to_string(5 * rows) + "\n255\n";
  for (int r = rows - 1; r >= 0; --r) {
    for (int line = 0; line < 5; ++line) {
      for (int k = 0; k < cols; ++k) {
        for (int n = 0; n < 5; ++n) {
          const Rgb c = cells[r * cols + k];
          s += {static_cast<char>(c.red), static_cast<char>(c.green), static_cast<char>(c.blue)};
        }
      }
    }
  }
  return s;
}

// A simulator working directory with the parameter file on top and `output/` (with
// `output/image/` unless told otherwise) holding the hourly file.
class MapRun {
 public:
  MapRun(int cols, int rows, int days, const std::vector<float>& hourly, bool imageDir = true) {
    writeFile(dir_ / "param-ravo-event-ver300.dat",
              "7.50 " + std::to_string(cols) + " " + std::to_string(rows) +
                  " 135.25 35\n2 3 0.1 0.125 135 35.5\n" + std::to_string(days) +
                  "\n60 1 0.5 0.4 0.03 10 1\n");
    fs::create_directories(imageDir ? output() / "image" : output());
    writeFloats(output() / "dischargeHourly.bin", hourly);
  }
  fs::path output() const { return dir_ / "output"; }
  RunResult run(const std::string& input) const {
    return runProgram(DISCHARGE_MAP_EXE, output(), input);
  }
  std::string imageBytes(const std::string& hour) const {
    return readFile(output() / "image" / (hour + "_discharge.ppm"));
  }
  bool hasImage(const std::string& hour) const {
    return fs::exists(output() / "image" / (hour + "_discharge.ppm"));
  }

 private:
  TempDir dir_;
};

// One day of a 5 x 5 grid, all missing but the cells set in hour 1.
std::vector<float> fiveByFiveDay() {
  std::vector<float> v(24 * 25, kMissing);
  v[0] = 1.0f;            // (row 0, col 0): the run's minimum
  v[2 * 5 + 2] = 100.0f;  // the centre: the run's maximum
  v[4 * 5 + 4] = 50.5f;   // t = 0.5, index 180
  v[4] = -0.5f;           // negative: black
  v[1 * 5 + 1] = 60.0f;   // frame cell: black
  return v;
}

std::vector<Rgb> fiveByFiveHourOne() {
  std::vector<Rgb> cells(25, kBlack);
  cells[0] = kBlue;
  cells[2 * 5 + 2] = kRed;
  cells[4 * 5 + 4] = {208, 252, 0};
  return cells;
}

TEST(DischargeMap, AutomaticRangeDrawsSmallestBlueAndLargestRed) {
  MapRun m(5, 5, 1, fiveByFiveDay());
  RunResult r = m.run("n\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, echo(5, 5, 1) + "\nRead ./dischargeHourly.bin\n" + kQuestion +
                       "Maximun discharge = 100 Minimum discharge = 1\n"
                       "Read ./dischargeHourly.bin\n" +
                       writeLines(24) + "\nProgram ends!\n");
  EXPECT_EQ(m.imageBytes("   1"), image(5, 5, fiveByFiveHourOne()));
  EXPECT_EQ(m.imageBytes("  24"), image(5, 5, std::vector<Rgb>(25, kBlack)));
}

TEST(DischargeMap, AutomaticScanCountsFrameCellsAndEveryHour) {
  std::vector<float> v = fiveByFiveDay();
  v[23 * 25 + 1 * 5 + 3] = 400.0f;  // last hour, a frame cell
  v[7 * 25 + 3 * 5 + 0] = 0.125f;   // hour 8, a frame cell
  RunResult r = MapRun(5, 5, 1, v).run("n\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_NE(r.out.find("\nMaximun discharge = 400 Minimum discharge = 0.125\n"), std::string::npos)
      << r.out;
}

TEST(DischargeMap, AnswersOtherThanLowerCaseYSelectTheAutomaticScan) {
  for (const char* answer : {"Y\n", "yes\n", "n\n"}) {
    RunResult r = MapRun(5, 5, 1, fiveByFiveDay()).run(answer);
    EXPECT_EQ(r.exitStatus, 0) << answer;
    EXPECT_NE(r.out.find(std::string(kQuestion) + "Maximun discharge = 100 "), std::string::npos)
        << answer;
  }
}

TEST(DischargeMap, UserRangeDrawsAboveMaximumYellowAndBelowMinimumBlack) {
  std::vector<float> v(24 * 6, kMissing);
  // one row of six: frame columns 1 and 4
  v[0] = 20.0f;  // above the maximum
  v[1] = 5.0f;   // frame
  v[2] = 1.0f;   // below the minimum
  v[3] = 2.0f;   // the minimum
  v[5] = 10.0f;  // the maximum
  MapRun m(6, 1, 1, v);
  RunResult r = m.run("y\n10\n2\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, echo(6, 1, 1) + "\nRead ./dischargeHourly.bin\n" + kQuestion + kUserPrompts +
                       "Maximun discharge = 10 Minimum discharge = 2\n"
                       "Read ./dischargeHourly.bin\n" +
                       writeLines(24) + "\nProgram ends!\n");
  EXPECT_EQ(m.imageBytes("   1"), image(1, 6, {kYellow, kBlack, kBlack, kBlue, kBlack, kRed}));
}

TEST(DischargeMap, IndexBeyond32BitsIsDrawnYellow) {
  std::vector<float> v(24, 1e8f);
  MapRun m(1, 1, 1, v);
  RunResult r = m.run("y\n1e-6\n0\n");
  EXPECT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_EQ(m.imageBytes("   1"), image(1, 1, {kYellow}));
}

TEST(DischargeMap, ThreeColumnsBlackOnlyTheMiddleColumn) {
  MapRun m(3, 4, 1, std::vector<float>(24 * 12, 2.0f));
  RunResult r = m.run("y\n2\n0\n");
  EXPECT_EQ(r.exitStatus, 0);
  // rows 1 and 2 are the second rows from the south and from the north
  EXPECT_EQ(m.imageBytes("   1"), image(4, 3,
                                        {kRed, kBlack, kRed,      //
                                         kBlack, kBlack, kBlack,  //
                                         kBlack, kBlack, kBlack,  //
                                         kRed, kBlack, kRed}));
}

TEST(DischargeMap, ZeroDaysWithAutomaticRangeIsRefused) {
  RunResult r = MapRun(2, 2, 0, {}).run("n\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, echo(2, 2, 0) + "\nRead ./dischargeHourly.bin\n" + kQuestion +
                       "Maximun discharge <= Minimum discharge!\n");
}

TEST(DischargeMap, ZeroDaysWithUserRangeEndsWithoutImages) {
  MapRun m(2, 2, 0, {});
  RunResult r = m.run("y\n1\n0\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, echo(2, 2, 0) + "\nRead ./dischargeHourly.bin\n" + kQuestion + kUserPrompts +
                       "Maximun discharge = 1 Minimum discharge = 0\n"
                       "Read ./dischargeHourly.bin\n\nProgram ends!\n");
  EXPECT_TRUE(fs::is_empty(m.output() / "image"));
}

TEST(DischargeMap, FourHundredSixteenDaysAreAccepted) {
  MapRun m(1, 1, 416, std::vector<float>(9984, 0.5f));
  RunResult r = m.run("y\n1\n0\n");
  EXPECT_EQ(r.exitStatus, 0);
  const std::string tail = "Write ./image/9984_discharge.ppm\r\nProgram ends!\n";
  ASSERT_GE(r.out.size(), tail.size());
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
  EXPECT_EQ(m.imageBytes("9984"), image(1, 1, {{208, 252, 0}}));  // sqrt(0.5) x 255 = 180.3
  EXPECT_FALSE(m.hasImage("9985"));
}

TEST(DischargeMap, FourHundredSeventeenDaysAreRefusedBeforeTheQuestion) {
  RunResult r = MapRun(1, 1, 417, std::vector<float>(24, 0.5f)).run("y\n1\n0\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out,
            echo(1, 1, 417) + "\nRead ./dischargeHourly.bin\nMax_time_counter exceeds 10000!\n");
}

TEST(DischargeMap, MinimumEqualToMaximumIsRefused) {
  MapRun m(1, 1, 1, std::vector<float>(24, 0.5f));
  RunResult r = m.run("y\n5\n5\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, echo(1, 1, 1) + "\nRead ./dischargeHourly.bin\n" + kQuestion + kUserPrompts +
                       "Wrong values inputted!\n");
  EXPECT_TRUE(fs::is_empty(m.output() / "image"));
}

// A value that is not a number, typed for either bound, is judged only once both were read:
// a script that answers both questions sees the same dialogue as for any other bad range.
TEST(DischargeMap, ValueThatIsNotANumberIsRefusedAfterBothPrompts) {
  for (const char* bad : {"abc", "inf", "+inf", "INF", "nan", "5x"}) {
    for (const std::string& input :
         {std::string("y\n") + bad + "\n1\n", std::string("y\n5\n") + bad + "\n"}) {
      MapRun m(1, 1, 1, std::vector<float>(24, 0.5f));
      RunResult r = m.run(input);
      EXPECT_EQ(r.exitStatus, 1) << input;
      EXPECT_EQ(r.out, echo(1, 1, 1) + "\nRead ./dischargeHourly.bin\n" + kQuestion + kUserPrompts +
                           "Wrong values inputted!\n")
          << input;
      EXPECT_TRUE(fs::is_empty(m.output() / "image"));
    }
  }
}

TEST(DischargeMap, EndOfInputAtTheQuestionEndsTheRun) {
  RunResult r = MapRun(1, 1, 1, std::vector<float>(24, 0.5f)).run("");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, echo(1, 1, 1) + "\nRead ./dischargeHourly.bin\n" + kQuestion +
                       "No answer inputted: end of input.\n");
}

TEST(DischargeMap, EndOfInputAtTheMinimumEndsTheRun) {
  RunResult r = MapRun(1, 1, 1, std::vector<float>(24, 0.5f)).run("y\n5\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, echo(1, 1, 1) + "\nRead ./dischargeHourly.bin\n" + kQuestion + kUserPrompts +
                       "No minimum value inputted: end of input.\n");
}

TEST(DischargeMap, MissingImageDirectoryStopsAtHourOne) {
  RunResult r = MapRun(5, 5, 1, fiveByFiveDay(), /*imageDir=*/false).run("n\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, echo(5, 5, 1) + "\nRead ./dischargeHourly.bin\n" + kQuestion +
                       "Maximun discharge = 100 Minimum discharge = 1\n"
                       "Read ./dischargeHourly.bin\n"
                       "Write ./image/   1_discharge.ppm\rImage output file cannot open.\n");
}

TEST(DischargeMap, ShortHourlyFileIsRefusedBeforeTheQuestion) {
  MapRun m(2, 2, 1, std::vector<float>(95, 0.5f));
  RunResult r = m.run("y\n1\n0\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, echo(2, 2, 1) +
                       "\nRead ./dischargeHourly.bin\n"
                       "Discharge data is too short: ./dischargeHourly.bin holds 95 values, 24 "
                       "hours of 2 x 2 cells need 96.\n");
  EXPECT_TRUE(fs::is_empty(m.output() / "image"));
}

TEST(DischargeMap, HourlyPathThatIsADirectoryIsRefused) {
  MapRun m(1, 1, 1, {});
  fs::remove(m.output() / "dischargeHourly.bin");
  fs::create_directory(m.output() / "dischargeHourly.bin");
  RunResult r = m.run("n\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, echo(1, 1, 1) +
                       "\nRead ./dischargeHourly.bin\n"
                       "Discharge data cannot be used: ./dischargeHourly.bin is not a regular "
                       "file.\n");
}

TEST(DischargeMap, MissingHourlyFileIsReported) {
  MapRun m(1, 1, 1, {});
  fs::remove(m.output() / "dischargeHourly.bin");
  RunResult r = m.run("n\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, echo(1, 1, 1) + "\nRead ./dischargeHourly.bin\nDischarge data cannot open.\n");
}

TEST(DischargeMap, MissingParameterFileEndsAfterOneKeyOrEndOfInput) {
  TempDir dir;
  for (const char* input : {"", "\n"}) {
    RunResult r = runProgram(DISCHARGE_MAP_EXE, dir.path(), input);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out,
              "Reading parameters for runoff simulation.\n"
              "param-ravo-event-ver300.dat cannot open.\n\nProgram ends. Hit any key!\n");
  }
}

TEST(DischargeMap, UnusableParameterFileEndsWithTheReadersLine) {
  MapRun m(1, 1, 1, std::vector<float>(24, 0.5f));
  writeFile(m.output() / ".." / "param-ravo-event-ver300.dat", "7.5 abc 1");
  RunResult r = m.run("n\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out,
            "Reading parameters for runoff simulation.\n"
            "1) Reading parameters for study area.\n"
            "  Topography scale : 7.5\n"
            "param-ravo-event-ver300.dat: value 2 (topoCols) is not a number: \"abc\".\n");
}

TEST(DischargeMap, ImageThatCannotBeWrittenIsReported) {
  // 40 x 40 cells make a 120 kB image; the file size limit allows 10 blocks.
  MapRun m(40, 40, 1, std::vector<float>(24 * 1600, 1.0f));
  RunResult r =
      runProgram(DISCHARGE_MAP_EXE, m.output(), "y\n1\n0\n", "ulimit -f 10; trap '' XFSZ;");
  EXPECT_EQ(r.exitStatus, 1);
  const std::string tail =
      "Write ./image/   1_discharge.ppm\r"
      "Image output file cannot be written: ./image/   1_discharge.ppm\n";
  ASSERT_GE(r.out.size(), tail.size()) << r.out;
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
}

}  // namespace
}  // namespace runoff::testing
