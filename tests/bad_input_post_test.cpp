// discharge-map and discharge-point on hostile input: the parameter file one level up and the
// hourly discharge file missing, empty, cut short or not a file; answers that are not numbers,
// out of range or missing at the end of input; images and series that cannot be written or do
// not fit on the disk. Each ends with one clear line and exit status 1.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "support/basin_builder.h"

namespace runoff::testing {
namespace {

using Damage = std::function<void(const fs::path& run)>;

struct PostCase {
  std::string name;
  Damage damage;
  std::string answers;  // standard input (the shared cases give their own)
  std::string line;     // the last console line
};

void PrintTo(const PostCase& c, std::ostream* os) { *os << c.name; }

// A run directory holding the parameter file and output/ with a valid one-day hourly grid of
// the 5 x 5 basin, values 0.25 apart, -9999 on the outer ring.
void writeRun(const fs::path& run, int days = 1) {
  const Basin basin = valleyBasin(5, 5, days);
  fs::create_directories(run / "output/image");
  writeFile(run / "param-ravo-event-ver300.dat", basin.paramText());
  std::vector<float> values;
  for (int h = 0; h < 24 * days; ++h) {
    for (int p = 0; p < 25; ++p) {
      const int r = p / 5, c = p % 5;
      const bool ring = r == 0 || r == 4 || c == 0 || c == 4;
      values.push_back(ring ? -9999.0f : 0.25f * static_cast<float>(p + h));
    }
  }
  writeFloats(run / "output/dischargeHourly.bin", values);
}

Damage writes(const std::string& file, const std::string& content) {
  return [=](const fs::path& run) { writeFile(run / file, content); };
}
Damage removes(const std::string& file) {
  return [=](const fs::path& run) { fs::remove_all(run / file); };
}
Damage replacedByDirectory(const std::string& file) {
  return [=](const fs::path& run) {
    fs::remove_all(run / file);
    fs::create_directory(run / file);
  };
}
Damage setsParam(int field, const std::string& text) {
  return [=](const fs::path& run) {
    Basin b = valleyBasin();
    b.param(static_cast<ParamField>(field), text);
    writeFile(run / "param-ravo-event-ver300.dat", b.paramText());
  };
}
Damage cutsHourlyTo(std::uintmax_t bytes) {
  return [=](const fs::path& run) { fs::resize_file(run / "output/dischargeHourly.bin", bytes); };
}
Damage nothing() {
  return [](const fs::path&) {};
}

const std::string kParam = "param-ravo-event-ver300.dat";
const std::string kHourly = "output/dischargeHourly.bin";

// Cases that both programs refuse with the same line, before they ask anything of the user.
std::vector<PostCase> sharedCases() {
  const std::string p = kParam + ": ";
  return {
      {"ParamEmpty", writes(kParam, ""), "", p + "value 1 (topoScale) is missing."},
      {"ParamCutInNumber",
       writes(kParam, "3\n5\n5\n140\n36\n2\n2\n0.05\n0.05\n140.025\n36.025\n1e"), "",
       p + "value 12 (days) is not a number: \"1e\"."},
      {"ParamGarbage", setsParam(2, "five"), "",
       p + "value 2 (topoCols) is not a number: \"five\"."},
      {"ParamNaN", setsParam(11, "nan"), "", p + "value 11 (rainSwLat) is not a number: \"nan\"."},
      {"ParamInfinity", setsParam(8, "inf"), "", p + "value 8 (rainDx) is not a number: \"inf\"."},
      {"ParamRowsBeyond32Bits", setsParam(3, "2147483648"), "",
       p + "value 3 (topoRows) is out of range: \"2147483648\"."},
      {"HourlyEmpty", writes(kHourly, ""), "",
       "Discharge data is too short: ./dischargeHourly.bin holds 0 values, 24 hours of 5 x 5 "
       "cells need 600."},
      {"HourlyOneGridShort", cutsHourlyTo(2300), "",
       "Discharge data is too short: ./dischargeHourly.bin holds 575 values, 24 hours of 5 x 5 "
       "cells need 600."},
      {"HourlyCutInsideAValue", cutsHourlyTo(2399), "",
       "Discharge data is too short: ./dischargeHourly.bin holds 599 values, 24 hours of 5 x 5 "
       "cells need 600."},
      {"HourlyIsDirectory", replacedByDirectory(kHourly), "",
       "Discharge data cannot be used: ./dischargeHourly.bin is not a regular file."},
      // 46341 x 46341 cells for 24 hours need more values than 32 bits count.
      {"GridCountsOverflow",
       [](const fs::path& run) {
         Basin b = valleyBasin();
         b.param(kTopoCols, "46341").param(kTopoRows, "46341");
         writeFile(run / kParam, b.paramText());
       },
       "",
       "Discharge data is too short: ./dischargeHourly.bin holds 600 values, 24 hours of 46341 "
       "x 46341 cells need 51539718744."},
  };
}

class PostProcessorRefuses : public ::testing::TestWithParam<std::tuple<const char*, PostCase>> {};

TEST_P(PostProcessorRefuses, WithOneLineAndStatusOne) {
  const auto& [exe, c] = GetParam();
  TempDir dir;
  writeRun(dir.path());
  c.damage(dir.path());
  // The map's automatic range, or the point (3, 3): answers that pass, when asked at all.
  const bool map = std::string(exe).find("map") != std::string::npos;
  RunResult r = runProgram(exe, dir / "output", map ? "n\n" : "3\n3\n");
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  EXPECT_EQ(lastLine(r.out), c.line) << r.out;
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, PostProcessorRefuses,
                         ::testing::Combine(::testing::Values(DISCHARGE_MAP_EXE,
                                                              DISCHARGE_POINT_EXE),
                                            ::testing::ValuesIn(sharedCases())),
                         [](const auto& info) {
                           const std::string exe = std::get<0>(info.param);
                           return std::string(exe.find("map") != std::string::npos ? "Map"
                                                                                   : "Point") +
                                  "_" + std::get<1>(info.param).name;
                         });

// ---- discharge-map ----

class MapRefuses : public ::testing::TestWithParam<PostCase> {};

TEST_P(MapRefuses, WithOneLineAndStatusOne) {
  TempDir dir;
  writeRun(dir.path());
  GetParam().damage(dir.path());
  RunResult r = runProgram(DISCHARGE_MAP_EXE, dir / "output", GetParam().answers);
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  EXPECT_EQ(lastLine(r.out), GetParam().line) << r.out;
}

std::vector<PostCase> mapCases() {
  // The prompts end without a line end; the captured output keeps the message on their line.
  const std::string max = "Input maximum value : ";
  // Both values are asked for before either is judged.
  const std::string wrong = max + "Input minimum value : Wrong values inputted!";
  return {
      {"ParamMissing", removes(kParam), "", "Program ends. Hit any key!"},
      {"HourlyMissing", removes(kHourly), "n\n", "Discharge data cannot open."},
      {"DurationBeyondImageLimit", setsParam(12, "417"), "n\n", "Max_time_counter exceeds 10000!"},
      {"DurationBeyond32BitHours", setsParam(12, "2147483647"), "n\n",
       "Max_time_counter exceeds 10000!"},
      {"NoAnswer", nothing(), "", "No answer inputted: end of input."},
      {"NoMaximum", nothing(), "y\n", max + "No maximum value inputted: end of input."},
      {"NoMinimum", nothing(), "y\n5\n",
       max + "Input minimum value : No minimum value inputted: end of input."},
      {"MaximumNotANumber", nothing(), "y\nlots\n0\n", wrong},
      {"MaximumCutNumber", nothing(), "y\n5e\n0\n", wrong},
      {"MaximumNaN", nothing(), "y\nnan\n0\n", wrong},
      {"MaximumInfinity", nothing(), "y\ninf\n0\n", wrong},
      {"MaximumBeyondFloat", nothing(), "y\n1e39\n0\n", wrong},
      {"MinimumNegativeInfinity", nothing(), "y\n5\n-inf\n", wrong},
      {"MinimumNotBelowMaximum", nothing(), "y\n5\n5\n", wrong},
      {"OnlyMissingValues",
       [](const fs::path& run) { writeFloats(run / kHourly, std::vector<float>(600, -9999.0f)); },
       "n\n", "Maximun discharge <= Minimum discharge!"},
      {"OnlyNaNValues",
       [](const fs::path& run) {
         writeFloats(run / kHourly,
                     std::vector<float>(600, std::numeric_limits<float>::quiet_NaN()));
       },
       "n\n", "Maximun discharge <= Minimum discharge!"},
      {"ImageDirectoryMissing", removes("output/image"), "n\n", "Image output file cannot open."},
      {"ImageDirectoryIsAFile",
       [](const fs::path& run) {
         fs::remove(run / "output/image");
         writeFile(run / "output/image", "");
       },
       "n\n", "Image output file cannot open."},
      {"ImageDirectoryDanglingLink",
       [](const fs::path& run) {
         fs::remove(run / "output/image");
         fs::create_directory_symlink(run / "gone", run / "output/image");
       },
       "n\n", "Image output file cannot open."},
  };
}

INSTANTIATE_TEST_SUITE_P(DischargeMap, MapRefuses, ::testing::ValuesIn(mapCases()),
                         [](const auto& info) { return info.param.name; });

TEST(MapFullDisk, ImageThatDoesNotFitIsReported) {
  TempDir dir;
  writeRun(dir.path());
  // Each image is 1890 bytes; the limit is three blocks of 512 bytes.
  RunResult r = runProgram(DISCHARGE_MAP_EXE, dir / "output", "n\n", "ulimit -f 3; trap '' XFSZ;");
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  EXPECT_EQ(lastLine(r.out), "Image output file cannot be written: ./image/   1_discharge.ppm");
}

TEST(MapRange, ValuesBeyondAHugeUserRangeStayInColour) {
  // A range of 1e-30 m^3/s makes every index overflow 32 bits; the run still draws them.
  TempDir dir;
  writeRun(dir.path());
  RunResult r = runProgram(DISCHARGE_MAP_EXE, dir / "output", "y\n1e-30\n0\n");
  EXPECT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_EQ(lastLine(r.out), "Program ends!");
  EXPECT_EQ(entries(dir / "output/image").size(), 24u);
}

// ---- discharge-point ----

class PointRefuses : public ::testing::TestWithParam<PostCase> {};

TEST_P(PointRefuses, WithOneLineAndStatusOne) {
  TempDir dir;
  writeRun(dir.path());
  GetParam().damage(dir.path());
  RunResult r = runProgram(DISCHARGE_POINT_EXE, dir / "output", GetParam().answers);
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  EXPECT_EQ(lastLine(r.out), GetParam().line) << r.out;
}

std::vector<PostCase> pointCases() {
  const std::string colRange = "Column number is out of range!";
  const std::string rowRange = "Row number is out of range!";
  return {
      {"ParamMissing", removes(kParam), "3 3\n", kParam + " cannot open."},
      {"HourlyMissing", removes(kHourly), "3 3\n", "Discharge data cannot open."},
      {"NoColumn", nothing(), "", "No column number inputted: end of input."},
      {"NoRow", nothing(), "3\n", "No row number inputted: end of input."},
      {"ColumnNotANumber", nothing(), "three\n3\n",
       "Column number \"three\" is not a whole number!"},
      {"ColumnNotWhole", nothing(), "2.5\n3\n", "Column number \"2.5\" is not a whole number!"},
      {"ColumnNaN", nothing(), "nan\n3\n", "Column number \"nan\" is not a whole number!"},
      {"RowInfinity", nothing(), "3\ninf\n", "Row number \"inf\" is not a whole number!"},
      {"RowCutNumber", nothing(), "3\n2e\n", "Row number \"2e\" is not a whole number!"},
      {"ColumnZero", nothing(), "0\n3\n", colRange},
      {"ColumnPastEast", nothing(), "6\n3\n", colRange},
      {"ColumnBeyond32Bits", nothing(), "99999999999\n3\n", colRange},
      {"RowNegative", nothing(), "3\n-1\n", rowRange},
      {"RowPastNorth", nothing(), "3\n6\n", rowRange},
      {"RowBeyond32Bits", nothing(), "3\n-2147483649\n", rowRange},
      {"SeriesNameIsDirectory", replacedByDirectory("output/3-2_discharge.dat"), "3\n2\n",
       "Time series discharge output file cannot open."},
  };
}

INSTANTIATE_TEST_SUITE_P(DischargePoint, PointRefuses, ::testing::ValuesIn(pointCases()),
                         [](const auto& info) { return info.param.name; });

TEST(PointFullDisk, SeriesThatDoesNotFitIsReported) {
  TempDir dir;
  writeRun(dir.path(), 30);  // 720 lines, more than 4 kB
  RunResult r =
      runProgram(DISCHARGE_POINT_EXE, dir / "output", "3\n2\n", "ulimit -f 4; trap '' XFSZ;");
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  EXPECT_EQ(lastLine(r.out),
            "Time series discharge output file cannot be written: ./3-2_discharge.dat");
}

}  // namespace
}  // namespace runoff::testing
