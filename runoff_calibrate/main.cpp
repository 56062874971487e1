// runoff-calibrate: fits parameters of the working directory's model to observed discharge
// at gauges, evaluating candidates on every core from one set-up, and writes the best
// parameter file, the trace of the search, the scores and a hydrograph per gauge into
// calibration/ (runoff-calibrate --help). Any failure prints one line and ends with exit
// status 1; every refusal of the inputs comes before anything is written.
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/routing/window_router.h"
#include "runoff_calibrate/calibrate_options.h"
#include "runoff_calibrate/calibration.h"

namespace {

int fail(const std::string& message) {
  std::cout << message << std::endl;
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace runoff;
  try {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const Result<CalibrateOptions> options = parseCalibrateOptions(args);
    if (!options.ok()) return fail("runoff-calibrate: " + options.message());
    if (options->help) {
      std::cout << calibrateUsage();
      return 0;
    }
    const Status done = calibrate(*options, std::cout);
    std::cout.flush();
    return done.ok() ? 0 : fail(done.message());
  } catch (const std::bad_alloc&) {
    return fail(kOutOfMemory);
  } catch (const std::length_error&) {
    return fail(kOutOfMemory);
  } catch (const std::exception& error) {
    return fail(std::string("runoff-calibrate: unexpected failure: ") + error.what());
  }
}
