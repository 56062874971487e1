#include "runoff/inputs/soil_grids.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/fnv1a.h"
#include "common/input_file.h"

namespace runoff {

std::string soilGridName(SoilGrid grid) {
  const std::string file = kSoilGrids[grid].file;
  return file.substr(0, file.rfind('.'));
}

float scaledSoilValue(SoilGrid grid, float value, double factor) {
  return scaledGridValue(kSoilGrids[grid].range, value, factor);
}

SoilParameters SoilGrids::parametersOf(std::int32_t index) const {
  const auto at = [&](SoilGrid grid) {
    return static_cast<double>(values[grid][static_cast<std::size_t>(index)]);
  };
  return {at(kSoilCapacity), at(kPercolation), at(kBaseflowTime)};
}

std::uint64_t soilGridsChecksum(const SoilGrids& grids, const TopoGrid& topo) {
  std::uint64_t hash = kFnvBasis;
  for (const std::vector<float>& values : grids.values) hash = parameterGridHash(values, topo, hash);
  return hash;
}

Result<SoilGrids> loadSoilGrids(const TopoGrid& topo, const std::vector<std::uint8_t>& selected,
                                const std::string& folder) {
  SoilGrids grids;
  for (std::size_t g = 0; g < kSoilGridCount; ++g) {
    const std::string path = folder + kSoilGrids[g].file;
    std::ifstream in;
    const InputFault fault = openInputFile(in, path, std::ios::binary);
    if (fault != InputFault::kNone) {
      std::error_code error;
      if (fault == InputFault::kDirectory || std::filesystem::exists(path, error)) {
        return inputFailure(path, fault);
      }
      return Status::cannotOpen(path + " cannot open; --soil needs it.");
    }
    if (Status read =
            readParameterGrid(in, path, kSoilGrids[g].range, topo, selected, grids.values[g]);
        !read.ok()) {
      return read;
    }
  }
  grids.checksum = soilGridsChecksum(grids, topo);
  return grids;
}

}  // namespace runoff
