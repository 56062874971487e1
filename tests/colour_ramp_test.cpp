// Unit tests of the colour scale and the image encoding of the discharge maps.
#include "discharge_map/colour_ramp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "discharge_map/ppm_writer.h"

namespace runoff {
namespace {

TEST(RampColour, StopsRunBlueCyanGreenYellowRed) {
  EXPECT_EQ(rampColour(0), (Colour{0, 0, 252}));
  EXPECT_EQ(rampColour(63), (Colour{0, 252, 252}));
  EXPECT_EQ(rampColour(64), (Colour{0, 252, 252}));
  EXPECT_EQ(rampColour(100), (Colour{0, 252, 108}));
  EXPECT_EQ(rampColour(127), (Colour{0, 252, 0}));
  EXPECT_EQ(rampColour(128), (Colour{0, 252, 0}));
  EXPECT_EQ(rampColour(191), (Colour{252, 252, 0}));
  EXPECT_EQ(rampColour(192), (Colour{252, 252, 0}));
  EXPECT_EQ(rampColour(200), (Colour{252, 220, 0}));
  EXPECT_EQ(rampColour(255), (Colour{252, 0, 0}));
}

TEST(RampColour, NegativeIsBlackAndAbove255IsYellow) {
  EXPECT_EQ(rampColour(-1), (Colour{0, 0, 0}));
  EXPECT_EQ(rampColour(kBlackIndex), (Colour{0, 0, 0}));
  EXPECT_EQ(rampColour(std::numeric_limits<std::int32_t>::min()), (Colour{0, 0, 0}));
  EXPECT_EQ(rampColour(256), (Colour{252, 252, 0}));
  EXPECT_EQ(rampColour(std::numeric_limits<std::int32_t>::max()), (Colour{252, 252, 0}));
}

TEST(DischargeIndex, RangeEndsGive0And255) {
  EXPECT_EQ(dischargeIndex(0.25f, 0.25f, 7.5f), 0);
  EXPECT_EQ(dischargeIndex(7.5f, 0.25f, 7.5f), 255);
  EXPECT_EQ(dischargeIndex(2.5f, 0.0f, 10.0f), 127);  // sqrt(0.25) x 255 = 127.5
}

// The ratio and its square root are single precision; done in double these values would land
// on the neighbouring index.
TEST(DischargeIndex, SquareRootIsTakenInSinglePrecision) {
  EXPECT_EQ(dischargeIndex(0x1.6ad43cp-10f, 0.0f, 10.0f), 3);
  EXPECT_EQ(dischargeIndex(0x1.4283c6p-13f, 0.0f, 10.0f), 0);
  EXPECT_EQ(dischargeIndex(0x1.4283c6p-11f, 0.0f, 10.0f), 1);
}

TEST(DischargeIndex, BelowMinimumIsBlack) {
  EXPECT_LT(dischargeIndex(1.0f, 2.0f, 10.0f), 0);
  EXPECT_LT(dischargeIndex(0.0f, 1e-30f, 10.0f), 0);
}

TEST(DischargeIndex, IndexBeyond32BitsIsAboveTheMaximum) {
  // sqrt(1e14) x 255 = 2.55e9 does not fit an int32.
  EXPECT_EQ(dischargeIndex(1e8f, 0.0f, 1e-6f), std::numeric_limits<std::int32_t>::max());
  // The ratio itself overflows to infinity.
  EXPECT_EQ(dischargeIndex(1e30f, 0.0f, 1e-30f), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(rampColour(dischargeIndex(1e8f, 0.0f, 1e-6f)), (Colour{252, 252, 0}));
}

TEST(DischargeIndex, UndefinedRatioIsBlack) {
  // infinity / infinity
  EXPECT_EQ(dischargeIndex(3e38f, -3e38f, 3e38f), kBlackIndex);
  EXPECT_EQ(dischargeIndex(std::nanf(""), 0.0f, 1.0f), kBlackIndex);
}

TEST(FrameRule, BlacksTheSecondRowAndColumnFromEachEdge) {
  std::vector<float> values(5 * 6, 1.0f);
  std::vector<std::int32_t> index(values.size());
  fillColourIndex(values, 5, 6, 0.0f, 1.0f, index);
  for (int r = 0; r < 5; ++r) {
    for (int k = 0; k < 6; ++k) {
      const bool frame = r == 1 || r == 3 || k == 1 || k == 4;
      EXPECT_EQ(index[r * 6 + k], frame ? kBlackIndex : 255) << "row " << r << " col " << k;
    }
  }
}

TEST(FrameRule, ThreeColumnsBlackOnlyTheMiddleColumn) {
  EXPECT_FALSE(isFrameCell(0, 0, 1, 3));
  EXPECT_TRUE(isFrameCell(0, 1, 1, 3));
  EXPECT_FALSE(isFrameCell(0, 2, 1, 3));
}

TEST(FrameRule, MissingValueIsBlack) {
  std::vector<float> values = {-9999.0f, 4.0f, -0.5f};
  std::vector<std::int32_t> index(3);
  fillColourIndex(values, 1, 3, 0.0f, 4.0f, index);
  EXPECT_EQ(index[0], kBlackIndex);
  EXPECT_EQ(index[2], kBlackIndex);
}

TEST(PpmWriter, HeaderGivesFivePixelsPerCell) {
  EXPECT_EQ(ppmHeader(100, 200), "P6\n1000 500\n255\n");
}

// The plain encoding, one byte at a time, north row first.
std::string plainImage(const std::vector<std::int32_t>& index, int rows, int cols) {
  std::string bytes =
      "P6\n" + std::to_string(5 * cols) + " " + std::to_string(5 * rows) + "\n255\n";
  for (int r = rows - 1; r >= 0; --r) {
    for (int line = 0; line < 5; ++line) {
      for (int k = 0; k < cols; ++k) {
        for (int n = 0; n < 5; ++n) {
          const Colour c = rampColour(index[r * cols + k]);
          bytes += static_cast<char>(c.red);
          bytes += static_cast<char>(c.green);
          bytes += static_cast<char>(c.blue);
        }
      }
    }
  }
  return bytes;
}

TEST(PpmWriter, RowBlocksMatchPlainByteByByteEncoding) {
  std::mt19937 random(7);
  std::uniform_int_distribution<std::int32_t> pick(-1000, 300);
  for (auto [rows, cols] : {std::pair{1, 1}, {2, 3}, {7, 4}, {13, 17}}) {
    std::vector<std::int32_t> index(rows * cols);
    for (auto& i : index) i = pick(random);
    std::ostringstream out;
    ASSERT_TRUE(writePpmImage(out, index, rows, cols));
    EXPECT_EQ(out.str(), plainImage(index, rows, cols)) << rows << " x " << cols;
  }
}

}  // namespace
}  // namespace runoff
