// runoff-sim-mpi against runoff-sim on random small working directories (support/random_basin.h):
// each combination is one directory, one random command line (support/random_sim_options.h),
// 1 to 4 processes of 1 or 2 threads, and now and then the run split in two by a restart state;
// the exit status, the console text and every file the runs leave (caches, grids, gauges,
// NetCDF, state) must be the same. A combination is made whole from its seed.
//
// The suite runs a fixed set of seeds, split over several cases so that they run side by side.
// The long mode (bench/run-mpi-random.sh) runs any number through MpiRandomLong:
//   RUNOFF_RANDOM_SEEDS=FIRST:COUNT  the seeds FIRST to FIRST + COUNT - 1
//   RUNOFF_RANDOM_SEEDS=S1,S2,...    those seeds (to replay a failure)
// printing one line per combination, "seed N: same" or "seed N: DIFFERENT (...)".
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/mpi_run.h"
#include "support/random_basin.h"
#include "support/random_sim_options.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

#ifdef RUNOFF_SIM_MPI_NETCDF
constexpr bool kNetcdf = true;
#else
constexpr bool kNetcdf = false;
#endif

// What a combination runs, beside its working directory.
struct Combination {
  RandomBasin basin;
  std::vector<std::string> args;
  int ranks = 1;
  int singleThreads = 1, mpiThreads = 1;
  int split = 0;  // the days of the first run of two; 0 for one run
  bool stateOut = false;

  explicit Combination(std::uint64_t seed) : basin(seed) {
    // The command from a draw of its own, so that the directory of a seed stays what it is.
    Draw draw(seed ^ 0x9e3779b97f4a7c15ULL);
    args = randomSimOptions(draw, basin, kNetcdf);
    ranks = draw.between(1, 4);
    singleThreads = draw.between(1, 2);
    mpiThreads = draw.between(1, 2);
    if (basin.days() > 1 && draw.chance(0.3)) split = draw.between(1, basin.days() - 1);
    stateOut = split > 0 || draw.chance(0.4);
  }

  std::string describe() const {
    std::ostringstream s;
    s << basin.summary() << "; options";
    for (const std::string& arg : args) s << " " << arg;
    s << "; " << ranks << " processes of " << mpiThreads << " threads (runoff-sim "
      << singleThreads << ")";
    if (split > 0) s << "; split after day " << split;
    return s.str();
  }
};

// Both programs on one run of the combination in their directories; what differs.
std::vector<std::string> runBoth(const Combination& c, const fs::path& single,
                                 const fs::path& distributed, const std::vector<std::string>& args,
                                 const std::string& step) {
  const RunResult expected = runSimulatorWith(single, args, c.singleThreads);
  const RunResult got = runMpi(distributed, c.ranks, c.mpiThreads, args);
  std::vector<std::string> differences;
  if (got.exitStatus != expected.exitStatus) {
    differences.push_back(step + "exit status " + std::to_string(got.exitStatus) + ", not " +
                          std::to_string(expected.exitStatus) + "; last line \"" +
                          lastLine(got.out) + "\"");
  }
  if (got.out != expected.out) {
    differences.push_back(step + "console differs: \"" + lastLine(got.out) + "\" against \"" +
                          lastLine(expected.out) + "\"");
  }
  for (const std::string& d : directoryDifferences(single, distributed)) {
    differences.push_back(step + d);
  }
  return differences;
}

// Runs combination `seed`; what differs, empty when nothing does.
std::vector<std::string> differencesOf(std::uint64_t seed, std::string& described) {
  const Combination c(seed);
  described = c.describe();
  TempDir single, distributed;
  const int days = c.split > 0 ? c.split : c.basin.days();
  for (const TempDir* dir : {&single, &distributed}) c.basin.write(dir->path(), 1, days);
  std::vector<std::string> args = c.args;
  if (c.stateOut) args.insert(args.end(), {"--state-out", "first.state"});
  std::vector<std::string> differences =
      runBoth(c, single.path(), distributed.path(), args, c.split > 0 ? "first run: " : "");
  if (c.split == 0 || !differences.empty()) return differences;
  // The rest of the run, from the state, in the same folders (caches and outputs in place).
  for (const TempDir* dir : {&single, &distributed}) {
    c.basin.write(dir->path(), c.split + 1, c.basin.days() - c.split);
  }
  args = c.args;
  args.insert(args.end(), {"--state-in", "first.state", "--state-out", "second.state"});
  return runBoth(c, single.path(), distributed.path(), args, "second run: ");
}

// Runs `seeds`, one line each on standard output; a failure of the test names every seed that
// differs, with what it was and how it differs.
void expectSameOnSeeds(const std::vector<std::uint64_t>& seeds) {
  for (std::uint64_t seed : seeds) {
    std::string described;
    const std::vector<std::string> differences = differencesOf(seed, described);
    std::ostringstream line;
    line << "seed " << seed << ": " << (differences.empty() ? "same" : "DIFFERENT");
    if (!differences.empty()) {
      line << " (" << described << ")";
      for (const std::string& d : differences) line << "\n    " << d;
    }
    std::cout << line.str() << std::endl;
    if (!differences.empty()) {
      ADD_FAILURE() << line.str() << "\nReplay: RUNOFF_RANDOM_SEEDS=" << seed
                    << " mpi_random_test --gtest_filter='MpiRandomLong.*'";
    }
  }
}

// The suite's share: kShards cases of kPerShard seeds each, side by side under ctest -j. The
// sanitized build, several times slower, runs the first seeds of each case only.
constexpr int kShards = 8;
#if defined(__SANITIZE_ADDRESS__)
constexpr int kPerShard = 3;
#else
constexpr int kPerShard = 12;
#endif
constexpr std::uint64_t kFirstSuiteSeed = 1;

class MpiRandom : public ::testing::TestWithParam<int> {};

TEST_P(MpiRandom, SameBytesAsOneProcess) {
  std::vector<std::uint64_t> seeds;
  // The shards interleave, so that the sanitized build's fewer seeds are spread over all.
  for (int k = 0; k < kPerShard; ++k) seeds.push_back(kFirstSuiteSeed + GetParam() + k * kShards);
  expectSameOnSeeds(seeds);
}

INSTANTIATE_TEST_SUITE_P(Seeds, MpiRandom, ::testing::Range(0, kShards));

// The seeds of RUNOFF_RANDOM_SEEDS; skipped when it is not set.
TEST(MpiRandomLong, SameBytesAsOneProcessOnTheSeedsGiven) {
  const char* given = std::getenv("RUNOFF_RANDOM_SEEDS");
  if (given == nullptr) GTEST_SKIP() << "RUNOFF_RANDOM_SEEDS is not set";
  const std::string text = given;
  std::vector<std::uint64_t> seeds;
  if (const std::size_t colon = text.find(':'); colon != std::string::npos) {
    const std::uint64_t first = std::stoull(text.substr(0, colon));
    const std::uint64_t count = std::stoull(text.substr(colon + 1));
    for (std::uint64_t k = 0; k < count; ++k) seeds.push_back(first + k);
  } else {
    std::istringstream list(text);
    for (std::string seed; std::getline(list, seed, ',');) seeds.push_back(std::stoull(seed));
  }
  ASSERT_FALSE(seeds.empty()) << "RUNOFF_RANDOM_SEEDS names no seed: \"" << text << "\"";
  expectSameOnSeeds(seeds);
}

}  // namespace
}  // namespace runoff::testing
