#include "runoff/inputs/rain_grid.h"

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

RainGrid buildRainGrid(const RunParameters& params, std::int32_t windowDays) {
  RainGrid grid;
  grid.rows = params.rainRows;
  grid.cols = params.rainCols;
  grid.firstDay = 1;
  grid.days = windowDays;
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

namespace {

// Only the true end of the file means a storm shorter than the run; a read that fails is no end.
Status unreadable() {
  return Status::ioError(std::string(kRainfallPath) + " cannot be read to its end.");
}

}  // namespace

Status RainReader::readDayInto(void (*store)(void*, std::int32_t, std::int32_t, float),
                               void* context) {
  const std::int32_t day = ++day_;
  for (std::int32_t hour = 0; hour < 24 && !ended_; ++hour) {
    auto fail = [&](const std::string& token, ParseStatus status) {
      std::ostringstream s;
      s << kRainfallPath << ": the record of day " << day << " hour " << hour << " holds \""
        << token << "\", which " << describe(status) << ".";
      return Status::invalid(s.str());
    };
    for (int i = 0; i < 6 && !ended_; ++i) {
      auto token = nextToken(in_);
      if (!token) {
        if (in_.bad()) return unreadable();
        ended_ = true;  // the storm ends before the run: the rest stays dry
        break;
      }
      std::int32_t ignored;
      ParseStatus status = parseInt32(*token, ignored);
      if (status != ParseStatus::kOk) return fail(*token, status);
    }
    for (std::int32_t k = rows_ - 1; k >= 0 && !ended_; --k) {
      for (std::int32_t l = 0; l < cols_; ++l) {
        auto token = nextToken(in_);
        if (!token) {
          if (in_.bad()) return unreadable();
          ended_ = true;
          break;
        }
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
        store(context, hour, k * cols_ + l, value);
      }
    }
  }
  return {};
}

Status advanceRainWindow(RainReader& reader, RainGrid& grid, std::int32_t firstDay,
                         std::int32_t days) {
  const std::int32_t cells = grid.rows * grid.cols;
  // The day before the new window: the last day of the old one (or the dry day before the run).
  std::vector<float> before(static_cast<std::size_t>(cells) * 24, 0.0f);
  if (firstDay > 1 && grid.days > 0 && firstDay == grid.firstDay + grid.days) {
    for (std::int32_t c = 0; c < cells; ++c) {
      for (std::int32_t h = 0; h < 24; ++h) {
        before[static_cast<std::size_t>(c) * 24 + h] = grid.rain(c, firstDay - 1, h);
      }
    }
  }
  grid.firstDay = firstDay;
  grid.days = days;
  grid.hourlyRain.assign(static_cast<std::size_t>(cells) * (days + 1) * 24, 0.0f);
  for (std::int32_t c = 0; c < cells; ++c) {
    for (std::int32_t h = 0; h < 24; ++h) {
      grid.hourlyRain[grid.rainIndex(c, firstDay - 1, h)] =
          before[static_cast<std::size_t>(c) * 24 + h];
    }
  }
  for (std::int32_t day = firstDay; day < firstDay + days; ++day) {
    Status read = reader.readDay([&](std::int32_t hour, std::int32_t cell, float value) {
      grid.hourlyRain[grid.rainIndex(cell, day, hour)] = value;
    });
    if (!read.ok()) return read;
  }
  return {};
}

Status readRainfall(std::istream& in, RainGrid& grid) {
  RainReader reader(in, grid.rows, grid.cols);
  for (std::int32_t day = grid.firstDay; day < grid.firstDay + grid.days; ++day) {
    Status read = reader.readDay([&](std::int32_t hour, std::int32_t cell, float value) {
      grid.hourlyRain[grid.rainIndex(cell, day, hour)] = value;
    });
    if (!read.ok()) return read;
  }
  return {};
}

Status checkRainfall(std::istream& in, std::int32_t rows, std::int32_t cols, std::int32_t days) {
  RainReader reader(in, rows, cols);
  for (std::int32_t day = 1; day <= days && !reader.ended(); ++day) {
    Status read = reader.readDay([](std::int32_t, std::int32_t, float) {});
    if (!read.ok()) return read;
  }
  return {};
}

}  // namespace runoff
