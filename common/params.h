// The run parameters shared by every program, read from "param-ravo-event-ver300.dat".
//
// File format: 19 numbers separated by any white space, in this order (sections in brackets):
//   [1 study area]  topoScale (float, arc-seconds) topoCols topoRows (int)
//                   topoSwLon topoSwLat (double, degrees, outer south-west corner)
//   [2 input data]  rainCols rainRows (int) rainDx rainDy (double, degrees)
//                   rainSwLon rainSwLat (double, degrees, centre of the south-west rain cell)
//   [3 duration]    days (int)
//   [4 fin. diff.]  timeStep (int, s) spaceSteps (int) fdWeight (double)
//   [5 kin. wave]   slopeManning channelManning (double) channelThreshold (int, cells)
//   [6 initial]     initialRunoff (double, mm/h)
// Anything after the last value a program reads is never looked at. The reader echoes every
// value on the console as it reads it, flushing at each line end.
#ifndef RUNOFF_COMMON_PARAMS_H_
#define RUNOFF_COMMON_PARAMS_H_

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

#include "common/status.h"

namespace runoff {

struct RunParameters {
  float topoScale = 0;  // cell size of the topography grid, arc-seconds
  std::int32_t topoCols = 0;
  std::int32_t topoRows = 0;
  double topoSwLon = 0;  // degrees
  double topoSwLat = 0;
  std::int32_t rainCols = 0;
  std::int32_t rainRows = 0;
  double rainDx = 0;  // degrees
  double rainDy = 0;
  double rainSwLon = 0;
  double rainSwLat = 0;
  std::int32_t days = 0;
  std::int32_t timeStep = 0;  // seconds
  std::int32_t spaceSteps = 0;
  double fdWeight = 0;
  double slopeManning = 0;
  double channelManning = 0;
  std::int32_t channelThreshold = 0;  // flow accumulation, cells
  double initialRunoff = 0;           // mm/h
  std::int32_t subSteps = 0;          // 3600 / timeStep, truncated: time steps per hour
};

enum class ParamScope {
  kSimulation,     // all six sections, the simulator's labels
  kPostProcessor,  // sections 1 to 3 only, the post-processors' labels
};

inline constexpr const char* kParameterFileName = "param-ravo-event-ver300.dat";

/// Reads and echoes the parameters from `in`. Stops at the first missing, malformed or
/// unusable value (an invalid status naming it); the echo lines completed before it stay
/// written.
Result<RunParameters> readParameters(std::istream& in, ParamScope scope, std::ostream& echo);

/// Writes the opening line, opens `path` and reads it as above. A file that cannot be
/// opened, or a directory in its place, gives a cannot-open status with
/// "param-ravo-event-ver300.dat cannot open.".
Result<RunParameters> readParameters(const std::string& path, ParamScope scope, std::ostream& echo);

}  // namespace runoff

#endif  // RUNOFF_COMMON_PARAMS_H_
