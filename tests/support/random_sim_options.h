// Random command lines of runoff-sim (and of any program that takes its options) for a random
// working directory (support/random_basin.h): which grids are written, gauges, the NetCDF file
// and its start, the routing scheme, the loss method with its options, the water budget. Drawn
// from the test's Draw, so that the seed that made the directory makes the command too.
#ifndef RUNOFF_TESTS_SUPPORT_RANDOM_SIM_OPTIONS_H_
#define RUNOFF_TESTS_SUPPORT_RANDOM_SIM_OPTIONS_H_

#include <string>
#include <vector>

#include "support/random_basin.h"

namespace runoff::testing {

/// The options of one run in the working directory of `basin`: --outputs (absent, or some of
/// the three grids in any order), --gauges gauges.csv with or without --snap, --netcdf when
/// `netcdf` (the programs compared both write it), --start (always when the rainfall file
/// cannot date the run), --scheme, --losses with --ia-ratio and --event-gap, --budget,
/// --power, --soil with --pet and --baseflow-start. An option that joins is drawn after the others, so that a seed keeps the rest of
/// its command.
std::vector<std::string> randomSimOptions(Draw& draw, const RandomBasin& basin, bool netcdf);

}  // namespace runoff::testing

#endif  // RUNOFF_TESTS_SUPPORT_RANDOM_SIM_OPTIONS_H_
