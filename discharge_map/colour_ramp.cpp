#include "discharge_map/colour_ramp.h"

#include <cmath>
#include <cstddef>
#include <limits>

namespace runoff {

Colour rampColour(std::int32_t i) {
  if (i < 0) return {0, 0, 0};
  if (i <= 63) return {0, 4 * i, 252};
  if (i <= 127) return {0, 252, 508 - 4 * i};
  if (i <= 191) return {4 * i - 512, 252, 0};
  if (i <= 255) return {252, 1020 - 4 * i, 0};
  return {252, 252, 0};
}

std::int32_t dischargeIndex(float v, float minDischarge, float maxDischarge) {
  // Each step in float: the colour of a cell near a band boundary depends on the last bit of
  // the square root, and every image already drawn was drawn this way, so a double here would
  // change pixels. Only the final scaling to 0..255 is done in double.
  const float t = (v - minDischarge) / (maxDischarge - minDischarge);
  const float s = std::pow(t, 0.5f);
  const double scaled = static_cast<double>(s) * 255.0;
  // A flow below the minimum has no real square root (NaN): black. Converting NaN or a value
  // beyond the int32 range would be undefined, so both are settled before the conversion.
  if (!(scaled >= 0.0)) return kBlackIndex;
  if (scaled >= 2147483648.0) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(scaled);
}

bool isFrameCell(std::int32_t row, std::int32_t col, std::int32_t rows, std::int32_t cols) {
  return row == 1 || row == rows - 2 || col == 1 || col == cols - 2;
}

void fillColourIndex(std::span<const float> values, std::int32_t rows, std::int32_t cols,
                     float minDischarge, float maxDischarge, std::span<std::int32_t> index) {
  std::size_t p = 0;
  for (std::int32_t r = 0; r < rows; ++r) {
    for (std::int32_t k = 0; k < cols; ++k, ++p) {
      const float v = values[p];
      if (isFrameCell(r, k, rows, cols) || v < 0.0f) {
        index[p] = kBlackIndex;
      } else {
        index[p] = dischargeIndex(v, minDischarge, maxDischarge);
      }
    }
  }
}

}  // namespace runoff
