// One cell of the topography grid: its position and size, the topography read for it, and the
// links of the drainage network. Links are indices into the grid's cell array (row-major, row
// 0 the northern row), not pointers, so a grid of millions of cells stays compact.
#ifndef RUNOFF_INPUTS_GRID_CELL_H_
#define RUNOFF_INPUTS_GRID_CELL_H_

#include <array>
#include <cstdint>

namespace runoff {

inline constexpr std::int32_t kNoCell = -1;

// A cell can receive water from all eight neighbours; every one of them keeps its slot.
inline constexpr int kUpSlots = 8;

// Metres per arc-second of latitude, as a double quotient (30.896199999999997).
inline constexpr double kMetresPerArcSec = 92.6886 / 3;

// Flow direction codes, clockwise from north; any other code means no downstream cell.
inline constexpr std::int32_t kNoDirection = 10;

struct GridCell {
  float latSec = 0;  // latitude of the cell centre, arc-seconds
  float lonSec = 0;  // longitude of the cell centre, arc-seconds
  float scale = 0;   // cell size, arc-seconds
  std::int32_t flowDir = kNoDirection;
  std::int32_t flowAcc = 0;  // cells draining through this one, itself included
  std::int32_t upCount = 0;
  std::int32_t riverNum = -1;  // negative: the cell belongs to no basin
  float widthX = 0;            // east-west width, metres
  float elev = 0;              // elevation, metres
  std::int32_t rainCell = kNoCell;  // index into the rainfall grid
  std::int32_t down = kNoCell;      // the neighbour this cell drains into
  std::array<std::int32_t, kUpSlots> up{kNoCell, kNoCell, kNoCell, kNoCell,
                                        kNoCell, kNoCell, kNoCell, kNoCell};
  std::uint8_t isEdge = 0;  // 1 on the outer ring of the grid

  /// A cell of a basin, off the outer ring: it gets a routing state.
  bool takesPart() const { return riverNum >= 0 && isEdge != 1; }
};

}  // namespace runoff

#endif  // RUNOFF_INPUTS_GRID_CELL_H_
