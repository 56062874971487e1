// The command line of runoff-calibrate. It runs in the working directory like runoff-sim and
// takes the simulator's --scheme and --losses with the files and settings of the search.
#ifndef RUNOFF_CALIBRATE_CALIBRATE_OPTIONS_H_
#define RUNOFF_CALIBRATE_CALIBRATE_OPTIONS_H_

#include <cstdint>
#include <span>
#include <string>

#include "common/status.h"
#include "runoff/evaluation/scores.h"
#include "runoff/run/candidate_run.h"

namespace runoff {

struct CalibrateOptions {
  bool help = false;
  std::string parameters;  // name,min,max[,scale]
  Objective objective = Objective::kKge;
  std::int64_t evaluations = 500;
  std::uint64_t seed = 1;
  std::int64_t batch = 4;  // candidates evaluated together
  // The candidates' runs: the observed discharge and the gauges, the warm-up, the placement
  // and the start, the scheme and the losses (their tunables come from `parameters`).
  CandidateRunOptions run;
};

/// The text of --help.
std::string calibrateUsage();

/// Parses the arguments after the program name ("--name VALUE" or "--name=VALUE"). Refuses an
/// unknown option, a value that does not read, an option given twice, a missing file option
/// and any other argument, naming it.
Result<CalibrateOptions> parseCalibrateOptions(std::span<const std::string> args);

}  // namespace runoff

#endif  // RUNOFF_CALIBRATE_CALIBRATE_OPTIONS_H_
