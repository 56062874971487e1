// Writes the seed corpus of run_state_fuzz into the directory given: states of the fuzz run
// written by the model's own writer, each behind the target's first byte, valid ones and
// damaged ones. Run it again if the state layout changes:
//   build-fuzz/make_state_seeds bench/fuzz/corpus/run_state
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_state.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A state of the fuzz run as the model writes it.
Bytes written(const std::filesystem::path& dir, const std::vector<std::int32_t>& cells) {
  runoff::CellStates values;
  values.nodes = runoff::fuzz::smallParameters().spaceSteps;
  for (std::size_t i = 0; i < cells.size() * values.stride(); ++i) {
    values.values.push_back(0.125 * static_cast<double>(i) + (i % 4 == 3 ? 1e-3 : 0.0));
  }
  const std::string path = (dir / "seed.tmp").string();
  auto file = runoff::writeRunState(path, runoff::fuzz::stateKey(), 2, cells, values);
  if (!file.ok() || !(*file)->publish()) {
    std::cerr << "cannot write " << path << '\n';
    std::exit(1);
  }
  std::ifstream in(path, std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove(path);
  return bytes;
}

void save(const std::filesystem::path& dir, const std::string& name, std::uint8_t mode,
          const Bytes& state) {
  std::ofstream out(dir / name, std::ios::binary);
  out.put(static_cast<char>(mode));
  out.write(reinterpret_cast<const char*>(state.data()), static_cast<std::streamsize>(state.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_state_seeds DIRECTORY\n";
    return 1;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  const Bytes valid = written(dir, runoff::fuzz::routedCells());
  save(dir, "valid", 0, valid);
  save(dir, "valid-resealed", 1, valid);
  save(dir, "no-cells", 2, written(dir, {}));

  Bytes flipped = valid;
  flipped[flipped.size() - 20] ^= 0x10;
  save(dir, "flipped-value", 0, flipped);
  save(dir, "cut-short", 1, Bytes(valid.begin(), valid.end() - 9));
  save(dir, "only-the-start", 0, Bytes(valid.begin(), valid.begin() + 10));
  Bytes version = valid;
  version[8] = 2;
  save(dir, "other-version", 1, version);
  Bytes timeStep = valid;
  timeStep[12 + 68] ^= 0x01;  // the low byte of the time step
  save(dir, "other-time-step", 1, timeStep);
  Bytes cell = valid;
  cell[152] ^= 0x01;  // the first routed cell's index
  save(dir, "other-cells", 1, cell);
  save(dir, "more-cells-than-routed", 3, valid);
  const std::string text = "3 100 100 -84.3\n";
  save(dir, "not-a-state-file", 0, Bytes(text.begin(), text.end()));
  return 0;
}
