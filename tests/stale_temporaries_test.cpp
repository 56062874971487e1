// What a run that ended abnormally leaves: the next run removes the temporaries whose process is
// gone from this machine, says so in one line, and never touches those of a process that still
// runs, of another machine, or of a file it does not write. A run that finds none prints
// exactly what it always printed.
#include "common/stale_temporaries.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/atomic_file.h"
#include "support/basin_builder.h"
#include "support/mpi_run.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

// The id of a process of this machine that has ended (its id is free until reused).
long endedProcess() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return static_cast<long>(child);
}

TEST(StaleTemporaries, TheNameTellsTheProcessAndTheMachine) {
  const std::string mine = fs::path(temporaryPathFor("out/grid.bin")).filename().string();
  const std::optional<TemporaryWriter> writer = temporaryWriter(mine, "grid.bin");
  ASSERT_TRUE(writer.has_value()) << mine;
  EXPECT_EQ(writer->pid, static_cast<long>(getpid()));
  EXPECT_EQ(writer->host, machineName());
  // Written before the machine was named: the process alone.
  EXPECT_EQ(temporaryWriter("grid.bin.tmp-7817", "grid.bin")->pid, 7817);
  EXPECT_EQ(temporaryWriter("grid.bin.tmp-7817", "grid.bin")->host, "");
  EXPECT_EQ(temporaryWriter("grid.bin.tmp-12-node-3.cluster", "grid.bin")->host,
            "node-3.cluster");
  for (const char* other : {"grid.bin", "grid.bin.tmp-", "grid.bin.tmp-x1", "grid.bin.tmp-012",
                            "grid.bin.tmp-12-", "grid.bin.tmp-1234567890", "grid.bint.tmp-12",
                            "xgrid.bin.tmp-12", "grid.bin.tmp-12x"}) {
    EXPECT_FALSE(temporaryWriter(other, "grid.bin").has_value()) << other;
  }
}

TEST(StaleTemporaries, OnlyThoseOfEndedProcessesOfThisMachineGo) {
  TempDir dir;
  const std::string folder = dir.path().string();
  const std::string ended = std::to_string(endedProcess());
  const std::string live = std::to_string(static_cast<long>(getpid()));
  const std::string host = machineName();
  const std::vector<std::string> kept = {
      "a.bin.tmp-" + live + "-" + host,  // a run still going on this machine
      "a.bin.tmp-" + ended + "-another-machine",  // another machine: not ours to judge
      "notes.txt.tmp-" + ended,                   // not a file the run writes
      "a.bin",
  };
  const std::vector<std::string> stale = {"a.bin.tmp-" + ended + "-" + host,
                                          "b.vrt.tmp-" + ended};
  for (const std::string& name : kept) writeFile(dir / name, "x");
  for (const std::string& name : stale) writeFile(dir / name, "x");
  fs::create_directories(dir / ("b.vrt.tmp-" + ended + "x"));  // not a temporary's name
  const std::vector<std::string> removed =
      removeStaleTemporaries({folder + "/a.bin", folder + "/b.vrt"});
  EXPECT_EQ(removed, (std::vector<std::string>{folder + "/" + stale[0], folder + "/" + stale[1]}));
  std::vector<std::string> left = kept;
  left.push_back("b.vrt.tmp-" + ended + "x");
  std::sort(left.begin(), left.end());
  EXPECT_EQ(entries(dir.path()), left);
  EXPECT_TRUE(removeStaleTemporaries({folder + "/a.bin"}).empty());
}

// The run says what it removed, once, before routing; everything else it prints is the clean
// run's, byte for byte. `run` runs a program in a folder.
void expectStaleOnesRemoved(const std::function<RunResult(const fs::path&)>& run) {
  TempDir clean, crashed;
  valleyBasin().write(clean.path());
  valleyBasin().write(crashed.path());
  const RunResult expected = run(clean.path());
  ASSERT_EQ(expected.exitStatus, 0) << expected.out;

  const std::string ended = std::to_string(endedProcess());
  const std::string live = std::to_string(static_cast<long>(getpid()));
  writeFile(crashed / ("output/dischargeHourly.bin.tmp-" + ended), "half");
  writeFile(crashed / ("output/dischargeDaily.bin.tmp-" + ended + "-" + machineName()), "half");
  writeFile(crashed / ("output/dischargeDaily.bin.tmp-" + live + "-" + machineName()), "live");
  const RunResult got = run(crashed.path());
  ASSERT_EQ(got.exitStatus, 0) << got.out;
  const std::string line = "Removed the temporary files of a run that ended abnormally: "
                           "./output/dischargeDaily.bin.tmp-" + ended + "-" + machineName() +
                           ", ./output/dischargeHourly.bin.tmp-" + ended + ".\n";
  const std::size_t at = expected.out.find("Runoff simulation starts.");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(got.out, expected.out.substr(0, at) + line + expected.out.substr(at));
  EXPECT_EQ(entries(crashed / "output"),
            (std::vector<std::string>{"dischargeDaily.bin", "dischargeDaily.bin.tmp-" + live +
                                                                "-" + machineName(),
                                      "dischargeDaily.vrt", "dischargeHourly.bin",
                                      "dischargeHourly.vrt", "dischargeHourlyMaxInDay.bin",
                                      "dischargeHourlyMaxInDay.vrt"}));
  EXPECT_EQ(readFile(crashed / "output/dischargeHourly.bin"),
            readFile(clean / "output/dischargeHourly.bin"));
}

TEST(StaleTemporaries, TheNextRunRemovesThemAndSaysSo) {
  expectStaleOnesRemoved([](const fs::path& dir) { return runSimulator(dir); });
}

#ifdef RUNOFF_SIM_MPI_EXE
TEST(StaleTemporaries, TheNextDistributedRunRemovesThemAndSaysSo) {
  expectStaleOnesRemoved([](const fs::path& dir) { return runMpi(dir, 2, 1); });
}
#endif

}  // namespace
}  // namespace runoff::testing
