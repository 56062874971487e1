// The fast nearest-rainfall-cell search against the exhaustive one it replaces: same cell for
// every point, including every kind of tie, wrapped longitudes and absurd coordinates.
#include "literal_rain_search.h"
#include "runoff/inputs/rain_locator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace runoff {
namespace {

using Cell = RainLocator::Cell;

using testing::exhaustiveNearest;

// Centres as the rainfall grid makes them: south-west centre plus index times spacing in
// double, rounded to float; longitudes above 180 are taken back by 360 and rounded again.
std::vector<float> axisCentres(double sw, double spacing, int count, bool wrap) {
  std::vector<float> centres;
  for (int i = 0; i < count; ++i) {
    float c = static_cast<float>(sw + i * spacing);
    if (wrap && static_cast<double>(c) > 180.0)
      c = static_cast<float>(static_cast<double>(c) - 360.0);
    centres.push_back(c);
  }
  return centres;
}

std::string describe(const std::vector<float>& rowLat, const std::vector<float>& colLon, double y,
                     double x) {
  std::ostringstream out;
  out.precision(17);
  out << "lat {";
  for (float v : rowLat) out << ' ' << v;
  out << " } lon {";
  for (float v : colLon) out << ' ' << v;
  out << " } point y=" << y << " x=" << x;
  return out.str();
}

// Compares the two searches on every point; stops at the first difference.
void expectSameAsExhaustive(const std::vector<float>& rowLat, const std::vector<float>& colLon,
                            const std::vector<std::pair<double, double>>& points) {
  const RainLocator locator(rowLat, colLon);
  for (const auto& [y, x] : points) {
    const Cell want = exhaustiveNearest(rowLat, colLon, y, x);
    const Cell got = locator.nearest(y, x);
    if (got.row != want.row || got.col != want.col) {
      ADD_FAILURE() << describe(rowLat, colLon, y, x) << ": fast (" << got.row << ", " << got.col
                    << "), exhaustive (" << want.row << ", " << want.col << ")";
      return;
    }
  }
}

void expectCell(const RainLocator& locator, double y, double x, int row, int col) {
  const Cell got = locator.nearest(y, x);
  EXPECT_EQ(got.row, row) << "y=" << y << " x=" << x;
  EXPECT_EQ(got.col, col) << "y=" << y << " x=" << x;
}

TEST(RainLocator, LongitudesAbove180WrapAndPointsDoNot) {
  const std::vector<float> lon = axisCentres(179.5, 0.5, 3, true);
  ASSERT_EQ(lon, (std::vector<float>{179.5f, 180.0f, -179.5f}));
  const RainLocator locator({10.0f}, lon);
  expectCell(locator, 10.0, 180.4, 0, 1);  // the point keeps its longitude above 180
  expectCell(locator, 10.0, -179.6, 0, 2);
  expectCell(locator, 10.0, 179.6, 0, 0);
}

TEST(RainLocator, HalfwayPointsGoToTheSouthernRowAndWesternColumn) {
  const RainLocator locator({35.0f, 35.5f}, {139.0f, 139.5f});
  expectCell(locator, 35.0, 139.25, 0, 0);
  expectCell(locator, 35.25, 139.5, 0, 1);
  expectCell(locator, 35.25, 139.25, 0, 0);
}

TEST(RainLocator, DescendingAxisBreaksTiesByIndexNotByDirection) {
  const RainLocator locator(axisCentres(36.0, -0.5, 3, false), axisCentres(140.0, -0.5, 3, true));
  expectCell(locator, 35.75, 139.75, 0, 0);
  expectCell(locator, 35.25, 139.25, 1, 1);
}

TEST(RainLocator, ZeroSpacingTakesTheFirstOfTheDuplicateCentres) {
  const RainLocator locator(axisCentres(35.0, 0.0, 4, false), axisCentres(139.0, 0.0, 5, true));
  expectCell(locator, 20.0, 150.0, 0, 0);
}

TEST(RainLocator, SingleCellTakesEveryPointHoweverFar) {
  const RainLocator locator({35.0f}, {139.0f});
  expectCell(locator, -1e12, 1e14, 0, 0);
  expectCell(locator, 35.0, 139.0, 0, 0);
}

TEST(RainLocator, EqualRoundedDistancesTakeTheFirstVisitedCell) {
  // At 1e10 degrees the column offsets 0, 1 and 100 vanish in the rounding of the sum, so all
  // three cells are equally near and the first column wins although column 1 is exact.
  const RainLocator byColumn({1e10f}, {100.0f, 0.0f, 1.0f});
  expectCell(byColumn, 0.0, 0.0, 0, 0);
  const RainLocator byRow({100.0f, 0.0f, 1.0f}, {1e10f});
  expectCell(byRow, 0.0, 0.0, 0, 0);
}

TEST(RainLocator, DistancesOf1e29OrMoreMapNowhere) {
  const RainLocator locator({0.0f}, {0.0f});
  expectCell(locator, 1e29, 0.0, -1, -1);
  expectCell(locator, std::nextafter(1e29, 0.0), 0.0, 0, 0);
  expectCell(locator, 1e200, 0.0, -1, -1);  // the square overflows
  expectCell(locator, std::numeric_limits<double>::quiet_NaN(), 0.0, -1, -1);
  expectCell(locator, 0.0, std::numeric_limits<double>::infinity(), -1, -1);
}

TEST(RainLocator, InfiniteCentresAreNeverChosen) {
  // A spacing of 1e300 puts every centre but the first at infinity in single precision.
  const RainLocator locator(axisCentres(0.0, 1e300, 3, false), {0.0f, 1.0f});
  expectCell(locator, 1e20, 0.5, 0, 0);
  expectCell(locator, 1e300, 0.5, -1, -1);
}

// Random grids built like the rainfall grid, with points at and between the centres, around
// them, far outside them, across 180 degrees and at overflowing or near-1e29 distances.
TEST(RainLocator, RandomGridsMatchTheExhaustiveSearch) {
  std::mt19937_64 random(20240611);
  auto uniform = [&](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(random);
  };
  auto pick = [&](const std::vector<double>& choices) {
    return choices[std::uniform_int_distribution<std::size_t>(0, choices.size() - 1)(random)];
  };
  const std::vector<double> spacings = {0.0,   0.5, -0.5, 1.0 / 120, -1.0 / 120, 0.25, 1e-7,
                                        -1e-7, 3.0, 1e20, -1e30,     1e300,      0.1,  -0.3};
  const std::vector<double> offsets = {0.0,  1e3,   1e8,   1e10, 1e15, 1e20, 7.0710678118654757e28,
                                       1e29, 1e150, 1e155, 1e200};
  for (int grid = 0; grid < 4000; ++grid) {
    const int rows = std::uniform_int_distribution<int>(1, 7)(random);
    const int cols = std::uniform_int_distribution<int>(1, 7)(random);
    const double dy = grid % 3 == 0 ? uniform(-1.0, 1.0) : pick(spacings);
    const double dx = grid % 5 == 0 ? uniform(-1.0, 1.0) : pick(spacings);
    const double swLat = grid % 2 == 0 ? uniform(-60.0, 60.0) : pick({0.0, 35.0, -0.25});
    const double swLon =
        grid % 2 == 0 ? pick({178.5, 179.5, 179.75, 180.0, -180.0, 139.0}) : uniform(-200.0, 400.0);
    const std::vector<float> lat = axisCentres(swLat, dy, rows, false);
    const std::vector<float> lon = axisCentres(swLon, dx, cols, true);

    std::vector<double> ys, xs;  // coordinates worth trying on each axis
    for (const auto* axis : {&lat, &lon}) {
      auto& out = axis == &lat ? ys : xs;
      for (std::size_t i = 0; i < axis->size(); ++i) {
        const double c = (*axis)[i];
        out.push_back(c);
        out.push_back(std::nextafter(c, 1e300));
        for (std::size_t j = 0; j < axis->size(); ++j) out.push_back((c + (*axis)[j]) / 2);
      }
      out.push_back(axis == &lat ? uniform(-90.0, 90.0) : uniform(-360.0, 360.0));
      out.push_back(pick({180.25, 179.9, -179.9, 540.0, -0.0}));
    }
    std::vector<std::pair<double, double>> points;
    for (double y : ys) {
      for (double x : xs) points.emplace_back(y, x);
    }
    for (int extra = 0; extra < 20; ++extra) {
      const double offset = pick(offsets);
      const double y = ys[std::uniform_int_distribution<std::size_t>(0, ys.size() - 1)(random)];
      const double x = xs[std::uniform_int_distribution<std::size_t>(0, xs.size() - 1)(random)];
      const double sign = extra % 2 == 0 ? 1.0 : -1.0;
      points.emplace_back(y + sign * offset, x + uniform(-1.0, 1.0) * offset);
      points.emplace_back(y + uniform(-1.0, 1.0) * offset, x - sign * offset);
    }
    expectSameAsExhaustive(lat, lon, points);
    if (HasFailure()) return;
  }
}

// Axes in any order drawn from a few centres, so that equal centres, mirrored offsets and equal
// row or column terms are the rule; points on a grid of quarter steps hit them exactly.
TEST(RainLocator, ShuffledAxesWithHeavyTiesMatchTheExhaustiveSearch) {
  std::mt19937_64 random(777);
  const std::vector<float> pool = {-2.0f, -1.5f, -1.0f, -0.5f, -0.0f, 0.0f, 0.5f, 1.0f, 1.5f, 3.0f};
  const float specials[] = {std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN(), 3e38f};
  auto axis = [&](int count) {
    std::vector<float> centres;
    for (int i = 0; i < count; ++i) {
      const auto draw = std::uniform_int_distribution<std::size_t>(0, pool.size() + 1)(random);
      centres.push_back(draw < pool.size() ? pool[draw] : specials[random() % 4]);
    }
    return centres;
  };
  std::vector<std::pair<double, double>> points;
  for (double y = -3.0; y <= 4.0; y += 0.25) {
    for (double x = -3.0; x <= 4.0; x += 0.25) points.emplace_back(y, x);
  }
  for (int grid = 0; grid < 1500; ++grid) {
    const int rows = std::uniform_int_distribution<int>(1, 8)(random);
    const int cols = std::uniform_int_distribution<int>(1, 8)(random);
    expectSameAsExhaustive(axis(rows), axis(cols), points);
    if (HasFailure()) return;
  }
}

// Far-away points, where neighbouring centres give sums that round to the same distance:
// the tying cells are not the exactly nearest ones and spread over several rows and columns.
TEST(RainLocator, DistancesEqualOnlyAfterRoundingMatchTheExhaustiveSearch) {
  std::mt19937_64 random(4242);
  for (int grid = 0; grid < 1500; ++grid) {
    const int rows = std::uniform_int_distribution<int>(1, 8)(random);
    const int cols = std::uniform_int_distribution<int>(1, 8)(random);
    auto axis = [&](int count) {
      std::vector<float> centres;
      for (int i = 0; i < count; ++i) {
        centres.push_back(static_cast<float>(std::uniform_int_distribution<int>(-40, 40)(random)));
      }
      return centres;
    };
    const std::vector<float> lat = axis(rows), lon = axis(cols);
    std::vector<std::pair<double, double>> points;
    for (double scale : {1e6, 1e8, 3e9, 1e10, 1e12}) {
      for (int i = 0; i < 6; ++i) {
        const double angle = std::uniform_real_distribution<double>(0.0, 6.283)(random);
        points.emplace_back(scale * std::sin(angle), scale * std::cos(angle));
        points.emplace_back(scale, std::uniform_int_distribution<int>(-40, 40)(random));
        points.emplace_back(std::uniform_int_distribution<int>(-40, 40)(random), -scale);
      }
    }
    expectSameAsExhaustive(lat, lon, points);
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace runoff
