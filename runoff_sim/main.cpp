// runoff-sim: routes hourly rainfall through every cell of the listed rivers and writes the
// daily and hourly discharge grids. Every file lies at a fixed path relative to the working
// directory; the options choose the routing scheme and the rainfall losses, add a restart state
// or print a water budget (runoff-sim --help). Each step below is one call of the run sequence;
// any failure prints one line and ends the run with exit status 1, leaving no output file under
// its final name.
#include <algorithm>
#include <iostream>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/run/run_sequence.h"
#include "runoff/run/sim_options.h"

namespace {

using namespace runoff;

Status simulate(const SimOptions& options) {
  RunSequence run(options, std::cout);
  if (Status s = run.readParameters(); !s.ok()) return s;
  if (Status s = run.loadInputs(); !s.ok()) return s;
  if (Status s = run.loadLossGrids(); !s.ok()) return s;
  if (Status s = run.checkRoutingMemory(); !s.ok()) return s;
  if (Status s = run.obtainOrder(); !s.ok()) return s;
  if (Status s = run.openRainfall(); !s.ok()) return s;
  run.planRouting();
  run.setUpStates();
  Result<std::optional<StoredState>> start = run.readStartState();
  if (!start.ok()) return start.status();
  run.startFrom(*start);
  if (Status s = run.openOutputs(); !s.ok()) return s;
  if (Status s = run.routeWindows(); !s.ok()) return s;
  if (Status s = run.publishOutputs(run.finalStates()); !s.ok()) return s;
  run.reportBudget(run.budgetVolumes());
  return {};
}

int fail(const std::string& message) {
  std::cout << message << std::endl;
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Result<SimOptions> options =
        parseSimOptions(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
    if (!options.ok()) return fail("runoff-sim: " + options.message());
    if (options->help) {
      std::cout << simHelpText("runoff-sim");
      return 0;
    }
    const Status run = simulate(*options);
    std::cout.flush();
    return run.ok() ? 0 : fail(run.message());
  } catch (const std::bad_alloc&) {
    return fail(kOutOfMemory);
  } catch (const std::length_error&) {
    return fail(kOutOfMemory);
  } catch (const std::exception& error) {
    // Every failure the run foresees is a Status; this is the last guard against a crash.
    return fail(std::string("runoff-sim: unexpected failure: ") + error.what());
  }
}
