// The rivers to simulate, from "./topoData/riverNumList.dat".
//
// File format: text, one record per line, each of eight numbers separated by white space: six
// integers, then two reals. The first integer is a river number; the rest are not used. The
// numbers are read as one stream, so line ends do not matter to the reading, but the number of
// lines (a last line without a line end counts) is the number of entries announced.
#ifndef RUNOFF_INPUTS_RIVER_LIST_H_
#define RUNOFF_INPUTS_RIVER_LIST_H_

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/inputs/grid_cell.h"

namespace runoff {

inline constexpr const char* kRiverListPath = "./topoData/riverNumList.dat";

struct RiverList {
  std::int32_t riverCount = 0;  // lines of the file, blank ones included
  // River numbers of the records actually present, in file order. Blank lines past the last
  // record add to riverCount but not here, so they select nothing.
  std::vector<std::int32_t> riverNums;
};

/// Counts the lines of `in`. Works on the text as read, so a last line without a line end
/// counts.
std::int32_t countLines(std::istream& in);

/// Reads the river numbers of the records of `in`, a file of `riverCount` lines. Fails on a
/// token that is not a number of the right kind or on a record cut short.
Result<std::vector<std::int32_t>> readRiverRecords(std::istream& in, std::int32_t riverCount);

/// Membership test for river numbers, built once from the list: a negative number never
/// belongs, whatever the list holds.
class RiverSelection {
 public:
  explicit RiverSelection(const std::vector<std::int32_t>& riverNums);
  bool contains(std::int32_t riverNum) const;

 private:
  std::vector<std::int32_t> sorted_;
};

/// The cells that are routed and written: off the outer ring and of a listed river.
inline bool isSelected(const GridCell& cell, const RiverSelection& rivers) {
  return cell.isEdge != 1 && rivers.contains(cell.riverNum);
}

}  // namespace runoff

#endif  // RUNOFF_INPUTS_RIVER_LIST_H_
