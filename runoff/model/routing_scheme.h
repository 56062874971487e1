// The two numerical schemes a run can route with. The classic scheme advances discharge in the
// celerity form of the kinematic wave and is the default; the conservative scheme advances the
// continuity equation in storage form and keeps the water budget closed. A run uses one scheme
// for every cell and every window; a restart state records which.
#ifndef RUNOFF_MODEL_ROUTING_SCHEME_H_
#define RUNOFF_MODEL_ROUTING_SCHEME_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace runoff {

/// The number is the one a restart state stores.
enum class Scheme : std::uint32_t { kClassic = 0, kConservative = 1 };

/// "classic" or "conservative", as the command line spells it.
inline const char* schemeName(Scheme scheme) {
  return scheme == Scheme::kConservative ? "conservative" : "classic";
}

/// The scheme spelled `name`, or nothing for any other text.
inline std::optional<Scheme> schemeNamed(std::string_view name) {
  if (name == "classic") return Scheme::kClassic;
  if (name == "conservative") return Scheme::kConservative;
  return std::nullopt;
}

}  // namespace runoff

#endif  // RUNOFF_MODEL_ROUTING_SCHEME_H_
