#include "runoff/inputs/parameter_grid.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/binary_grid.h"
#include "common/fnv1a.h"

namespace runoff {
namespace {

std::string shortest(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

}  // namespace

std::string GridRange::text() const {
  const std::string low = shortest(static_cast<float>(min));
  if (max == kUnbounded) return minOpen ? "a number above " + low : "a number of " + low + " or more";
  return (minOpen ? "above " + low + " and up to " : "from " + low + " to ") +
         shortest(static_cast<float>(max));
}

float scaledGridValue(const GridRange& range, float value, double factor) {
  if (!std::isfinite(value)) return value;
  float scaled =
      static_cast<float>(std::clamp(static_cast<double>(value) * factor, range.min, range.max));
  if (range.minOpen && !(static_cast<double>(scaled) > range.min)) {
    scaled = std::nextafter(static_cast<float>(range.min), std::numeric_limits<float>::infinity());
  }
  return scaled;
}

Status readParameterGrid(std::istream& in, const std::string& path, const GridRange& range,
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
      if (!range.accepts(static_cast<double>(v))) {
        return Status::invalid(path + ": the value at column " + std::to_string(c + 1) + ", row " +
                               std::to_string(k + 1) + " (counted from 1 at the south-west) is " +
                               shortest(v) + "; it must be " + range.text() + ".");
      }
    }
  }
  return {};
}

std::uint64_t parameterGridHash(const std::vector<float>& values, const TopoGrid& topo,
                                std::uint64_t hash) {
  std::vector<unsigned char> row(static_cast<std::size_t>(topo.cols) * 4);
  // File order: rows from the south; the arrays hold row 0 in the north.
  for (std::int32_t r = topo.rows - 1; r >= 0; --r) {
    for (std::int32_t c = 0; c < topo.cols; ++c) {
      std::uint32_t bits = 0;
      if (!values.empty()) std::memcpy(&bits, &values[topo.index(r, c)], 4);
      storeLittle32(bits, row.data() + static_cast<std::size_t>(c) * 4);
    }
    hash = fnv1a(row.data(), row.size(), hash);
  }
  return hash;
}

}  // namespace runoff
