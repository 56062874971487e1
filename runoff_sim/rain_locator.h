// Finds, for a point given in degrees, the rainfall cell whose centre is nearest to it in the
// plane of degrees (no cosine of latitude), exactly as an exhaustive search would choose:
// distance sqrt((y - lat)^2 + (x - lon)^2) in double precision from single-precision centres,
// strictly smaller wins, cells visited row by row from row 0 (south) and within a row from
// column 0 (west), so ties go to the lower row, then the lower column.
#ifndef RUNOFF_RUNOFF_SIM_RAIN_LOCATOR_H_
#define RUNOFF_RUNOFF_SIM_RAIN_LOCATOR_H_

#include <cstdint>
#include <vector>

namespace runoff {

class RainLocator {
 public:
  /// rowLat[k]: latitude of the centres of rain row k; colLon[l]: longitude of the centres of
  /// rain column l (already wrapped into the stored range). Both non-empty.
  RainLocator(std::vector<float> rowLat, std::vector<float> colLon);

  struct Cell {
    std::int32_t row = -1;  // -1 when no distance is below 1e29 (absurd coordinates)
    std::int32_t col = -1;
  };

  /// The rain cell the exhaustive search picks for latitude y and longitude x, degrees.
  Cell nearest(double y, double x) const;

 private:
  std::vector<float> rowLat_;
  std::vector<float> colLon_;
};

}  // namespace runoff

#endif  // RUNOFF_RUNOFF_SIM_RAIN_LOCATOR_H_
