// The fast exchange order against the literal procedure: hand-checked cases that show how equal
// values are placed, structured inputs, and many random sequences with heavy ties, no-data and
// extreme values.
#include "runoff/inputs/exchange_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "literal_exchange_order.h"

namespace runoff {
namespace {

using Values = std::vector<std::int32_t>;
using testing::literalExchangeOrder;

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

std::string describe(const Values& v) {
  std::string s;
  for (const std::int32_t x : v) s += std::to_string(x) + " ";
  return s;
}

// Draws `cases` sequences of length 0..maxLength from `draw` and compares both orders.
template <typename Draw>
void expectMatchesLiteral(std::mt19937& rng, int cases, int maxLength, Draw draw) {
  std::uniform_int_distribution<int> length(0, maxLength);
  for (int c = 0; c < cases; ++c) {
    Values v(static_cast<std::size_t>(length(rng)));
    for (std::int32_t& x : v) x = draw(rng);
    ASSERT_EQ(exchangeSortOrder(v), literalExchangeOrder(v)) << "values: " << describe(v);
  }
}

TEST(ExchangeOrder, LaterOfTwoEqualValuesComesFirstWhenSmallerFollows) {
  EXPECT_EQ(exchangeSortOrder(Values{2, 2, 0}), (Values{2, 1, 0}));
}

TEST(ExchangeOrder, EqualValuesAroundSmallerOneKeepTheirOrder) {
  EXPECT_EQ(exchangeSortOrder(Values{2, 0, 2}), (Values{1, 0, 2}));
}

TEST(ExchangeOrder, NoDataCellsMoveEqualValuesOfTwoRowGrid) {
  // 2 x 3 grid, rows 5 -9999 1 and 5 0 1: the listed cells come out as (0,2) (1,2) (0,0) (1,0).
  const Values v{5, -9999, 1, 5, 0, 1};
  EXPECT_EQ(exchangeSortOrder(v), (Values{1, 4, 2, 5, 0, 3}));
  EXPECT_EQ(exchangeSortOrder(v), literalExchangeOrder(v));
}

TEST(ExchangeOrder, EmptyAndSingleElement) {
  EXPECT_TRUE(exchangeSortOrder(Values{}).empty());
  EXPECT_EQ(exchangeSortOrder(Values{-9999}), (Values{0}));
  EXPECT_EQ(exchangeSortOrder(Values{kMax}), (Values{0}));
}

TEST(ExchangeOrder, AllEqualKeepsPositions) {
  for (const std::int32_t x : {kMin, -9999, 0, 1, kMax}) {
    const Values v(257, x);
    Values identity(v.size());
    std::iota(identity.begin(), identity.end(), 0);
    EXPECT_EQ(exchangeSortOrder(v), identity) << "value " << x;
  }
}

TEST(ExchangeOrder, AlreadySortedAndReversedMatchLiteral) {
  Values ascending;
  for (std::int32_t x = -20; x <= 20; ++x) ascending.insert(ascending.end(), 1 + (x & 3), x);
  const Values descending(ascending.rbegin(), ascending.rend());
  Values identity(ascending.size());
  std::iota(identity.begin(), identity.end(), 0);
  EXPECT_EQ(exchangeSortOrder(ascending), identity);
  EXPECT_EQ(exchangeSortOrder(descending), literalExchangeOrder(descending));

  Values strictlyDescending(300);
  std::iota(strictlyDescending.rbegin(), strictlyDescending.rend(), -150);
  Values reversed(300);
  std::iota(reversed.rbegin(), reversed.rend(), 0);
  EXPECT_EQ(exchangeSortOrder(strictlyDescending), reversed);
}

TEST(ExchangeOrder, ExtremeValuesOrderAsSignedIntegers) {
  const Values v{kMax, 0, kMin, -1, 1, kMin, kMax, -9999};
  EXPECT_EQ(exchangeSortOrder(v), literalExchangeOrder(v));
  std::mt19937 rng(11);
  const std::int32_t pool[] = {kMin, kMin + 1, -9999, -1, 0, 1, 2, kMax - 1, kMax};
  std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(pool)) - 1);
  expectMatchesLiteral(rng, 2000, 30, [&](std::mt19937& r) { return pool[pick(r)]; });
}

TEST(ExchangeOrder, MatchesLiteralOnShortSequencesWithHeavyTies) {
  std::mt19937 rng(1);
  for (int alphabet = 1; alphabet <= 6; ++alphabet) {
    std::uniform_int_distribution<std::int32_t> value(-1, alphabet - 2);
    expectMatchesLiteral(rng, 2000, 24, [&](std::mt19937& r) { return value(r); });
  }
}

TEST(ExchangeOrder, MatchesLiteralWithManyNoDataAndNonPositiveCells) {
  std::mt19937 rng(2);
  std::uniform_int_distribution<int> kind(0, 9);
  std::uniform_int_distribution<std::int32_t> positive(1, 4);
  std::uniform_int_distribution<std::int32_t> negative(-3, 0);
  expectMatchesLiteral(rng, 4000, 40, [&](std::mt19937& r) {
    const int k = kind(r);
    return k < 3 ? -9999 : k < 5 ? negative(r) : positive(r);
  });
}

TEST(ExchangeOrder, MatchesLiteralOnDistinctAndWideRangeValues) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<std::int32_t> wide(kMin, kMax);
  expectMatchesLiteral(rng, 1000, 60, [&](std::mt19937& r) { return wide(r); });
}

TEST(ExchangeOrder, MatchesLiteralOnLongSequencesWithLargeGroups) {
  // Large equal groups wrap the rotation many times and use deep levels of both trees.
  std::mt19937 rng(4);
  for (const int length : {500, 1023, 1024, 1025, 3000}) {
    for (int alphabet : {2, 3, 7, 40}) {
      Values v(static_cast<std::size_t>(length));
      std::uniform_int_distribution<std::int32_t> value(0, alphabet - 1);
      for (std::int32_t& x : v) x = value(rng) == 0 ? -9999 : value(rng);
      ASSERT_EQ(exchangeSortOrder(v), literalExchangeOrder(v)) << length << " cells, " << alphabet;
    }
  }
}

TEST(ExchangeOrder, MatchesLiteralOnFlowAccumulationLikeValues) {
  // Mostly 1, 2, 3 with a few large values and a no-data border, as on a real basin grid.
  std::mt19937 rng(5);
  std::geometric_distribution<std::int32_t> acc(0.45);
  for (int grid = 0; grid < 20; ++grid) {
    const int rows = 10 + grid, cols = 30;
    Values v(static_cast<std::size_t>(rows * cols));
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c) {
        const bool border = r == 0 || c == 0 || r == rows - 1 || c == cols - 1 || (r + c) % 17 == 0;
        v[static_cast<std::size_t>(r * cols + c)] = border ? -9999 : 1 + acc(rng);
      }
    ASSERT_EQ(exchangeSortOrder(v), literalExchangeOrder(v)) << rows << " x " << cols;
  }
}

}  // namespace
}  // namespace runoff
