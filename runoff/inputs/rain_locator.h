// Finds, for a point given in degrees, the rainfall cell whose centre is nearest to it in the
// plane of degrees (no cosine of latitude), exactly as an exhaustive search would choose:
// distance sqrt((y - lat)^2 + (x - lon)^2) in double precision from single-precision centres,
// strictly smaller wins, cells visited row by row from row 0 (south) and within a row from
// column 0 (west), so ties go to the lower row, then the lower column.
//
// Instead of visiting every cell, each axis is searched on its own. The rounded distance never
// decreases when the row term or the column term grows, so the smallest distance is the one of
// the smallest row term with the smallest column term; the exhaustive search keeps the first
// cell reaching it, which is the lowest row whose best cell ties with that minimum and, in that
// row, the lowest tying column. On an axis sorted by centre the tying centres form one run
// around the query, found by galloping out from it, and the lowest cell index of the run comes
// from a range-minimum table. Cost per query: O(1) for regular grids, O(log n) at worst.
#ifndef RUNOFF_INPUTS_RAIN_LOCATOR_H_
#define RUNOFF_INPUTS_RAIN_LOCATOR_H_

#include <cstddef>
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
  // The centres of one axis (row latitudes or column longitudes) in any order: ascending,
  // descending, constant, or the two ascending runs that wrapped longitudes leave. Non-finite
  // centres are dropped: their distance is infinite or NaN, never below 1e29.
  struct Axis {
    explicit Axis(const std::vector<float>& centres);

    /// First position in `values` whose centre is >= p (values.size() when none is).
    std::size_t crossing(double p) const;
    /// Smallest squared offset (p - centre)^2 on the axis; `cross` = crossing(p).
    double smallestSquare(double p, std::size_t cross) const;
    /// Lowest cell index among the centres whose distance sqrt((p - centre)^2 + other) equals
    /// `best`; `best` must be reached at a neighbour of `cross`.
    std::int32_t firstTying(double p, std::size_t cross, double other, double best) const;

    std::vector<double> values;  // distinct finite centres, ascending (-0 merged with +0)
    // lowest[j][i] (stored at j * size + i): lowest cell index among the centres at positions
    // i .. i + 2^j - 1, a sparse table for O(1) range minima.
    std::vector<std::int32_t> lowest;
    // Buckets of equal width over [values.front(), values.back()]: the centres of bucket b sit
    // at positions bucketStart[b] .. bucketStart[b + 1] - 1. A hint for crossing() only; the
    // bucket of a point is a non-decreasing function of it, which keeps the search exact.
    std::vector<std::uint32_t> bucketStart;
    double origin = 0.0;
    double bucketsPerDegree = 0.0;

   private:
    std::size_t bucketOf(double p) const;
    std::int32_t lowestIndex(std::size_t first, std::size_t last) const;
  };

  std::vector<float> rowLat_;
  std::vector<float> colLon_;
  Axis rows_;
  Axis cols_;
};

}  // namespace runoff

#endif  // RUNOFF_INPUTS_RAIN_LOCATOR_H_
