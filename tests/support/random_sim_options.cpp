#include "support/random_sim_options.h"

#include <algorithm>

namespace runoff::testing {

std::vector<std::string> randomSimOptions(Draw& draw, const RandomBasin& basin, bool netcdf) {
  std::vector<std::string> args;
  if (draw.chance(0.6)) {
    std::vector<std::string> grids = {"daily", "max", "hourly"};
    // A random order, then a random number of them from the front.
    for (int k = 2; k > 0; --k) std::swap(grids[k], grids[draw.between(0, k)]);
    std::string list = grids[0];
    for (int k = 1, n = draw.between(1, 3); k < n; ++k) list += "," + grids[k];
    args.insert(args.end(), {"--outputs", list});
  }
  const bool gauges = draw.chance(0.35);
  if (gauges) {
    args.insert(args.end(), {"--gauges", "gauges.csv"});
    if (draw.chance(0.5)) args.insert(args.end(), {"--snap", std::to_string(draw.between(0, 4))});
  }
  const bool withNetcdf = netcdf && draw.chance(0.3);
  if (withNetcdf) args.push_back("--netcdf");
  if ((gauges || withNetcdf) && (basin.rainEmpty() || draw.chance(0.2))) {
    args.insert(args.end(), {"--start", "2021-03-04T05:06:07"});
  }
  if (draw.chance(0.3)) args.insert(args.end(), {"--scheme", "conservative"});
  const int losses = draw.between(0, 7);
  if (losses == 1 || losses == 2) args.insert(args.end(), {"--losses", "constant"});
  if (losses == 3 || losses == 4) {
    args.insert(args.end(), {"--losses", "scs-cn"});
    if (draw.chance(0.5)) args.insert(args.end(), {"--ia-ratio", draw.oneOf<std::string>({"0.05", "0.2", "1"})});
    if (draw.chance(0.5)) args.insert(args.end(), {"--event-gap", std::to_string(draw.between(1, 30))});
  }
  if (losses == 5) {
    args.insert(args.end(), {"--losses", "green-ampt"});
    if (draw.chance(0.5)) args.insert(args.end(), {"--event-gap", std::to_string(draw.between(1, 30))});
  }
  if (draw.chance(0.3)) args.push_back("--budget");
  // Drawn last, so that the options drawn before it keep their seeds.
  if (draw.chance(0.3)) args.insert(args.end(), {"--power", "fast"});
  // The soil after it, for the same reason.
  if (draw.chance(0.25)) {
    args.push_back("--soil");
    if (draw.chance(0.6)) {
      args.insert(args.end(), {"--pet", draw.oneOf<std::string>({"0.5", "3", "12"})});
    }
    if (draw.chance(0.5)) args.insert(args.end(), {"--baseflow-start", "0.05"});
  }
  return args;
}

}  // namespace runoff::testing
