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

/// Every scheme with its name, as the command line spells it.
struct SchemeName {
  Scheme scheme;
  const char* name;
};
inline constexpr SchemeName kSchemeNames[] = {{Scheme::kClassic, "classic"},
                                              {Scheme::kConservative, "conservative"}};

/// "classic" or "conservative".
inline const char* schemeName(Scheme scheme) {
  for (const SchemeName& entry : kSchemeNames) {
    if (entry.scheme == scheme) return entry.name;
  }
  return "unknown";
}

/// The scheme spelled `name`, or nothing for any other text.
inline std::optional<Scheme> schemeNamed(std::string_view name) {
  for (const SchemeName& entry : kSchemeNames) {
    if (entry.name == name) return entry.scheme;
  }
  return std::nullopt;
}

}  // namespace runoff

#endif  // RUNOFF_MODEL_ROUTING_SCHEME_H_
