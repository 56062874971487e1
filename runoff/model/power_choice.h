// The power function the routing kernels raise discharges with. The C library's pow is the
// default and gives the outputs of the plain design byte for byte; the kernel's own power
// (power.h) takes several cells at once and gives the same bits on every processor, differing
// from pow by rounding in the last place. A run uses one for every cell and every window.
#ifndef RUNOFF_MODEL_POWER_CHOICE_H_
#define RUNOFF_MODEL_POWER_CHOICE_H_

#include <optional>
#include <string_view>

namespace runoff {

enum class PowerFunction { kLibm, kFast };

/// Every choice with its name, as the command line spells it.
struct PowerFunctionName {
  PowerFunction power;
  const char* name;
};
inline constexpr PowerFunctionName kPowerFunctionNames[] = {{PowerFunction::kLibm, "libm"},
                                                            {PowerFunction::kFast, "fast"}};

/// The choice spelled `name` ("libm" or "fast"), or nothing for any other text.
inline std::optional<PowerFunction> powerFunctionNamed(std::string_view name) {
  for (const PowerFunctionName& entry : kPowerFunctionNames) {
    if (entry.name == name) return entry.power;
  }
  return std::nullopt;
}

}  // namespace runoff

#endif  // RUNOFF_MODEL_POWER_CHOICE_H_
