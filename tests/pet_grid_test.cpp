// The PET file, read window by window as the rainfall is: its values land where the rainfall
// file's would, and a file that cannot serve the run (too short, negative or absurd rates,
// another grid's records read out of step, another period than the rainfall) is refused with
// one line naming the day and hour.
#include "runoff/inputs/pet_grid.h"

#include <gtest/gtest.h>

#include <sstream>

namespace runoff {
namespace {

// `hours` records of a 2 x 3 grid (or `cells` values each) from 2011-08-26T00, stamped hour by
// hour; value of cell c (in file order) in hour h: h + c / 10.
std::string petFile(int hours, int cells = 6, int firstHour = 0) {
  std::ostringstream text;
  for (int h = firstHour; h < firstHour + hours; ++h) {
    text << "2011 8 " << 26 + h / 24 << ' ' << h % 24 << " 0 0\n";
    for (int c = 0; c < cells; ++c) text << (c ? " " : "") << h + c / 10.0;
    text << '\n';
  }
  return text.str();
}

std::string check(const std::string& text, int days,
                  std::optional<CivilTime> rainStart = std::nullopt) {
  std::istringstream in(text);
  return checkPet(in, 2, 3, days, rainStart).message();
}

TEST(PetGrid, WindowsHoldTheHoursWhereTheRainfallFileWouldHaveThem) {
  std::istringstream in(petFile(72));
  PetReader reader(in, 2, 3, 3);
  PetGrid grid = buildPetGrid(2, 3, 2);
  ASSERT_EQ(advancePetWindow(reader, grid, 1, 2).message(), "");
  // The first value of an hour is the north-western cell (row 1), the fourth the south-western.
  EXPECT_FLOAT_EQ(grid.pet(1 * 3 + 0, 1, 0), 0.0f);
  EXPECT_FLOAT_EQ(grid.pet(1 * 3 + 2, 1, 5), 5.2f);
  EXPECT_FLOAT_EQ(grid.pet(0 * 3 + 0, 2, 23), 47.3f);
  ASSERT_EQ(advancePetWindow(reader, grid, 3, 1).message(), "");
  EXPECT_EQ(grid.firstDay, 3);
  EXPECT_FLOAT_EQ(grid.pet(0 * 3 + 1, 3, 0), 48.4f);
  EXPECT_EQ(reader.firstStamp(), civilTime({2011, 8, 26, 0, 0, 0}));
}

TEST(PetGrid, AFileThatServesTheRunPasses) {
  EXPECT_EQ(check(petFile(48), 2, civilTime({2011, 8, 26, 0, 0, 0})), "");
  EXPECT_EQ(check(petFile(60), 2), "");  // longer than the run: the rest is not read
  // Stamps that are no date are not checked, as the rainfall's are not.
  std::string undated = petFile(24);
  for (std::size_t at = 0; (at = undated.find("2011 8 26", at)) != std::string::npos;) {
    undated.replace(at, 9, "0 0 0");
  }
  EXPECT_EQ(check(undated, 1), "");
}

TEST(PetGrid, RefusalsNameTheDayAndHour) {
  const std::string p = "./input/pet.dat";
  EXPECT_EQ(check(petFile(47), 2), p + " holds 47 hours of potential evapotranspiration; the "
                                       "run needs 48.");
  EXPECT_EQ(check(petFile(30).substr(0, petFile(30).size() - 14), 2),
            p + " holds 29 hours of potential evapotranspiration; the run needs 48.");
  std::string negative = petFile(24);
  negative.replace(negative.find("5.1"), 3, "-0.1");
  EXPECT_EQ(check(negative, 1), p + ": the record of day 1 hour 5 holds \"-0.1\", which is not "
                                    "a potential evapotranspiration (0 to 100 mm/h).");
  std::string letters = petFile(30);
  letters.replace(letters.find("25.2"), 4, "n/a");
  EXPECT_EQ(check(letters, 2),
            p + ": the record of day 2 hour 1 holds \"n/a\", which is not a number.");
  // Two hours missing in the middle.
  const std::string gap = petFile(10) + petFile(20, 6, 12);
  EXPECT_EQ(check(gap, 1), p + ": the record of day 1 hour 10 is stamped 2011 8 26 12 0 0, not "
                               "one hour after the record before it (a gap, or a file made for "
                               "a rainfall grid of another size).");
  EXPECT_EQ(check(petFile(48), 2, civilTime({2011, 8, 25, 0, 0, 0})),
            p + " begins at 2011-08-26T00:00:00, the rainfall at 2011-08-25T00:00:00; the two "
                "files must hold the same hours.");
}

// A file made for a grid of other cell counts is read out of step: a stamp lands where a rate
// was, or a rate where a stamp was, and the run stops at the first such record.
TEST(PetGrid, AFileOfAnotherGridIsRefused) {
  EXPECT_EQ(check(petFile(48, 4), 1),
            "./input/pet.dat: the record of day 1 hour 0 holds \"2011\", which is not a "
            "potential evapotranspiration (0 to 100 mm/h).");
  EXPECT_EQ(check(petFile(48, 9), 1),
            "./input/pet.dat: the record of day 1 hour 1 holds \"0.6\" where its time stamp "
            "belongs, which is not a whole integer.");
}

}  // namespace
}  // namespace runoff
