#include "runoff/inputs/loss_grids.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/binary_grid.h"
#include "common/fnv1a.h"
#include "common/input_file.h"

namespace runoff {

std::string lossGridName(LossGrid grid) {
  const std::string file = kLossGrids[grid].file;
  return file.substr(0, file.rfind('.'));
}

float scaledLossValue(LossGrid grid, float value, double factor) {
  if (!std::isfinite(value)) return value;
  const LossGridFile& entry = kLossGrids[grid];
  return static_cast<float>(std::clamp(static_cast<double>(value) * factor, entry.min, entry.max));
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
  std::vector<unsigned char> row(static_cast<std::size_t>(topo.cols) * 4);
  for (std::size_t g = 0; g < kLossGridCount; ++g) {
    if (!readsLossGrid(grids.method, static_cast<LossGrid>(g))) continue;
    const std::vector<float>& values = grids.values[g];
    // File order: rows from the south; the arrays hold row 0 in the north.
    for (std::int32_t r = topo.rows - 1; r >= 0; --r) {
      for (std::int32_t c = 0; c < topo.cols; ++c) {
        std::uint32_t bits = 0;
        if (!values.empty()) std::memcpy(&bits, &values[topo.index(r, c)], 4);
        storeLittle32(bits, row.data() + static_cast<std::size_t>(c) * 4);
      }
      hash = fnv1a(row.data(), row.size(), hash);
    }
  }
  return hash;
}

namespace {

std::string shortest(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string rangeText(const LossGridFile& entry) {
  if (entry.max == kUnbounded) {
    return "a number of " + shortest(static_cast<float>(entry.min)) + " or more";
  }
  return "from " + shortest(static_cast<float>(entry.min)) + " to " +
         shortest(static_cast<float>(entry.max));
}

// Reads one grid whole from `in` into `values` (TopoGrid order) and checks it on the selected
// cells.
Status readLossGrid(std::ifstream& in, const std::string& path, const LossGridFile& entry,
                    const TopoGrid& topo, const std::vector<std::uint8_t>& selected,
                    std::vector<float>& values) {
  const std::size_t cells = static_cast<std::size_t>(topo.rows) * topo.cols;
  std::error_code error;
  const std::uintmax_t bytes = std::filesystem::file_size(path, error);
  if (!error && bytes != cells * 4) {
    return Status::invalid(path + " has " + std::to_string(bytes) + " bytes; the grid needs " +
                           std::to_string(cells * 4) + " (" + std::to_string(topo.rows) +
                           " rows x " + std::to_string(topo.cols) + " columns of 4 bytes).");
  }
  std::vector<float> records(cells);
  if (error || !readFloatRecords(in, records)) return Status::ioError(path + " cannot be read.");
  values.assign(cells, 0.0f);
  std::size_t p = 0;
  for (std::int32_t k = 0; k < topo.rows; ++k) {  // k: row from the south
    for (std::int32_t c = 0; c < topo.cols; ++c, ++p) {
      const std::int32_t index = topo.index(topo.rows - 1 - k, c);
      const float v = records[p];
      values[static_cast<std::size_t>(index)] = v;
      if (!selected[static_cast<std::size_t>(index)]) continue;
      const double value = static_cast<double>(v);
      if (!(std::isfinite(value) && value >= entry.min && value <= entry.max)) {
        return Status::invalid(path + ": the value at column " + std::to_string(c + 1) + ", row " +
                               std::to_string(k + 1) + " (counted from 1 at the south-west) is " +
                               shortest(v) + "; it must be " + rangeText(entry) + ".");
      }
    }
  }
  return {};
}

}  // namespace

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
    if (Status read = readLossGrid(in, path, entry, topo, selected, grids.values[g]); !read.ok()) {
      return read;
    }
  }
  grids.checksum = lossGridsChecksum(grids, topo);
  return grids;
}

}  // namespace runoff
