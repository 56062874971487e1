// The three discharge grids: single-precision means and maxima, the missing value for every
// cell that is not selected, zeros for selected cells never routed, sizes and grid order.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

#include "runoff/output/discharge_output.h"
#include "support/basin_builder.h"

namespace runoff {
namespace {

TEST(DischargeOutput, MeansAddInOrderInSinglePrecision) {
  // 2^24 absorbs each following 1 when added in order; any other order or a double sum differs.
  std::vector<float> hours(24, 1.0f);
  hours[0] = 16777216.0f;
  EXPECT_EQ(dailyMean(hours), 16777216.0f / 24.0f);
  std::vector<float> subSteps = {16777216.0f, 1.0f, 1.0f, 1.0f};
  EXPECT_EQ(hourlyMean(subSteps), 16777216.0f / 4.0f);
}

TEST(DischargeOutput, DailyMaximumIsTheLargestHourOrZero) {
  std::vector<float> hours(24, 0.0f);
  EXPECT_EQ(dailyMaxHourly(hours), 0.0f);
  hours[7] = 2.5f;
  hours[20] = 1.5f;
  EXPECT_EQ(dailyMaxHourly(hours), 2.5f);
}

// The daily grids at a list of positions are the whole grid's values there, for any list, the
// empty one included (a process that routes no cell asks for none and gets none), whether the
// window keeps every hour or only the days.
TEST(DischargeOutput, DailyGridsAtPositionsAreTheWholeGridsValuesThere) {
  const std::vector<float> background = {0.0f, -9999.0f, 0.0f, 0.0f, -9999.0f, 0.0f};
  const std::vector<std::uint8_t> selected = {1, 0, 1, 1, 0, 1};
  // Two days of hourly means for cell 2, and other ones for cell 5.
  std::vector<float> means(48), others(48);
  for (std::size_t h = 0; h < means.size(); ++h) {
    means[h] = static_cast<float>((h * 37) % 11) / 3;
    others[h] = static_cast<float>((h * 5) % 7) * 1.5f;
  }
  for (bool everyHour : {true, false}) {
    WindowGrids grids = everyHour ? WindowGrids(background, 2) : WindowGrids(background, 2, {});
    grids.setDays(2);
    grids.store(2, means.data(), 1, 0, 48);
    grids.store(5, others.data(), 1, 0, 48);
    for (std::int32_t day : {0, 1}) {
      std::vector<float> mean, maximum;
      dailyGrids(grids, day, selected, mean, maximum);
      ASSERT_EQ(mean.size(), background.size());
      EXPECT_EQ(mean[1], -9999.0f);
      EXPECT_EQ(maximum[0], 0.0f);
      EXPECT_EQ(mean[2], dailyMean(std::span(means).subspan(24 * day, 24)));
      EXPECT_EQ(maximum[2], dailyMaxHourly(std::span(means).subspan(24 * day, 24)));
      for (const std::vector<std::int32_t>& positions :
           {std::vector<std::int32_t>{}, {5}, {0, 1, 2}, {5, 2, 4}}) {
        std::vector<float> meanAt(7, 1.0f), maximumAt(7, 1.0f);
        dailyGridsAt(grids, day, positions, selected, meanAt, maximumAt);
        ASSERT_EQ(meanAt.size(), positions.size());
        ASSERT_EQ(maximumAt.size(), positions.size());
        for (std::size_t k = 0; k < positions.size(); ++k) {
          EXPECT_EQ(meanAt[k], mean[positions[k]]) << everyHour << " " << positions[k];
          EXPECT_EQ(maximumAt[k], maximum[positions[k]]) << everyHour << " " << positions[k];
        }
      }
    }
  }
}

}  // namespace
}  // namespace runoff

namespace runoff::testing {
namespace {

constexpr int kCells = 25;

struct Outputs {
  std::vector<float> daily, dailyMax, hourly;
};

Outputs runAndRead(const Basin& b, const TempDir& dir) {
  b.write(dir.path());
  RunResult r = runSimulator(dir.path());
  EXPECT_EQ(r.exitStatus, 0) << r.out;
  return {readFloats(dir / "output/dischargeDaily.bin"),
          readFloats(dir / "output/dischargeHourlyMaxInDay.bin"),
          readFloats(dir / "output/dischargeHourly.bin")};
}

// Position in a grid of the 5 x 5 basin: the files hold the southern row first.
int at(int row, int col) { return (4 - row) * 5 + col; }

TEST(DischargeOutputFiles, DailyFilesAreTheFloatMeanAndMaximumOfTheHourlyFile) {
  TempDir dir;
  Outputs o = runAndRead(mixedBasin(2), dir);
  ASSERT_EQ(o.daily.size(), 2u * kCells);
  ASSERT_EQ(o.dailyMax.size(), 2u * kCells);
  ASSERT_EQ(o.hourly.size(), 48u * kCells);
  int positive = 0;
  for (int d = 0; d < 2; ++d) {
    for (int p = 0; p < kCells; ++p) {
      float total = 0.0f, m = 0.0f;
      for (int h = 0; h < 24; ++h) {
        float v = o.hourly[(d * 24 + h) * kCells + p];
        total += v;
        if (v >= m) m = v;
      }
      if (o.hourly[d * 24 * kCells + p] == -9999.0f) {
        EXPECT_EQ(o.daily[d * kCells + p], -9999.0f);
        EXPECT_EQ(o.dailyMax[d * kCells + p], -9999.0f);
        continue;
      }
      positive += total > 0;
      EXPECT_EQ(o.daily[d * kCells + p], total / 24.0f) << d << " " << p;
      EXPECT_EQ(o.dailyMax[d * kCells + p], m) << d << " " << p;
    }
  }
  EXPECT_EQ(positive, 2 * 5);
}

TEST(DischargeOutputFiles, OnlySelectedCellsCarryValues) {
  TempDir dir;
  Outputs o = runAndRead(mixedBasin(1), dir);
  for (int r = 0; r < 5; ++r) {
    for (int c = 0; c < 5; ++c) {
      const bool edge = r == 0 || r == 4 || c == 0 || c == 4;
      const bool unselected = edge || (r == 2 && c == 1) || (r == 2 && c == 3);
      const bool neverRouted = (r == 3 && c == 1) || (r == 3 && c == 3);
      for (int h = 0; h < 24; ++h) {
        float v = o.hourly[h * kCells + at(r, c)];
        if (unselected) {
          EXPECT_EQ(v, -9999.0f) << r << "," << c;
        } else if (neverRouted) {
          EXPECT_EQ(v, 0.0f) << r << "," << c;
        } else if (h > 0) {
          EXPECT_GT(v, 0.0f) << r << "," << c << " hour " << h;
        }
      }
    }
  }
  // The missing value is the float -9999 in little-endian order.
  EXPECT_EQ(readFile(dir / "output/dischargeDaily.bin").substr(0, 4), std::string("\x00\x3c\x1c\xc6", 4));
}

TEST(DischargeOutputFiles, EmptyRiverListGivesOnlyMissingValuesOfTheRightSizes) {
  TempDir dir;
  Basin b = mixedBasin(2);
  b.riverList = "";
  Outputs o = runAndRead(b, dir);
  ASSERT_EQ(o.daily.size(), 2u * kCells);
  ASSERT_EQ(o.dailyMax.size(), 2u * kCells);
  ASSERT_EQ(o.hourly.size(), 48u * kCells);
  for (const auto* file : {&o.daily, &o.dailyMax, &o.hourly}) {
    for (float v : *file) EXPECT_EQ(v, -9999.0f);
  }
}

TEST(DischargeOutputFiles, OneDayGivesOneDailyGridAndTwentyFourHourlyGrids) {
  TempDir dir;
  Outputs o = runAndRead(mixedBasin(1), dir);
  EXPECT_EQ(o.daily.size(), 1u * kCells);
  EXPECT_EQ(o.dailyMax.size(), 1u * kCells);
  EXPECT_EQ(o.hourly.size(), 24u * kCells);
}

TEST(DischargeOutputFiles, RoutedUpstreamCellOfAnUnlistedRiverContributesNothing) {
  // Listing river 2 too makes (2,1) feed (2,2); without it (2,2) must carry less.
  TempDir a, b;
  Basin only1 = mixedBasin(1);
  Basin both = mixedBasin(1);
  both.riverList = riverRecord(1) + riverRecord(2);
  Outputs o1 = runAndRead(only1, a);
  Outputs o2 = runAndRead(both, b);
  EXPECT_GT(o2.hourly[10 * kCells + at(2, 1)], 0.0f);
  EXPECT_LT(o1.hourly[10 * kCells + at(2, 2)], o2.hourly[10 * kCells + at(2, 2)]);
  EXPECT_EQ(o1.hourly[10 * kCells + at(1, 2)], o2.hourly[10 * kCells + at(1, 2)]);
}

}  // namespace
}  // namespace runoff::testing
