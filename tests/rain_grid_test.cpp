// The rainfall grid: centres and the longitude wrap, and the hour records of the rainfall
// file: northern row first, early end leaves zeros, anything that is not a number is refused.
#include "runoff/inputs/rain_grid.h"

#include <gtest/gtest.h>

#include <sstream>

namespace runoff {
namespace {

RainGrid grid(int rows, int cols, int days) {
  RunParameters p;
  p.rainRows = rows;
  p.rainCols = cols;
  p.rainDx = 0.5;
  p.rainDy = 0.25;
  p.rainSwLon = 179.5;
  p.rainSwLat = 35.0;
  p.days = days;
  return buildRainGrid(p);
}

std::string read(RainGrid& g, const std::string& text) {
  std::istringstream in(text);
  return readRainfall(in, g).message();
}

TEST(RainGrid, LongitudesAboveOneEightyWrapAndOneEightyStays) {
  RainGrid g = grid(1, 3, 1);
  EXPECT_EQ(g.cells[0].lon, 179.5f);
  EXPECT_EQ(g.cells[1].lon, 180.0f);
  EXPECT_EQ(g.cells[2].lon, -179.5f);
}

TEST(RainGrid, RowZeroIsTheSouthernRowAndCellsAreNumberedFromOne) {
  RainGrid g = grid(2, 3, 1);
  EXPECT_EQ(g.cells[0].lat, 35.0f);
  EXPECT_EQ(g.cells[3].lat, 35.25f);
  EXPECT_EQ(g.cells[5].colNo, 3);
  EXPECT_EQ(g.cells[5].rowNo, 2);
}

TEST(RainGrid, FirstValueOfAnHourBelongsToTheNorthWesternCell) {
  RainGrid g = grid(2, 2, 1);
  // North row 1 2, south row 3 4; then hour 1 with ten times the values.
  ASSERT_EQ(read(g, "2020 1 1 0 0 0\n1 2\n3 4\n2020 1 1 1 0 0\n10 20 30 40\n"), "");
  EXPECT_EQ(g.rain(1 * 2 + 0, 1, 0), 1.0f);  // row 1 = north, west
  EXPECT_EQ(g.rain(1 * 2 + 1, 1, 0), 2.0f);
  EXPECT_EQ(g.rain(0 * 2 + 0, 1, 0), 3.0f);  // row 0 = south, west
  EXPECT_EQ(g.rain(0 * 2 + 1, 1, 0), 4.0f);
  EXPECT_EQ(g.rain(0 * 2 + 1, 1, 1), 40.0f);
  EXPECT_EQ(g.rain(1 * 2 + 0, 1, 1), 10.0f);
}

TEST(RainGrid, DayZeroStaysDry) {
  RainGrid g = grid(1, 1, 1);
  std::string text;
  for (int h = 0; h < 24; ++h) text += "0 0 0 0 0 0 5\n";
  ASSERT_EQ(read(g, text), "");
  for (int h = 0; h < 24; ++h) {
    EXPECT_EQ(g.rain(0, 0, h), 0.0f);
    EXPECT_EQ(g.rain(0, 1, h), 5.0f);
  }
}

TEST(RainGrid, FileEndingEarlyLeavesTheRestAtZero) {
  RainGrid g = grid(1, 2, 2);
  // Day 1 hours 0 and 1 complete, hour 2 with one of its two values.
  ASSERT_EQ(read(g, "1 1 1 0 0 0 1 2\n1 1 1 1 0 0 3 4\n1 1 1 2 0 0 5"), "");
  EXPECT_EQ(g.rain(1, 1, 1), 4.0f);
  EXPECT_EQ(g.rain(0, 1, 2), 5.0f);
  EXPECT_EQ(g.rain(1, 1, 2), 0.0f);
  for (int h = 3; h < 24; ++h) EXPECT_EQ(g.rain(0, 1, h), 0.0f);
  for (int h = 0; h < 24; ++h) EXPECT_EQ(g.rain(0, 2, h), 0.0f);
}

TEST(RainGrid, ValuesAreParsedStraightIntoSinglePrecision) {
  RainGrid g = grid(1, 1, 1);
  ASSERT_EQ(read(g, "0 0 0 0 0 0 1.000000059604644775390626"), "");
  EXPECT_EQ(g.rain(0, 1, 0), std::strtof("1.000000059604644775390626", nullptr));
}

TEST(RainGrid, RainValueThatIsNotANumberNamesDayAndHour) {
  RainGrid g = grid(1, 2, 2);
  std::string text;
  for (int h = 0; h < 24; ++h) text += "0 0 0 0 0 0 1 1\n";
  text += "0 0 0 0 0 0 1 1\n0 0 0 0 0 0 1 1,5\n";
  EXPECT_EQ(read(g, text),
            "./input/rain.dat: the record of day 2 hour 1 holds \"1,5\", which is not a number.");
}

TEST(RainGrid, TimeStampThatIsNotAnIntegerIsRefused) {
  RainGrid g = grid(1, 1, 1);
  EXPECT_EQ(read(g, "2020 1 1 0.5 0 0 3\n"),
            "./input/rain.dat: the record of day 1 hour 0 holds \"0.5\", which is not a whole "
            "integer.");
  EXPECT_EQ(read(g, "2020 1 1 0 0 0 3\n2020 Jan 1 1 0 0 3\n"),
            "./input/rain.dat: the record of day 1 hour 1 holds \"Jan\", which is not a number.");
}

}  // namespace
}  // namespace runoff
