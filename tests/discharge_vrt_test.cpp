// The .vrt files beside the discharge grids, opened the way a GIS user opens them: with
// gdalinfo and gdal_translate from gdal-bin (run-tests.sh installs it). A small run on a grid
// of 8 columns by 14 rows, so that a swapped axis or a grid read south-up shows at once.
#include "runoff/output/discharge_vrt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "support/test_support.h"

namespace runoff::testing {
namespace {

const fs::path kCase = fs::path(TEST_DATA_DIR) / "golden" / "small-inconsistent-acc" / "input";
constexpr int kCols = 8;
constexpr int kRows = 14;
constexpr double kCellDeg = 15.0 / 3600.0;  // topoScale 15 arc-seconds
constexpr double kWest = -18.0;
constexpr double kSouth = -13.0;

bool haveGdal() {
  int status;
  shellOutput("command -v gdalinfo && command -v gdal_translate", status);
  return status == 0;
}

std::size_t countOf(const std::string& text, const std::string& needle) {
  std::size_t count = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

class DischargeVrt : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(haveGdal()) << "gdalinfo/gdal_translate missing: apt-get install gdal-bin";
    copyTree(kCase, dir.path());
    fs::create_directories(dir / "temp");
    fs::create_directories(dir / "output");
  }

  std::string gdalinfoJson(const std::string& vrt) {
    int status;
    std::string json =
        shellOutput("gdalinfo -json '" + (dir / "output" / vrt).string() + "'", status);
    EXPECT_EQ(status, 0) << json;
    return json;
  }

  // Band `band` (counted from 1) of `source` as text through the ASCII grid format, nine
  // significant digits (enough to give back every float32 exactly); rows north first.
  std::vector<std::vector<float>> bandRows(const fs::path& source, int band) {
    fs::path asc = dir / ("band" + std::to_string(band) + ".asc");
    int status;
    std::string log =
        shellOutput("gdal_translate -q -of AAIGrid -co SIGNIFICANT_DIGITS=9 -b " +
                        std::to_string(band) + " '" + source.string() + "' '" + asc.string() + "'",
                    status);
    EXPECT_EQ(status, 0) << log;
    std::istringstream in(readFile(asc));
    std::string word;
    for (int header = 0; header < 6; ++header) in >> word >> word;
    std::vector<std::vector<float>> rows(kRows, std::vector<float>(kCols));
    for (auto& row : rows) {
      for (float& v : row) {
        in >> word;
        v = std::strtof(word.c_str(), nullptr);
      }
    }
    EXPECT_TRUE(static_cast<bool>(in)) << "short ASCII grid for band " << band;
    return rows;
  }

  // Band `band` (from 1) of a raw discharge grid, rows north first as a map shows them.
  std::vector<std::vector<float>> rawRows(const std::string& bin, int band) {
    std::vector<float> all = readFloats(dir / "output" / bin);
    std::vector<std::vector<float>> rows(kRows, std::vector<float>(kCols));
    std::size_t grid = static_cast<std::size_t>(band - 1) * kRows * kCols;
    for (int r = 0; r < kRows; ++r) {
      for (int c = 0; c < kCols; ++c) {
        rows[r][c] = all.at(grid + static_cast<std::size_t>(kRows - 1 - r) * kCols + c);
      }
    }
    return rows;
  }

  TempDir dir;
};

TEST_F(DischargeVrt, GdalSeesTheGridNorthUpAtTheParameterFileCorner) {
  ASSERT_EQ(runProgram(RUNOFF_SIM_EXE, dir.path()).exitStatus, 0);
  const double north = kSouth + kRows * kCellDeg;
  struct Expect {
    const char* vrt;
    std::size_t bands;
    const char* lastDescription;
  };
  for (const Expect& e :
       {Expect{"dischargeDaily.vrt", 2, "day 2"}, Expect{"dischargeHourlyMaxInDay.vrt", 2, "day 2"},
        Expect{"dischargeHourly.vrt", 48, "day 2 hour 24"}}) {
    SCOPED_TRACE(e.vrt);
    std::string json = gdalinfoJson(e.vrt);
    EXPECT_EQ(jsonArrayAfter(json, "size"), (std::vector<double>{kCols, kRows}));
    std::vector<double> transform = jsonArrayAfter(json, "geoTransform");
    ASSERT_EQ(transform.size(), 6u);
    const double expected[6] = {kWest, kCellDeg, 0, north, 0, -kCellDeg};
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(transform[i], expected[i], 1e-12) << "term " << i;
    // gdalinfo rounds corner coordinates to seven decimals.
    std::vector<double> upperLeft = jsonArrayAfter(json, "upperLeft");
    std::vector<double> lowerRight = jsonArrayAfter(json, "lowerRight");
    ASSERT_EQ(upperLeft.size(), 2u);
    ASSERT_EQ(lowerRight.size(), 2u);
    EXPECT_NEAR(upperLeft[0], kWest, 1e-7);
    EXPECT_NEAR(upperLeft[1], north, 1e-7);
    EXPECT_NEAR(lowerRight[0], kWest + kCols * kCellDeg, 1e-7);
    EXPECT_NEAR(lowerRight[1], kSouth, 1e-7);
    EXPECT_NE(json.find("ID[\\\"EPSG\\\",4326]"), std::string::npos) << "not WGS 84";
    EXPECT_EQ(countOf(json, "\"band\":"), e.bands);
    EXPECT_EQ(countOf(json, "\"noDataValue\":-9999.0"), e.bands);
    EXPECT_NE(json.find(std::string("\"description\":\"") + e.lastDescription + "\""),
              std::string::npos);
  }
}

TEST_F(DischargeVrt, BandValuesEqualTheRawGridWithNorthAtTheTop) {
  ASSERT_EQ(runProgram(RUNOFF_SIM_EXE, dir.path()).exitStatus, 0);
  struct Case {
    const char* name;  // without extension
    int band;
  };
  for (const Case& c :
       {Case{"dischargeHourly", 1}, Case{"dischargeHourly", 14}, Case{"dischargeHourly", 48},
        Case{"dischargeDaily", 2}, Case{"dischargeHourlyMaxInDay", 1}}) {
    SCOPED_TRACE(std::string(c.name) + " band " + std::to_string(c.band));
    auto raw = rawRows(std::string(c.name) + ".bin", c.band);
    // The comparison tells north from south only if the grid is not symmetric.
    bool mirrored = true;
    for (int r = 0; r < kRows; ++r) mirrored = mirrored && raw[r] == raw[kRows - 1 - r];
    ASSERT_FALSE(mirrored);
    EXPECT_EQ(bandRows(dir / "output" / (std::string(c.name) + ".vrt"), c.band), raw);
  }
}

TEST_F(DischargeVrt, GdalTranslateMakesAGeoTiffWithTheSameValues) {
  ASSERT_EQ(runProgram(RUNOFF_SIM_EXE, dir.path()).exitStatus, 0);
  int status;
  std::string log = shellOutput("gdal_translate -q -of GTiff '" +
                                    (dir / "output" / "dischargeHourly.vrt").string() + "' '" +
                                    (dir / "hourly.tif").string() + "'",
                                status);
  ASSERT_EQ(status, 0) << log;
  EXPECT_EQ(bandRows(dir / "hourly.tif", 30), rawRows("dischargeHourly.bin", 30));
}

TEST_F(DischargeVrt, ZeroDayRunLeavesNoVrtAndRemovesAStaleOne) {
  // Line 12 of the parameter file is the duration in days.
  std::istringstream in(readFile(dir / "param-ravo-event-ver300.dat"));
  std::string text, line;
  for (int n = 1; std::getline(in, line); ++n) text += (n == 12 ? "0" : line) + "\n";
  writeFile(dir / "param-ravo-event-ver300.dat", text);
  writeFile(dir / "output" / "dischargeHourly.vrt", "<VRTDataset>stale</VRTDataset>\n");

  RunResult run = runProgram(RUNOFF_SIM_EXE, dir.path());
  EXPECT_EQ(run.exitStatus, 0) << run.out;
  EXPECT_TRUE(fs::exists(dir / "output" / "dischargeHourly.bin"));
  for (const char* vrt :
       {"dischargeDaily.vrt", "dischargeHourlyMaxInDay.vrt", "dischargeHourly.vrt"}) {
    EXPECT_FALSE(fs::exists(dir / "output" / vrt)) << vrt;
  }
}

TEST_F(DischargeVrt, UnwritableVrtIsRefusedBeforeRouting) {
  fs::create_directories(dir / "output" / "dischargeHourlyMaxInDay.vrt");
  RunResult run = runProgram(RUNOFF_SIM_EXE, dir.path());
  EXPECT_EQ(run.exitStatus, 1);
  const std::string last =
      "Read ./input/rain.dat\n"
      "./output/dischargeHourlyMaxInDay.vrt cannot be written: it is a directory.\n";
  ASSERT_GE(run.out.size(), last.size());
  EXPECT_EQ(run.out.substr(run.out.size() - last.size()), last);
  // Nothing of the run is published.
  EXPECT_FALSE(fs::exists(dir / "output" / "dischargeHourly.bin"));
}

// Offsets of a large grid exceed 32 bits; the northern row of the last band must still be
// addressed exactly.
TEST(DischargeVrtText, ImageOffsetsOfLargeGridsAreNotTruncated) {
  RunParameters p;
  p.topoScale = 1;
  p.topoCols = 30000;
  p.topoRows = 20000;
  p.topoSwLon = 10;
  p.topoSwLat = 40;
  p.days = 2;
  std::ostringstream out;
  writeDischargeVrt(out, p, DischargeFile::kHourly);
  const std::string text = out.str();
  // Band 48: (47 * 20000 * 30000 + 19999 * 30000) * 4.
  EXPECT_NE(text.find("<ImageOffset>115199880000</ImageOffset>"), std::string::npos);
  EXPECT_NE(text.find("<LineOffset>-120000</LineOffset>"), std::string::npos);
  EXPECT_EQ(countOf(text, "<VRTRasterBand "), 48u);
}

}  // namespace
}  // namespace runoff::testing
