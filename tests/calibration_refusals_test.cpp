// Every refusal of bad calibration and scoring input, in one table: runoff-calibrate and
// discharge-score print one line, exit with status 1 and write nothing (no calibration/, no
// scores.csv, not even the caches of temp/).
#include <gtest/gtest.h>

#include <functional>

#include "support/basin_builder.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

// The mixed basin's outlet (column 3, row 2 from the south) and a corner on the outer ring.
constexpr const char* kOutlet = "G,140.0021,36.0013\n";
constexpr const char* kCorner = "G,140.0004,36.0037\n";

std::string observedSeries(const std::string& gauge, const std::function<std::string(int)>& value) {
  std::string text = "time,gauge,discharge\n";
  for (int h = 0; h < 48; ++h) {
    text += "2020-07-0" + std::to_string(1 + h / 24) + "T" + (h % 24 < 10 ? "0" : "") +
            std::to_string(h % 24) + ":00:00," + gauge + "," + value(h) + "\n";
  }
  return text;
}

struct Refusal {
  std::string name;
  bool calibrate;  // runoff-calibrate, else discharge-score
  std::vector<std::string> args;
  std::function<void(const fs::path&)> spoil;  // changes one input of the working directory
  std::string line;                            // the one line printed
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class Refused : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refused, WithOneLineAndNothingWritten) {
  const Refusal& c = GetParam();
  TempDir dir;
  mixedBasin(2).write(dir.path());
  writeFile(dir / "gauges.csv", kOutlet);
  writeFile(dir / "observed.csv",
            observedSeries("G", [](int h) { return std::to_string(1 + h % 5); }));
  writeFile(dir / "simulated.csv",
            observedSeries("G", [](int h) { return std::to_string(2 + h % 3); }));
  writeFile(dir / "search.csv", "slopeManning,0.1,0.8,log\n");
  if (c.spoil) c.spoil(dir.path());
  std::vector<std::string> args = c.args;
  if (c.calibrate) {
    for (const char* a : {"--observed", "observed.csv", "--gauges", "gauges.csv", "--parameters",
                          "search.csv", "--evaluations", "5"}) {
      args.push_back(a);
    }
  } else {
    args.insert(args.begin(), {"observed.csv", "simulated.csv"});
  }
  const RunResult r =
      runProgram(c.calibrate ? RUNOFF_CALIBRATE_EXE : DISCHARGE_SCORE_EXE, args, dir.path());
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, c.line + "\n");
  EXPECT_FALSE(fs::is_directory(dir / "calibration"));
  EXPECT_FALSE(fs::exists(dir / "scores.csv"));
  EXPECT_TRUE(entries(dir / "temp").empty());
}

std::function<void(const fs::path&)> write(const std::string& file, const std::string& text) {
  return [=](const fs::path& dir) { writeFile(dir / file, text); };
}

// The loss grids of every method, `search` as the parameters to fit, and `removed` taken away.
std::function<void(const fs::path&)> withLossGrids(const std::string& search,
                                                   const std::string& removed = "") {
  return [=](const fs::path& dir) {
    const Basin basin = mixedBasin(2);
    writeLossGrids(dir, basin.rows(), basin.cols());
    if (!removed.empty()) fs::remove(dir / "topoData" / removed);
    writeFile(dir / "search.csv", search);
  };
}

const std::string kNoVariance = observedSeries("G", [](int) { return "1.5"; });

INSTANTIATE_TEST_SUITE_P(
    Table, Refused,
    ::testing::Values(
        Refusal{"unknown_parameter",
                true,
                {},
                write("search.csv", "name,min,max\nmanning,0.1,1\n"),
                "search.csv line 2: unknown parameter \"manning\" (the parameters are fdWeight, "
                "slopeManning, channelManning, channelThreshold, initialRunoff, impervious, "
                "initialLoss, constantLoss, lossRecovery, curveNumber, ksat, suction, "
                "moistureDeficit, soilCapacity, percolation, baseflowTime, soilStart, "
                "baselineBaseflow, etThreshold)."},
        Refusal{"min_not_below_max",
                true,
                {},
                write("search.csv", "channelManning,0.05,0.05\n"),
                "search.csv line 1: the min of channelManning, 0.05, is not below its max, "
                "0.05."},
        Refusal{"log_range_not_above_zero",
                true,
                {},
                write("search.csv", "fdWeight,0,1,log\n"),
                "search.csv line 1: fdWeight is searched on a log scale, so its min must be "
                "above 0, not 0."},
        Refusal{"range_the_model_refuses",
                true,
                {},
                write("search.csv", "fdWeight,0.5,1.5\n"),
                "search.csv line 1: the range of fdWeight, 0.5 to 1.5, reaches beyond the "
                "values the model accepts (from 0 to 1)."},
        Refusal{"observed_gauge_not_listed",
                true,
                {},
                write("gauges.csv", std::string("Other,140.0021,36.0013\n")),
                "Gauge \"G\" of observed.csv is not in gauges.csv."},
        Refusal{"gauge_without_a_routed_cell",
                true,
                {"--snap", "0"},
                write("gauges.csv", kCorner),
                "Gauge \"G\" has no routed cell within 0 cells of column 1, row 5."},
        Refusal{"no_pair_after_warm_up",
                true,
                {"--warm-up", "48"},
                nullptr,
                "Gauge \"G\": no pair of observed and simulated discharge is left after the "
                "warm-up of 48 hours."},
        Refusal{"observed_without_variance",
                true,
                {},
                write("observed.csv", kNoVariance),
                "Gauge \"G\": the observed discharge of its 48 pairs does not vary, so NSE is "
                "undefined."},
        Refusal{"unknown_loss_method",
                true,
                {"--losses", "scs"},
                nullptr,
                "runoff-calibrate: Option --losses takes none, constant, scs-cn or green-ampt, "
                "not \"scs\"."},
        Refusal{"factor_on_a_grid_the_method_does_not_read",
                true,
                {"--losses", "constant"},
                withLossGrids("curveNumber,0.5,1.5\n"),
                "Parameter curveNumber scales ./topoData/curveNumber.bin, which --losses constant "
                "does not read."},
        Refusal{"factor_on_an_absent_grid",
                true,
                {"--losses", "scs-cn"},
                withLossGrids("impervious,0.5,1.5\n", "impervious.bin"),
                "Parameter impervious scales ./topoData/impervious.bin, which is absent."},
        Refusal{"soil_parameter_without_soil",
                true,
                {},
                write("search.csv", "etThreshold,0.3,1\n"),
                "Parameter etThreshold belongs to the soil and groundwater stores: give --soil."},
        Refusal{"soil_start_beyond_the_capacity",
                true,
                {"--soil"},
                write("search.csv", "soilStart,0.5,1.5\n"),
                "search.csv line 1: the range of soilStart, 0.5 to 1.5, reaches beyond the "
                "values the model accepts (from 0 to 1)."},
        Refusal{"soil_grid_missing",
                true,
                {"--soil"},
                write("search.csv", "soilCapacity,0.5,1.5\n"),
                "./topoData/soilCapacity.bin cannot open; --soil needs it."},
        Refusal{"loss_grid_missing",
                true,
                {"--losses", "green-ampt"},
                withLossGrids("ksat,0.5,2\n", "suction.bin"),
                "./topoData/suction.bin cannot open; --losses green-ampt needs it."},
        Refusal{"option_without_its_value",
                true,
                {"--warm-up"},
                nullptr,
                "runoff-calibrate: Option --warm-up needs a value."},
        Refusal{"results_folder_is_a_file",
                true,
                {},
                write("calibration", "a file\n"),
                "calibration is a file, not a folder: the results cannot be written there."},
        Refusal{"parameter_list_is_a_directory",
                true,
                {},
                [](const fs::path& dir) {
                  fs::remove(dir / "search.csv");
                  fs::create_directory(dir / "search.csv");
                },
                "search.csv is a directory, not a file."},
        Refusal{"score_observed_is_a_directory",
                false,
                {},
                [](const fs::path& dir) {
                  fs::remove(dir / "observed.csv");
                  fs::create_directory(dir / "observed.csv");
                },
                "observed.csv is a directory, not a file."},
        Refusal{"score_option_without_its_value",
                false,
                {"--from", "--to", "2020-07-02T00:00:00"},
                nullptr,
                "Option --from needs a value."},
        Refusal{"score_no_pair_after_warm_up",
                false,
                {"--warm-up", "50"},
                nullptr,
                "Gauge \"G\": no pair of observed and simulated discharge is left after the "
                "warm-up of 50 hours."},
        Refusal{"score_observed_without_variance",
                false,
                {},
                write("observed.csv", kNoVariance),
                "Gauge \"G\": the observed discharge of its 48 pairs does not vary, so NSE is "
                "undefined."},
        Refusal{"score_gauge_not_simulated",
                false,
                {},
                write("simulated.csv", observedSeries("H", [](int) { return "1"; })),
                "Gauge \"G\" of observed.csv is not in simulated.csv."},
        Refusal{"score_time_given_twice",
                false,
                {},
                write("observed.csv",
                      "time,gauge,discharge\n2020-07-01T01:00:00,G,1\n"
                      "2020-07-01T02:00:00,G,2\n2020-07-01T01:00:00,G,3\n"),
                "observed.csv line 4: gauge \"G\" at 2020-07-01T01:00:00 is already given on "
                "line 2."},
        Refusal{"score_time_not_a_time",
                false,
                {},
                write("observed.csv", "time,gauge,discharge\n2020-07-01 25:00,G,1\n"),
                "observed.csv line 2: time \"2020-07-01 25:00\" is not a date and time "
                "(YYYY-MM-DDThh:mm:ss)."},
        Refusal{"score_simulated_between_hours",
                false,
                {},
                write("simulated.csv",
                      "time,gauge,discharge\n2020-07-01T00:00:00,G,1\n"
                      "2020-07-01T00:30:00,G,2\n"),
                "simulated.csv line 3: time 2020-07-01T00:30:00 is not a whole number of hours "
                "after 2020-07-01T00:00:00, the first time of the file."}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace runoff::testing
