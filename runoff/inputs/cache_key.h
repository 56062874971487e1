// The key test shared by the simulator's caches: each begins with values copied from the
// parameter file and is used only when they still match the current parameters.
#ifndef RUNOFF_INPUTS_CACHE_KEY_H_
#define RUNOFF_INPUTS_CACHE_KEY_H_

#include <cfloat>
#include <cmath>

namespace runoff {

// A cache key value read back from text equals the current parameter when they differ by no
// more than the smallest normal double: in effect, when they are the same double.
inline bool keyValueMatches(double stored, double current) {
  return std::fabs(current - stored) <= DBL_MIN;
}

}  // namespace runoff

#endif  // RUNOFF_INPUTS_CACHE_KEY_H_
