// The command line of runoff-sim. Without options a run is exactly the plain run: every file at
// its fixed path, the same console text. The options add a restart state to read or write,
// choose the routing scheme and the rainfall loss method, ask for a water budget at the end, and
// choose what is written: which of the three discharge grids, the series of a list of gauges, a
// NetCDF file.
#ifndef RUNOFF_RUN_SIM_OPTIONS_H_
#define RUNOFF_RUN_SIM_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/discharge_files.h"
#include "common/status.h"
#include "runoff/model/losses.h"
#include "runoff/model/power_choice.h"
#include "runoff/model/routing_scheme.h"
#include "runoff/model/soil.h"

namespace runoff {

struct SimOptions {
  bool help = false;
  std::optional<std::string> stateIn;   // start from this state instead of initialRunoff
  std::optional<std::string> stateOut;  // write the final state here after a successful run
  Scheme scheme = Scheme::kClassic;
  PowerFunction power = PowerFunction::kLibm;  // --power: the kernels' power function
  bool waterBudget = false;                    // --budget: print the water budget at the end
  LossRule losses;                             // --losses, --ia-ratio, --event-gap
  bool soil = false;                  // --soil: soil and groundwater stores on every routed cell
  SoilRule soilRule;                  // --et-threshold, --soil-start, --baseflow-start
  std::optional<double> petMmPerDay;  // --pet: a constant PET instead of input/pet.dat
  // --outputs: the grids written (the raw files, and the NetCDF file's variables)
  DischargeFileSet outputs = DischargeFileSet::all();
  bool outputsGiven = false;
  std::optional<std::string> gauges;  // --gauges: the gauge list whose series is written
  std::int32_t snap = 2;              // --snap: cells a gauge may move to reach the river
  bool netcdf = false;                // --netcdf: write output/discharge.nc
  std::optional<std::string> start;   // --start: the run's start, for gauges and NetCDF
  std::optional<std::string> lakes;     // --lakes: the lake list
  std::optional<std::string> releases;  // --releases: the releases of its reservoirs

  /// The raw discharge files to write: those of --outputs, none with --netcdf unless
  /// --outputs names them.
  DischargeFileSet rawFiles() const {
    return netcdf && !outputsGiven ? DischargeFileSet::none() : outputs;
  }
};

/// The loss method and its options as the command line gives them (--losses, --ia-ratio,
/// --event-gap), each checked, into `rule`: refuses with one line an unknown method, a ratio
/// outside (0, 1], a gap that is not a whole number of hours above 0, and an option of a method
/// that is not chosen.
Status parseLossOptions(const std::optional<std::string>& method,
                        const std::optional<std::string>& iaRatio,
                        const std::optional<std::string>& eventGap, LossRule& rule);

/// The options of the soil and groundwater stores as the command line gives them (--soil and
/// --et-threshold, --soil-start, --baseflow-start, --pet), each checked, into `rule` and
/// `petMmPerDay`: refuses with one line a threshold outside (0, 1], a start share outside 0 to
/// 1, a negative baseflow or PET, and any of them without --soil.
Status parseSoilOptions(bool soil, const std::optional<std::string>& etThreshold,
                        const std::optional<std::string>& soilStart,
                        const std::optional<std::string>& baseflowStart,
                        const std::optional<std::string>& pet, SoilRule& rule,
                        std::optional<double>& petMmPerDay);

/// Parses the arguments after the program name ("--name VALUE" or "--name=VALUE"). Refuses an
/// unknown option, a missing or unknown value, an option given twice and any other argument,
/// naming it.
Result<SimOptions> parseSimOptions(const std::vector<std::string>& args);

/// The text of --help for the program `program`.
std::string simHelpText(const std::string& program);

}  // namespace runoff

#endif  // RUNOFF_RUN_SIM_OPTIONS_H_
