// The restart state, read against the fixed run of fuzz_state.h. The first byte chooses how:
// bit 0 set, the last 8 bytes are replaced by the right checksum first (a mutated state then
// reaches the key and cell checks instead of stopping at its checksum); bit 1 set, the run
// routes no cell. The bytes after it are the state file.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_state.h"

namespace {

// Offsets of the layout in run_state.h: magic 8, version 4, key 124 bytes.
constexpr std::size_t kDaysAt = 136;
constexpr std::size_t kCellsAt = 152;

template <typename T>
T little(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  std::uint64_t u = 0;
  for (std::size_t i = sizeof(T); i-- > 0;) u = u << 8 | bytes[at + i];
  T value;
  std::memcpy(&value, &u, sizeof(T));
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const runoff::StateKey key = runoff::fuzz::stateKey();
  static const std::vector<std::int32_t> someCells = runoff::fuzz::routedCells();
  if (size == 0) return 0;
  std::vector<std::uint8_t> state(data + 1, data + size);
  if (data[0] & 1) runoff::fuzz::reseal(state);
  const std::vector<std::int32_t> cells = data[0] & 2 ? std::vector<std::int32_t>{} : someCells;

  auto read = runoff::readRunState(state, "fuzz", key, cells);
  if (!read.ok()) {
    const std::string& m = read.message();
    const bool named = m.rfind("State file fuzz ", 0) == 0 ||
                       m == "fuzz is not a state file of this model.";
    if (!named || m.find('\n') != std::string::npos) __builtin_trap();
    return 0;
  }
  // An accepted state is exactly the layout for these cells, and hands back what it holds.
  const std::size_t stride = static_cast<std::size_t>(key.spaceSteps) + 2;
  const std::size_t record = 4 + 8 * stride;
  if (state.size() != kCellsAt + cells.size() * record + 8) __builtin_trap();
  if (read->daysBefore != little<std::int64_t>(state, kDaysAt)) __builtin_trap();
  if (read->cells.nodes != key.spaceSteps) __builtin_trap();
  if (read->cells.values.size() != cells.size() * stride) __builtin_trap();
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const std::size_t at = kCellsAt + i * record;
    if (little<std::int32_t>(state, at) != cells[i]) __builtin_trap();
    for (std::size_t v = 0; v < stride; ++v) {
      const double stored = little<double>(state, at + 4 + 8 * v);
      if (std::memcmp(&stored, &read->cells.values[i * stride + v], 8) != 0) __builtin_trap();
    }
  }
  return 0;
}
