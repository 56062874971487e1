// The river list: the announced count is the number of lines, blank ones included; only the
// records actually present select rivers; negative river numbers select nothing.
#include "runoff/inputs/river_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <sstream>

namespace runoff {
namespace {

std::int32_t lines(const std::string& text) {
  std::istringstream in(text);
  return countLines(in);
}

Result<std::vector<std::int32_t>> records(const std::string& text) {
  std::istringstream in(text);
  return readRiverRecords(in, lines(text));
}

TEST(RiverList, BlankLinesCountAsEntries) {
  EXPECT_EQ(lines("3 0 0 0 0 0 0.0 0.0\n\n\n"), 3);
  EXPECT_EQ(lines("3 0 0 0 0 0 0.0 0.0\n7 0 0 0 0 0 0 0"), 2);  // last line without line end
  EXPECT_EQ(lines(""), 0);
  EXPECT_EQ(lines("\n"), 1);
}

TEST(RiverList, BlankLinesPastTheLastRecordSelectNothing) {
  auto nums = records("3 0 0 0 0 0 0.0 0.0\n\n7 1 2 3 4 5 6.5 7.5\n\n\n");
  ASSERT_TRUE(nums.ok()) << nums.message();
  EXPECT_EQ(*nums, (std::vector<std::int32_t>{3, 7}));
}

TEST(RiverList, FileWithoutNumbersSelectsNothing) {
  auto nums = records("\n\n  \n");
  ASSERT_TRUE(nums.ok()) << nums.message();
  EXPECT_TRUE(nums->empty());
  RiverSelection selection(*nums);
  for (std::int32_t r : {-1, 0, 1, 3}) EXPECT_FALSE(selection.contains(r)) << r;
}

TEST(RiverList, RecordsAreReadAsOneStreamAcrossLines) {
  auto nums = records("4 0 0\n0 0 0 1.0\n2.0\n9 0 0 0 0 0 0 0\n");
  ASSERT_TRUE(nums.ok()) << nums.message();
  EXPECT_EQ(*nums, (std::vector<std::int32_t>{4, 9}));
}

TEST(RiverList, RecordCutShortIsReported) {
  EXPECT_EQ(records("4 0 0 0 0 0 1.0\n").message(),
            "riverNumList.dat: record 1 has 7 of its 8 numbers (six integers, then two reals).");
}

TEST(RiverList, NonNumberIsReported) {
  EXPECT_EQ(records("4 0 0 0 0 0 1.0 2.0\nriver 0 0 0 0 0 1 2\n").message(),
            "riverNumList.dat: number 1 of record 2 is not a number: \"river\".");
  EXPECT_EQ(records("4.5 0 0 0 0 0 1.0 2.0\n").message(),
            "riverNumList.dat: number 1 of record 1 is not a whole integer: \"4.5\".");
}

TEST(RiverList, NegativeNumbersNeverSelect) {
  RiverSelection selection({-1, 2, -5});
  EXPECT_FALSE(selection.contains(-1));
  EXPECT_FALSE(selection.contains(-5));
  EXPECT_TRUE(selection.contains(2));
}

TEST(RiverList, DuplicateNumbersSelectAsOnce) {
  RiverSelection once({2, 5});
  RiverSelection twice({5, 2, 5, 2, 2});
  for (std::int32_t r = -2; r < 8; ++r) EXPECT_EQ(once.contains(r), twice.contains(r)) << r;
}

TEST(RiverList, MembershipTestAgreesWithSearchingTheList) {
  // The precomputed test against the search of the list from its first entry, on random lists
  // of repeated and extreme numbers; a negative number selects nothing either way.
  std::mt19937 rng(3);
  const std::int32_t pool[] = {0, 1, 2, 3, 7, 100, 65535, INT32_MAX, -1, INT32_MIN};
  for (int trial = 0; trial < 2000; ++trial) {
    std::vector<std::int32_t> list(rng() % 9);
    for (std::int32_t& r : list) r = pool[rng() % std::size(pool)];
    RiverSelection selection(list);
    for (std::int32_t river : pool) {
      const bool searched = river >= 0 && std::find(list.begin(), list.end(), river) != list.end();
      ASSERT_EQ(selection.contains(river), searched) << "trial " << trial << " river " << river;
    }
  }
}

TEST(RiverList, EdgeCellOfAListedRiverIsNotSelected) {
  RiverSelection selection({1});
  GridCell cell;
  cell.riverNum = 1;
  cell.isEdge = 0;
  EXPECT_TRUE(isSelected(cell, selection));
  cell.isEdge = 1;
  EXPECT_FALSE(isSelected(cell, selection));
  cell.isEdge = 0;
  cell.riverNum = 2;
  EXPECT_FALSE(isSelected(cell, selection));
}

}  // namespace
}  // namespace runoff
