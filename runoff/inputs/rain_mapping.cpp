#include "runoff/inputs/rain_mapping.h"

#include <fstream>
#include <iomanip>
#include <sstream>

#include "common/atomic_file.h"
#include "common/input_file.h"
#include "common/text_number.h"
#include "runoff/inputs/cache_key.h"

namespace runoff {

RainLocator::Cell findNearestRainCell(GridCell& cell, const RainLocator& locator,
                                      const RainGrid& rain) {
  double y = static_cast<double>(cell.latSec) / 3600;
  double x = static_cast<double>(cell.lonSec) / 3600;
  RainLocator::Cell found = locator.nearest(y, x);
  if (found.row >= 0) cell.rainCell = found.row * rain.cols + found.col;
  return found;
}

void setRainCell(GridCell& cell, const RainGrid& rain, std::int32_t row, std::int32_t column) {
  cell.rainCell = row * rain.cols + column;
}

RainLocator makeRainLocator(const RainGrid& rain) {
  std::vector<float> rowLat(rain.rows), colLon(rain.cols);
  for (std::int32_t k = 0; k < rain.rows; ++k) rowLat[k] = rain.cells[k * rain.cols].lat;
  for (std::int32_t l = 0; l < rain.cols; ++l) colLon[l] = rain.cells[l].lon;
  return RainLocator(std::move(rowLat), std::move(colLon));
}

std::optional<std::vector<RainLocator::Cell>> readMappingCache(std::istream& in,
                                                               const RunParameters& params,
                                                               const TopoGrid& topo,
                                                               const RainLocator& locator) {
  std::int32_t cols = -9999, rows = -9999;
  double dx = -9999.0, dy = -9999.0, lon = -9999.0, lat = -9999.0;
  if (!readInt32(in, cols) || !readInt32(in, rows) || !readDouble(in, dx) || !readDouble(in, dy) ||
      !readDouble(in, lon) || !readDouble(in, lat)) {
    return std::nullopt;
  }
  if (cols != params.rainCols || rows != params.rainRows || !keyValueMatches(dx, params.rainDx) ||
      !keyValueMatches(dy, params.rainDy) || !keyValueMatches(lon, params.rainSwLon) ||
      !keyValueMatches(lat, params.rainSwLat)) {
    return std::nullopt;
  }
  std::vector<RainLocator::Cell> mapping(topo.cells.size());
  for (std::int32_t r = 0; r < topo.rows; ++r) {
    for (std::int32_t c = 0; c < topo.cols; ++c) {
      std::int32_t topoRow, topoCol, rainRow, rainCol;
      if (!readInt32(in, topoRow) || !readInt32(in, topoCol) || !readInt32(in, rainRow) ||
          !readInt32(in, rainCol)) {
        return std::nullopt;
      }
      if (topoRow != r || topoCol != c || rainRow < 0 || rainRow >= params.rainRows ||
          rainCol < 0 || rainCol >= params.rainCols) {
        return std::nullopt;
      }
      mapping[topo.index(r, c)] = {rainRow, rainCol};
    }
  }
  // The key names only the rainfall grid; a cache written for another topography of the same
  // size would pass it. Sample cells must agree with a fresh search.
  const std::int32_t samples[5][2] = {{0, 0},
                                      {0, topo.cols - 1},
                                      {topo.rows - 1, 0},
                                      {topo.rows - 1, topo.cols - 1},
                                      {topo.rows / 2, topo.cols / 2}};
  for (const auto& s : samples) {
    const GridCell& cell = topo.at(s[0], s[1]);
    RainLocator::Cell fresh = locator.nearest(static_cast<double>(cell.latSec) / 3600,
                                              static_cast<double>(cell.lonSec) / 3600);
    RainLocator::Cell stored = mapping[topo.index(s[0], s[1])];
    if (fresh.row != stored.row || fresh.col != stored.col) return std::nullopt;
  }
  return mapping;
}

void writeMappingCacheKey(std::ostream& out, const RunParameters& params) {
  out << params.rainCols << '\n'
      << params.rainRows << '\n'
      << std::setprecision(15) << params.rainDx << '\n'
      << params.rainDy << '\n'
      << params.rainSwLon << '\n'
      << params.rainSwLat << '\n';
}

void writeMappingCache(std::ostream& out, const RunParameters& params, const TopoGrid& topo,
                       const RainGrid& rain) {
  writeMappingCacheKey(out, params);
  IntLineWriter lines(out);
  for (std::int32_t r = 0; r < topo.rows; ++r) {
    for (std::int32_t c = 0; c < topo.cols; ++c) {
      const std::int32_t rainCell = topo.at(r, c).rainCell;
      lines.line({r, c, rainCell / rain.cols, rainCell % rain.cols});
    }
  }
}

Status mapCellsToRain(TopoGrid& topo, const RainGrid& rain, const RunParameters& params,
                      std::ostream& console) {
  const std::string path = kMappingCachePath;
  // "ROF" in "Read ROF data from" and "Make ROF data" below is kept as it stands, for
  // compatibility of the console output.
  RainLocator locator = makeRainLocator(rain);
  {
    // A cache that cannot be read (missing, a directory in its place) is as good as absent.
    std::ifstream in;
    if (openInputFile(in, path) == InputFault::kNone) {
      auto mapping = readMappingCache(in, params, topo, locator);
      if (mapping) {
        console << "Read ROF data from " << path << '\n';
        for (std::size_t i = 0; i < topo.cells.size(); ++i) {
          setRainCell(topo.cells[i], rain, (*mapping)[i].row, (*mapping)[i].col);
        }
        return {};
      }
    }
  }
  console << "Make ROF data " << path << '\n';
  for (std::int32_t r = 0; r < topo.rows; ++r) {
    for (std::int32_t c = 0; c < topo.cols; ++c) {
      if (findNearestRainCell(topo.at(r, c), locator, rain).row < 0) {
        std::ostringstream s;
        s << "No rainfall cell lies within reach of topography cell (" << r << ", " << c
          << "): check the coordinates in " << kParameterFileName << ".";
        return Status::invalid(s.str());
      }
    }
  }
  // Written whole under a temporary name, so that no later run trusts a torn cache.
  AtomicFile out(path);
  if (!out.isOpen()) {
    console << path << " cannot open.\n";
    return {};
  }
  writeMappingCache(out.stream(), params, topo, rain);
  if (Status written = out.commit(); !written.ok()) console << written.message() << '\n';
  return {};
}

}  // namespace runoff
