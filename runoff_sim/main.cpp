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
#include "runoff/output/discharge_output.h"
#include "runoff/run/run_sequence.h"
#include "runoff/run/sim_options.h"
#ifdef RUNOFF_HAVE_NETCDF
#include "runoff/output/netcdf_sink.h"
#endif

namespace {

using namespace runoff;

// The makers of the outputs that the run sequence does not make itself: the NetCDF file, where
// this program is built with the NetCDF library.
OutputMakers outputMakers([[maybe_unused]] const std::vector<std::string>& argv,
                          [[maybe_unused]] const std::vector<std::uint8_t>& selectedInFileOrder) {
  OutputMakers makers;
#ifdef RUNOFF_HAVE_NETCDF
  makers.netcdf = [&](const std::string& path, NetcdfDescription description) {
    description.history = netcdfHistory(argv);
    description.source = netcdfSource("runoff-sim");
    Result<std::unique_ptr<NetcdfSink>> made =
        NetcdfSink::create(path, description, selectedInFileOrder);
    if (!made.ok()) return OutputMakers::Made(made.status());
    return OutputMakers::Made(std::unique_ptr<WindowSink>(std::move(made).value()));
  };
#endif
  return makers;
}

Status simulate(const SimOptions& options, const std::vector<std::string>& argv) {
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
  if (Status s = run.prepareOutputs(); !s.ok()) return s;
  if (Status s = run.checkOutputFolder(); !s.ok()) return s;
  const std::vector<std::uint8_t> selected =
      selectedInFileOrder(run.inputs().topo, run.inputs().selected);
  if (Status s = run.openOutputs(outputMakers(argv, selected)); !s.ok()) return s;
  if (Status s = run.routeWindows(); !s.ok()) return s;
  if (Status s = run.finishOutputs(); !s.ok()) return s;
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
    const Status run = simulate(*options, std::vector<std::string>(argv, argv + argc));
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
