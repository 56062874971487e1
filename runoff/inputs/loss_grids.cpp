#include "runoff/inputs/loss_grids.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/fnv1a.h"
#include "common/input_file.h"

namespace runoff {

std::string lossGridName(LossGrid grid) {
  const std::string file = kLossGrids[grid].file;
  return file.substr(0, file.rfind('.'));
}

float scaledLossValue(LossGrid grid, float value, double factor) {
  return scaledGridValue(kLossGrids[grid].range(), value, factor);
}

LossParameters LossGrids::parametersOf(std::int32_t index) const {
  auto at = [&](LossGrid grid) {
    const std::vector<float>& v = values[grid];
    return v.empty() ? 0.0 : static_cast<double>(v[static_cast<std::size_t>(index)]);
  };
  LossParameters p;
  p.impervious = at(kImpervious);
  p.initialLoss = at(kInitialLoss);
  p.constantLoss = at(kConstantLoss);
  p.lossRecovery = at(kLossRecovery);
  p.curveNumber = at(kCurveNumber);
  p.ksat = at(kKsat);
  p.suction = at(kSuction);
  p.moistureDeficit = at(kMoistureDeficit);
  return p;
}

std::uint64_t lossGridsChecksum(const LossGrids& grids, const TopoGrid& topo) {
  std::uint64_t hash = kFnvBasis;
  for (std::size_t g = 0; g < kLossGridCount; ++g) {
    if (!readsLossGrid(grids.method, static_cast<LossGrid>(g))) continue;
    hash = parameterGridHash(grids.values[g], topo, hash);
  }
  return hash;
}

Result<LossGrids> loadLossGrids(LossMethod method, const TopoGrid& topo,
                                const std::vector<std::uint8_t>& selected,
                                const std::string& folder) {
  LossGrids grids;
  grids.method = method;
  if (method == LossMethod::kNone) return grids;
  for (std::size_t g = 0; g < kLossGridCount; ++g) {
    if (!readsLossGrid(method, static_cast<LossGrid>(g))) continue;
    const LossGridFile& entry = kLossGrids[g];
    const std::string path = folder + entry.file;
    std::ifstream in;
    const InputFault fault = openInputFile(in, path, std::ios::binary);
    if (fault != InputFault::kNone) {
      std::error_code error;
      if (fault == InputFault::kDirectory || std::filesystem::exists(path, error)) {
        return inputFailure(path, fault);
      }
      if (!entry.required) continue;  // absent: 0 on every cell
      return Status::cannotOpen(path + " cannot open; --losses " +
                                std::string(lossMethodName(method)) + " needs it.");
    }
    if (Status read = readParameterGrid(in, path, entry.range(), topo, selected, grids.values[g]);
        !read.ok()) {
      return read;
    }
  }
  grids.checksum = lossGridsChecksum(grids, topo);
  return grids;
}

}  // namespace runoff
