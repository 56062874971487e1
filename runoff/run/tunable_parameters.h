// The parameters a calibration may fit, by the names a user writes in its parameter list. Each
// sets one value of the parameter file (its field number says where the value stands there),
// or scales a loss or soil grid: the grid's name, with a factor applied to every cell of that
// grid and clamped to the grid's valid range; or sets a value of the soil's rule, which
// runoff-sim takes as an option (soilStart --soil-start, baselineBaseflow --baseflow-start,
// etThreshold --et-threshold); or sets a constant of one lake of the lake list, lake:NAME:a or
// lake:NAME:b (runoff/inputs/lake_list.h), kept above 0.
#ifndef RUNOFF_RUN_TUNABLE_PARAMETERS_H_
#define RUNOFF_RUN_TUNABLE_PARAMETERS_H_

#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/params.h"
#include "runoff/model/soil.h"

namespace runoff {

enum class TunableKind {
  kParameterFile,   // a value of the parameter file
  kLossGridFactor,  // a factor on every cell of a loss grid
  kLakeConstant,    // a or b of a lake
  kSoilGridFactor,  // a factor on every cell of a soil grid
  kSoilRule,        // a value of the soil's rule, a runoff-sim option
};

struct Tunable {
  const char* name;
  TunableKind kind;
  int field = 0;                          // of the parameter file, counted from 1 (kParameterFile)
  double RunParameters::*real = nullptr;  // the value it sets, or
  std::int32_t RunParameters::*whole = nullptr;  // a whole number (rounded to the nearest)
  // The values the model accepts, as the parameter file's reader checks them.
  double lowest = -HUGE_VAL;
  bool lowestOpen = false;  // lowest itself excluded
  double highest = HUGE_VAL;
  const char* valid = "";            // the same in words: "above 0", "from 0 to 1"
  int lossGrid = -1;                 // the LossGrid it scales (kLossGridFactor)
  const char* lake = nullptr;        // the lake's name (kLakeConstant)
  bool lakeB = false;                // b rather than a (kLakeConstant)
  int soilGrid = -1;                 // the SoilGrid it scales (kSoilGridFactor)
  double SoilRule::*soil = nullptr;  // the value it sets (kSoilRule)
  const char* option = "";           // runoff-sim's option for it (kSoilRule)
};

/// Every parameter a calibration knows: those of the parameter file in its order, then a
/// factor for each loss grid in the order of kLossGrids, a factor for each soil grid in the
/// order of kSoilGrids, and the soil's rule (soilStart, baselineBaseflow, etThreshold).
std::span<const Tunable> tunables();

/// The parameter called `name`, or null. Any lake:NAME:a or lake:NAME:b with a name is one;
/// whether the lake list holds NAME is for the run to check.
const Tunable* findTunable(std::string_view name);

/// The names, comma separated, for a message.
std::string tunableNames();

/// True when the model accepts `value` for `tunable`.
bool tunableAccepts(const Tunable& tunable, double value);

/// The value `params` (or `soil`) holds for `tunable` (1 for a grid's factor, 0 for a lake's
/// constant, which the lake list holds).
double tunableValue(const RunParameters& params, const Tunable& tunable, const SoilRule& soil = {});

/// The value the model runs with when `tunable` is set to `value`: an integer parameter's
/// nearest whole number, any other value itself.
double valueRunWith(const Tunable& tunable, double value);

/// Sets `tunable` in `params` to `value` (an integer parameter rounded to the nearest whole
/// number); a grid's factor is not a value of `params` and leaves it unchanged, nor is a value
/// of the soil's rule, which setSoilTunable sets.
void setTunable(RunParameters& params, const Tunable& tunable, double value);
void setSoilTunable(SoilRule& soil, const Tunable& tunable, double value);

}  // namespace runoff

#endif  // RUNOFF_RUN_TUNABLE_PARAMETERS_H_
