// The command line of runoff-sim. Without options a run is exactly the plain run: every file at
// its fixed path, the same console text. The options add a restart state to read or write,
// choose the routing scheme and the rainfall loss method, and ask for a water budget at the end.
#ifndef RUNOFF_RUN_SIM_OPTIONS_H_
#define RUNOFF_RUN_SIM_OPTIONS_H_

#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/model/losses.h"
#include "runoff/model/routing_scheme.h"

namespace runoff {

struct SimOptions {
  bool help = false;
  std::optional<std::string> stateIn;   // start from this state instead of initialRunoff
  std::optional<std::string> stateOut;  // write the final state here after a successful run
  Scheme scheme = Scheme::kClassic;
  bool waterBudget = false;  // --budget: print the water budget at the end
  LossRule losses;           // --losses, --ia-ratio, --event-gap
};

/// Parses the arguments after the program name ("--name VALUE" or "--name=VALUE"). Refuses an
/// unknown option, a missing or unknown value, an option given twice and any other argument,
/// naming it.
Result<SimOptions> parseSimOptions(const std::vector<std::string>& args);

/// The text of --help for the program `program`.
std::string simHelpText(const std::string& program);

}  // namespace runoff

#endif  // RUNOFF_RUN_SIM_OPTIONS_H_
