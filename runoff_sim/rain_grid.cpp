#include "runoff_sim/rain_grid.h"

#include <sstream>

#include "common/text_number.h"

namespace runoff {

void initRainCell(RainCell& cell, float latitude, float longitude, std::int32_t column,
                  std::int32_t row) {
  cell.lat = latitude;
  cell.lon = longitude;
  if (static_cast<double>(cell.lon) > 180.0) {
    cell.lon = static_cast<float>(static_cast<double>(cell.lon) - 360.0);
  }
  cell.colNo = column + 1;
  cell.rowNo = row + 1;
}

RainGrid buildRainGrid(const RunParameters& params) {
  RainGrid grid;
  grid.rows = params.rainRows;
  grid.cols = params.rainCols;
  grid.days = params.days;
  grid.cells.resize(static_cast<std::size_t>(grid.rows) * grid.cols);
  for (std::int32_t k = 0; k < grid.rows; ++k) {
    float latitude = static_cast<float>(params.rainSwLat + k * params.rainDy);
    for (std::int32_t l = 0; l < grid.cols; ++l) {
      float longitude = static_cast<float>(params.rainSwLon + l * params.rainDx);
      initRainCell(grid.cells[static_cast<std::size_t>(k) * grid.cols + l], latitude, longitude, l,
                   k);
    }
  }
  grid.hourlyRain.assign(grid.cells.size() * (static_cast<std::size_t>(grid.days) + 1) * 24, 0.0f);
  return grid;
}

Status readRainfall(std::istream& in, RainGrid& grid) {
  for (std::int32_t day = 1; day <= grid.days; ++day) {
    for (std::int32_t hour = 0; hour < 24; ++hour) {
      auto fail = [&](const std::string& token, ParseStatus status) {
        std::ostringstream s;
        s << kRainfallPath << ": the record of day " << day << " hour " << hour << " holds \""
          << token << "\", which " << describe(status) << ".";
        return Status::invalid(s.str());
      };
      for (int i = 0; i < 6; ++i) {
        auto token = nextToken(in);
        if (!token) return {};  // the storm ends before the run: the rest stays dry
        std::int32_t ignored;
        ParseStatus status = parseInt32(*token, ignored);
        if (status != ParseStatus::kOk) return fail(*token, status);
      }
      for (std::int32_t k = grid.rows - 1; k >= 0; --k) {
        for (std::int32_t l = 0; l < grid.cols; ++l) {
          auto token = nextToken(in);
          if (!token) return {};
          float value = 0;
          ParseStatus status = parseFloat(*token, value);
          if (status != ParseStatus::kOk) return fail(*token, status);
          // A negative rate (often a missing-data marker) or one far beyond any storm would
          // route as nonsense or overflow the discharge; neither is rainfall.
          if (!(value >= 0.0f && value <= kMaxRainfall)) {
            std::ostringstream s;
            s << kRainfallPath << ": the record of day " << day << " hour " << hour << " holds \""
              << *token << "\", which is not a rainfall intensity (0 to " << kMaxRainfall
              << " mm/h).";
            return Status::invalid(s.str());
          }
          grid.hourlyRain[grid.rainIndex(k * grid.cols + l, day, hour)] = value;
        }
      }
    }
  }
  return {};
}

}  // namespace runoff
