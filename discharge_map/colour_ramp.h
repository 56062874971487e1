// Colours of the discharge maps: a discharge range is mapped onto the colour indices 0 to 255
// through a square-root scale (so that small flows on hillslopes still show), and each index
// onto a five-stop ramp blue - cyan - green - yellow - red. Negative indices are drawn black.
#ifndef RUNOFF_DISCHARGE_MAP_COLOUR_RAMP_H_
#define RUNOFF_DISCHARGE_MAP_COLOUR_RAMP_H_

#include <cstdint>
#include <span>

namespace runoff {

/// Index of a cell drawn black: the frame, cells without a result, flows below the range.
inline constexpr std::int32_t kBlackIndex = -999;

struct Colour {
  int red = 0;  // each component 0 to 252
  int green = 0;
  int blue = 0;
  friend bool operator==(const Colour&, const Colour&) = default;
};

/// Ramp colour of index `i`: black below 0, blue (0) through cyan, green and yellow to red
/// (255), and yellow again above 255 so that flows above a user-given maximum stand out.
Colour rampColour(std::int32_t i);

/// Square-root colour index of discharge `v` (m^3/s) in the range [`minDischarge`,
/// `maxDischarge`], computed in single precision: minDischarge gives 0, maxDischarge 255.
/// Negative `v` (the missing value -9999) and flows below the minimum give a negative index;
/// flows so far above the maximum that the index would not fit 32 bits give INT32_MAX.
std::int32_t dischargeIndex(float v, float minDischarge, float maxDischarge);

/// True for the cells that every map draws black: the second row and the second column in
/// from each edge. `row` counts from the southern row, `col` from the western column, from 0.
bool isFrameCell(std::int32_t row, std::int32_t col, std::int32_t rows, std::int32_t cols);

/// Fills `index` (rows x cols, southern row first) from one hour of discharge `values` laid out
/// the same way, applying the frame rule and then dischargeIndex.
void fillColourIndex(std::span<const float> values, std::int32_t rows, std::int32_t cols,
                     float minDischarge, float maxDischarge, std::span<std::int32_t> index);

}  // namespace runoff

#endif  // RUNOFF_DISCHARGE_MAP_COLOUR_RAMP_H_
