// FNV-1a, the 64-bit variant (offset basis 14695981039346656037, prime 1099511628211): the
// checksum of the restart state and of the grids its key names. Not a cryptographic hash; it
// tells a damaged or foreign file from the expected one.
#ifndef RUNOFF_COMMON_FNV1A_H_
#define RUNOFF_COMMON_FNV1A_H_

#include <cstddef>
#include <cstdint>

namespace runoff {

inline constexpr std::uint64_t kFnvBasis = 14695981039346656037ull;
inline constexpr std::uint64_t kFnvPrime = 1099511628211ull;

/// The hash of `size` bytes, continuing from `hash` (the basis for a fresh one).
inline std::uint64_t fnv1a(const unsigned char* bytes, std::size_t size,
                           std::uint64_t hash = kFnvBasis) {
  for (std::size_t i = 0; i < size; ++i) {
    hash ^= bytes[i];
    hash *= kFnvPrime;
  }
  return hash;
}

}  // namespace runoff

#endif  // RUNOFF_COMMON_FNV1A_H_
