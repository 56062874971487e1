// The parameters a calibration may fit, by the names a user writes in its parameter list. Each
// sets one value of the parameter file (its field number says where the value stands there),
// or scales a loss grid: the grid's name, with a factor applied to every cell of that grid and
// clamped to the grid's valid range; or sets a constant of one lake of the lake list,
// lake:NAME:a or lake:NAME:b (runoff/inputs/lake_list.h), kept above 0.
#ifndef RUNOFF_RUN_TUNABLE_PARAMETERS_H_
#define RUNOFF_RUN_TUNABLE_PARAMETERS_H_

#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/params.h"

namespace runoff {

enum class TunableKind {
  kParameterFile,   // a value of the parameter file
  kLossGridFactor,  // a factor on every cell of a loss grid
  kLakeConstant,    // a or b of a lake
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
  const char* valid = "";  // the same in words: "above 0", "from 0 to 1"
  int lossGrid = -1;       // the LossGrid it scales (kLossGridFactor)
  const char* lake = nullptr;  // the lake's name (kLakeConstant)
  bool lakeB = false;          // b rather than a (kLakeConstant)
};

/// Every parameter a calibration knows: those of the parameter file in its order, then a
/// factor for each loss grid in the order of kLossGrids.
std::span<const Tunable> tunables();

/// The parameter called `name`, or null. Any lake:NAME:a or lake:NAME:b with a name is one;
/// whether the lake list holds NAME is for the run to check.
const Tunable* findTunable(std::string_view name);

/// The names, comma separated, for a message.
std::string tunableNames();

/// True when the model accepts `value` for `tunable`.
bool tunableAccepts(const Tunable& tunable, double value);

/// The value `params` holds for `tunable` (1 for a loss grid's factor, 0 for a lake's constant,
/// which the lake list holds).
double tunableValue(const RunParameters& params, const Tunable& tunable);

/// The value the model runs with when `tunable` is set to `value`: an integer parameter's
/// nearest whole number, any other value itself.
double valueRunWith(const Tunable& tunable, double value);

/// Sets `tunable` in `params` to `value` (an integer parameter rounded to the nearest whole
/// number); a loss grid's factor is not a value of `params` and leaves it unchanged.
void setTunable(RunParameters& params, const Tunable& tunable, double value);

}  // namespace runoff

#endif  // RUNOFF_RUN_TUNABLE_PARAMETERS_H_
