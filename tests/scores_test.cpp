// The scores of observed against simulated discharge: identities and closed forms of the
// library's scores, and discharge-score end to end against an independent computation with
// numpy on random series with gaps (tests/support/score_reference.py).
#include "runoff/evaluation/scores.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "runoff/inputs/gauge_list.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

const std::vector<double> kObserved = {0.4, 0.5, 2.5, 9.0, 6.5, 3.0, 1.5, 0.9, 0.7};
const std::vector<std::int64_t> kHours = {0, 1, 2, 3, 4, 5, 6, 7, 8};

TEST(Scores, SimulationEqualToObservationScoresPerfectly) {
  const Scores s = scoreSeries(kObserved, kObserved, kHours);
  EXPECT_EQ(s.pairs, 9);
  for (double one : {s.nse, s.logNse, s.kge, s.kge2012, s.alpha, s.beta, s.gamma}) {
    EXPECT_EQ(one, 1.0);
  }
  EXPECT_NEAR(s.r, 1.0, 1e-15);
  EXPECT_EQ(s.pbiasPct, 0.0);
  EXPECT_EQ(s.peakErrorPct, 0.0);
  EXPECT_EQ(s.peakTimeErrorH, 0.0);
}

TEST(Scores, TheObservedMeanAsSimulationHasNseZero) {
  double mean = 0;
  for (double o : kObserved) mean += o;
  mean /= static_cast<double>(kObserved.size());
  const Scores s = scoreSeries(kObserved, std::vector<double>(kObserved.size(), mean), kHours);
  EXPECT_NEAR(s.nse, 0.0, 1e-15);
  EXPECT_NEAR(s.beta, 1.0, 1e-15);
  EXPECT_EQ(s.alpha, 0.0);
  EXPECT_TRUE(std::isnan(s.r)) << "a simulation that does not vary has no correlation";
  EXPECT_TRUE(std::isnan(s.kge));
}

TEST(Scores, AScaledAndShiftedSimulationHasTheClosedFormScores) {
  // s = 1.25 o: the correlation stays 1, spread and mean grow by a quarter, the coefficient of
  // variation stays; and the peak is a quarter too high. Shifting the series two hours later
  // moves the peak two hours.
  std::vector<double> scaled;
  for (double o : kObserved) scaled.push_back(1.25 * o);
  Scores s = scoreSeries(kObserved, scaled, kHours);
  EXPECT_NEAR(s.r, 1, 1e-14);
  EXPECT_NEAR(s.alpha, 1.25, 1e-14);
  EXPECT_NEAR(s.beta, 1.25, 1e-14);
  EXPECT_NEAR(s.gamma, 1, 1e-14);
  EXPECT_NEAR(s.kge, 1 - 0.25 * std::sqrt(2.0), 1e-14);
  EXPECT_NEAR(s.kge2012, 0.75, 1e-14);
  EXPECT_NEAR(s.pbiasPct, 25, 1e-12);
  EXPECT_NEAR(s.peakErrorPct, 25, 1e-12);
  std::vector<double> late = {0.4, 0.4, 0.4, 0.5, 2.5, 9.0, 6.5, 3.0, 1.5};
  s = scoreSeries(kObserved, late, kHours);
  EXPECT_EQ(s.peakTimeErrorH, 2.0);
  EXPECT_EQ(s.peakErrorPct, 0.0);
}

// The rows of a scores.csv-like file, each split into its fields.
std::vector<std::vector<std::string>> csvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) rows.push_back(*splitCsvFields(line));
  return rows;
}

struct RandomCase {
  int seed;
  int warmUp;
};

class DischargeScoreAgainstNumpy : public ::testing::TestWithParam<RandomCase> {};

TEST_P(DischargeScoreAgainstNumpy, ScoresAndCountsAgreeOnRandomSeriesWithGaps) {
  int status = 0;
  shellOutput("/usr/bin/python3 -c 'import numpy'", status);
  if (status != 0) GTEST_SKIP() << "numpy is not installed";
  TempDir dir;
  const std::string script = std::string(RUNOFF_SOURCE_DIR) + "/tests/support/score_reference.py";
  const std::string made =
      shellOutput("/usr/bin/python3 " + script + " " + std::to_string(GetParam().seed) + " " +
                      dir.path().string() + " " + std::to_string(GetParam().warmUp),
                  status);
  ASSERT_EQ(status, 0) << made;
  const RunResult r =
      runProgram(DISCHARGE_SCORE_EXE,
                 {"observed.csv", "simulated.csv", "--warm-up", std::to_string(GetParam().warmUp)},
                 dir.path());
  ASSERT_EQ(r.exitStatus, 0) << r.out;

  std::istringstream counts(readFile(dir / "counts.txt"));
  long paired, missing, simMissing, outside, between, warmUp;
  counts >> paired >> missing >> simMissing >> outside >> between >> warmUp;
  EXPECT_TRUE(contains(r.out, ": " + std::to_string(paired) + " paired; " +
                                  std::to_string(missing) + " missing, " +
                                  std::to_string(simMissing) + " without a simulated value, " +
                                  std::to_string(outside) + " outside the run, " +
                                  std::to_string(between) + " between hours, " +
                                  std::to_string(warmUp) + " left out (warm-up, --from, --to)\n"))
      << r.out;

  const auto written = csvRows(readFile(dir / "scores.csv"));
  const auto expected = csvRows(readFile(dir / "expected.csv"));
  ASSERT_EQ(written.size(), expected.size() + 1);
  EXPECT_EQ(written[0][0], "gauge");
  for (std::size_t k = 0; k < expected.size(); ++k) {
    const std::vector<std::string>& got = written[k + 1];
    ASSERT_EQ(got.size(), 13u);
    EXPECT_EQ(got[0], expected[k][0]);
    EXPECT_EQ(got[1], expected[k][1]) << "pairs of " << got[0];
    for (std::size_t c = 2; c < 13; ++c) {
      const double value = std::stod(got[c]), reference = std::stod(expected[k][c]);
      EXPECT_NEAR(value, reference, 1e-9) << written[0][c] << " of " << got[0];
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, DischargeScoreAgainstNumpy,
                         ::testing::Values(RandomCase{1, 0}, RandomCase{2, 4}, RandomCase{3, 10},
                                           RandomCase{4, 0}));

TEST(DischargeScore, APeriodScoresAsTheSeriesCutToIt) {
  TempDir dir;
  std::string observed = "time,gauge,discharge\n", cut = observed, simulated = observed,
              simulatedCut = observed;
  for (int h = 0; h < 12; ++h) {
    const std::string time =
        "2000-07-01T" + std::string(h < 10 ? "0" : "") + std::to_string(h) + ":00:00";
    const std::string o = time + ",G," + std::to_string(1 + (h * 7) % 5) + "\n";
    const std::string s = time + ",G," + std::to_string(2 + (h * 3) % 4) + ".5\n";
    observed += o;
    simulated += s;
    if (h >= 3 && h <= 8) {
      cut += o;
      simulatedCut += s;
    }
  }
  writeFile(dir / "o.csv", observed);
  writeFile(dir / "s.csv", simulated);
  writeFile(dir / "oc.csv", cut);
  writeFile(dir / "sc.csv", simulatedCut);
  ASSERT_EQ(runProgram(DISCHARGE_SCORE_EXE, {"oc.csv", "sc.csv"}, dir.path()).exitStatus, 0);
  const std::string whole = readFile(dir / "scores.csv");
  const RunResult r = runProgram(
      DISCHARGE_SCORE_EXE,
      {"o.csv", "s.csv", "--from", "2000-07-01T03:00:00", "--to=2000-07-01T08:00:00"}, dir.path());
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  // Hours count from the first simulated hour, so the peak times move together.
  EXPECT_EQ(readFile(dir / "scores.csv"), whole);
  EXPECT_TRUE(contains(r.out,
                       "6 paired; 0 missing, 0 without a simulated value, "
                       "0 outside the run, 0 between hours, 6 left out"))
      << r.out;
}

}  // namespace
}  // namespace runoff::testing
