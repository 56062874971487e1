// The checks a run makes before committing to hours of work: the free space its files need,
// and the window length that bounds its memory whatever the length of the run.
#include "runoff/run/run_checks.h"

#include <gtest/gtest.h>

#include "runoff/routing/window_router.h"

namespace runoff {
namespace {

TEST(RunChecks, FreeSpaceMustHoldEveryByteOfTheFiles) {
  EXPECT_TRUE(checkFreeSpace(1000, 1000).ok());
  EXPECT_TRUE(checkFreeSpace(std::uint64_t{1} << 40, 0).ok());
  const Status refused = checkFreeSpace(std::uint64_t{3} << 29, std::uint64_t{5} << 30);
  EXPECT_EQ(refused.message(),
            "./output has 1.5 GiB free; the discharge files of this run need 5 GiB.");
}

TEST(RunChecks, WindowsKeepTheirGridsNearSixtyFourMebibytes) {
  struct Case {
    std::int32_t days;
    std::size_t cells;
    std::int32_t window;
  };
  // A day of hourly grids takes 96 bytes a cell: 64 MiB hold 699050 cell-days.
  const Case cases[] = {
      {365, 1'250'000, 1},  // a day is already beyond 64 MiB: one day at a time
      {365, 139'000, 5},    // 699050 / 139000 = 5.03
      {365, 10'000, 31},    // at most a month
      {2, 10'000, 2},       // never longer than the run
      {0, 10'000, 1},       // a run of no days still has a window length
      {365, 0, 31},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(windowDaysFor(c.days, c.cells), c.window) << c.days << " days, " << c.cells;
  }
}

}  // namespace
}  // namespace runoff
