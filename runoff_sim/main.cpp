// runoff-sim: routes hourly rainfall through every cell of the listed rivers and writes the
// daily and hourly discharge grids. Every file lies at a fixed path relative to the working
// directory; the options choose the routing scheme and the rainfall losses, add a restart state
// or print a water budget (runoff-sim --help). The run is the simulation object's three steps
// (runoff/run/simulation.h); any failure prints one line and ends the run with exit status 1,
// leaving no output file under its final name.
#include <algorithm>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/status.h"
#include "runoff/output/discharge_output.h"
#include "runoff/run/sim_options.h"
#include "runoff/run/simulation.h"
#ifdef RUNOFF_HAVE_NETCDF
#include "runoff/output/netcdf_sink.h"
#endif

namespace {

using namespace runoff;

// What this program adds to the run: the NetCDF writer, where it is built with the NetCDF
// library.
class SimHooks : public RunHooks {
 public:
  explicit SimHooks(std::vector<std::string> argv) : argv_(std::move(argv)) {}

  OutputMakers outputMakers([[maybe_unused]] const Simulation& run) override {
    OutputMakers makers;
#ifdef RUNOFF_HAVE_NETCDF
    makers.netcdf = [&](const std::string& path, NetcdfDescription description) {
      description.history = netcdfHistory(argv_);
      description.source = netcdfSource("runoff-sim");
      Result<std::unique_ptr<NetcdfSink>> made = NetcdfSink::create(
          path, description, selectedInFileOrder(run.inputs().topo, run.inputs().selected));
      if (!made.ok()) return OutputMakers::Made(made.status());
      return OutputMakers::Made(std::unique_ptr<WindowSink>(std::move(made).value()));
    };
#endif
    return makers;
  }

 private:
  std::vector<std::string> argv_;
};

Status simulate(const SimOptions& options, const std::vector<std::string>& argv) {
  SimHooks hooks(argv);
  Simulation run(options, std::cout, &hooks);
  if (Status s = run.initialize(); !s.ok()) return s;
  if (Status s = run.advance(run.totalHours()); !s.ok()) return s;
  return run.finalize();
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
