#include "support/random_basin.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <sstream>

namespace runoff::testing {

int Draw::between(int low, int high) {
  const std::uint64_t span = static_cast<std::uint64_t>(high - low) + 1;
  return low + static_cast<int>(engine_() % span);
}

double Draw::real(double low, double high) {
  return low + (high - low) * static_cast<double>(engine_() >> 11) * 0x1.0p-53;
}

bool Draw::chance(double p) { return real(0.0, 1.0) < p; }

namespace {

// Row and column steps of the D8 codes 1 (north) to 8 (north-west), clockwise.
constexpr int kRowStep[9] = {0, -1, -1, 0, 1, 1, 1, 0, -1};
constexpr int kColStep[9] = {0, 0, 1, 1, 1, 0, -1, -1, -1};

std::string text(double value, int digits = 9) {
  std::ostringstream s;
  s << std::setprecision(digits) << value;
  return s.str();
}

// Days in `month` of `year`.
int daysIn(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

}  // namespace

RandomBasin::RandomBasin(std::uint64_t seed, const RandomBasinOptions& options)
    : seed_(seed), basin_(1, 1) {
  Draw draw(seed);
  // Small grids come often: a third of them have no interior cell in some direction.
  const int rows = draw.chance(0.3) ? draw.between(1, 4) : draw.between(1, options.maxRows);
  const int cols = draw.chance(0.3) ? draw.between(1, 4) : draw.between(1, options.maxCols);
  Basin b(rows, cols);
  const int cells = rows * cols;

  // A surface of a random tilt and roughness; each cell drains to a strictly lower neighbour
  // (the steepest, or any), so the directions never close a cycle. A cell without a lower
  // neighbour is a pit, and a few cells with one are pits all the same (closed basins).
  const double tiltRows = draw.real(-2.0, 2.0), tiltCols = draw.real(-2.0, 2.0);
  const double roughness = draw.real(0.05, 4.0);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      b.elev[r * cols + c] =
          static_cast<float>(100.0 + tiltRows * r + tiltCols * c + draw.real(0.0, roughness));
    }
  }
  const double steepest = draw.real(0.0, 1.0), pits = draw.chance(0.3) ? draw.real(0.0, 0.15) : 0;
  const std::vector<int> pitCodes = {0, 0, 9, -1, -9999};
  std::vector<int> down(cells, -1);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const int i = r * cols + c;
      std::vector<int> lower;
      int best = 0;
      float drop = 0.0f;
      for (int d = 1; d <= 8; ++d) {
        const int rr = r + kRowStep[d], cc = c + kColStep[d];
        if (rr < 0 || rr >= rows || cc < 0 || cc >= cols) continue;
        const float fall = b.elev[i] - b.elev[rr * cols + cc];
        if (fall <= 0.0f) continue;
        lower.push_back(d);
        if (fall > drop) {
          drop = fall;
          best = d;
        }
      }
      // A cell on the outer ring may also drain off the grid.
      std::vector<int> off;
      for (int d = 1; d <= 8; ++d) {
        const int rr = r + kRowStep[d], cc = c + kColStep[d];
        if (rr < 0 || rr >= rows || cc < 0 || cc >= cols) off.push_back(d);
      }
      if (lower.empty() || draw.chance(pits)) {
        b.dir[i] = !off.empty() && draw.chance(0.5) ? draw.oneOf(off) : draw.oneOf(pitCodes);
      } else {
        b.dir[i] = draw.chance(steepest) ? best : draw.oneOf(lower);
      }
      if (b.dir[i] >= 1 && b.dir[i] <= 8) {
        const int rr = r + kRowStep[b.dir[i]], cc = c + kColStep[b.dir[i]];
        if (rr >= 0 && rr < rows && cc >= 0 && cc < cols) down[i] = rr * cols + cc;
      }
    }
  }
  // The flow accumulation: the cells whose path passes through each cell, itself included.
  // Some directories take arbitrary values in some cells instead, as damaged grids have.
  std::vector<int> outlet(cells);
  for (int i = 0; i < cells; ++i) {
    int at = i;
    for (;;) {
      ++b.acc[at];
      if (down[at] < 0) break;
      at = down[at];
    }
    outlet[i] = at;
  }
  if (draw.chance(0.15)) {
    const std::vector<int> odd = {-9999, -5, -1, 0, 0, 1, 2, 7, 150};
    for (int i = 0; i < cells; ++i) {
      if (draw.chance(0.25)) b.acc[i] = draw.oneOf(odd);
    }
  }

  // River numbers: each basin (the cells that share an outlet) one of a few numbers; some cells
  // belong to no river or to another.
  const std::vector<int> numbers = {0, 1, 2, 3, 5, 8, 20, 255};
  std::vector<int> palette;
  for (int k = draw.between(1, 4); k > 0; --k) palette.push_back(draw.oneOf(numbers));
  std::vector<int> riverOfOutlet(cells);
  for (int i = 0; i < cells; ++i) riverOfOutlet[i] = draw.oneOf(palette);
  const double stray = draw.chance(0.5) ? draw.real(0.0, 0.2) : 0.0;
  for (int i = 0; i < cells; ++i) {
    b.river[i] = riverOfOutlet[outlet[i]];
    if (draw.chance(stray)) b.river[i] = draw.oneOf(std::vector<int>{-1, -9999, 4, 255});
  }
  // The river list: empty, or some of the basins' numbers, with now and then a number that is
  // not in the grid, a number twice, a blank last line or no line end at the end.
  std::string list;
  if (!draw.chance(0.1)) {
    std::vector<int> listed;
    for (int n : palette) {
      if (draw.chance(0.7)) listed.push_back(n);
    }
    if (listed.empty() || draw.chance(0.15)) listed.push_back(draw.oneOf(std::vector<int>{4096, 77}));
    if (draw.chance(0.1)) listed.push_back(listed.front());
    for (int n : listed) {
      list += std::to_string(n) + " " + std::to_string(draw.between(0, 500)) + " " +
              std::to_string(draw.between(0, 500)) + " 0 " + std::to_string(draw.between(0, 9)) +
              " " + std::to_string(draw.between(0, 99999)) + " " +
              text(draw.real(0, 1e6), 6) + " " + text(draw.real(-200, 9000), 6) + "\n";
    }
    if (draw.chance(0.05)) list += "\n";
    if (draw.chance(0.05)) list.pop_back();
  }
  b.riverList = list;

  // The parameters. The topography lies anywhere on the globe; the rainfall grid of 1 to 4 by
  // 1 to 4 cells covers part of it (its cells may be smaller or larger than the whole grid).
  const double scale = draw.oneOf(std::vector<double>{1.0, 3.0, 7.5, 30.0});
  const double swLon = draw.real(-170.0, 170.0), swLat = draw.real(-60.0, 60.0);
  const double width = cols * scale / 3600.0, height = rows * scale / 3600.0;
  const int rainCols = draw.between(1, 4), rainRows = draw.between(1, 4);
  const double rainDx = width * draw.real(0.15, 1.5), rainDy = height * draw.real(0.15, 1.5);
  days_ = draw.between(1, options.maxDays);
  const int spaceSteps = draw.between(1, 6);
  const int interior = std::max(1, (rows - 2) * (cols - 2));
  const double subStepsAllowed =
      options.maxNodeSteps / (static_cast<double>(interior) * 24.0 * days_ * spaceSteps);
  const int minStep =
      std::clamp(static_cast<int>(std::ceil(3600.0 / std::max(1.0, subStepsAllowed))), 1, 3600);
  int timeStep = static_cast<int>(
      std::lround(std::exp(draw.real(std::log(minStep), std::log(3600.0)))));
  if (draw.chance(0.3)) {
    timeStep = std::max(minStep, draw.oneOf(std::vector<int>{60, 300, 600, 900, 1800, 3600}));
  }
  timeStep = std::clamp(timeStep, minStep, 3600);
  const double weight =
      draw.chance(0.6) ? draw.oneOf(std::vector<double>{0.5, 0.6, 0.75, 1.0}) : draw.real(0, 1);
  b.param(kTopoScale, text(scale))
      .param(kTopoSwLon, text(swLon, 12))
      .param(kTopoSwLat, text(swLat, 12))
      .param(kRainCols, std::to_string(rainCols))
      .param(kRainRows, std::to_string(rainRows))
      .param(kRainDx, text(rainDx, 12))
      .param(kRainDy, text(rainDy, 12))
      .param(kRainSwLon, text(swLon + width * draw.real(-0.3, 0.9), 12))
      .param(kRainSwLat, text(swLat + height * draw.real(-0.3, 0.9), 12))
      .param(kDays, std::to_string(days_))
      .param(kTimeStep, std::to_string(timeStep))
      .param(kSpaceSteps, std::to_string(spaceSteps))
      .param(kFdWeight, text(weight, 6))
      .param(kSlopeManning, text(draw.real(0.05, 0.8), 6))
      .param(kChannelManning, text(draw.real(0.01, 0.1), 6))
      .param(kChannelThreshold, std::to_string(draw.between(1, 15)))
      .param(kInitialRunoff, draw.chance(0.3) ? "0" : text(draw.real(0.0, 5.0), 6));

  // The rainfall: one record per hour, the date and hour, then the rows from the north. The
  // storm may stop before the run: the file is empty, or ends after a record or inside one.
  int year = draw.between(1990, 2035), month = draw.between(1, 12);
  int day = draw.between(1, daysIn(year, month));
  const int startHour = draw.between(0, 23);
  const double wet = draw.real(0.0, 1.0), heavy = draw.real(1.0, 60.0);
  std::vector<std::string> records;
  for (int h = 0; h < 24 * days_; ++h) {
    const int hour = (startHour + h) % 24;
    if (h > 0 && hour == 0 && ++day > daysIn(year, month)) {
      day = 1;
      if (++month > 12) {
        month = 1;
        ++year;
      }
    }
    std::string record = std::to_string(year) + " " + std::to_string(month) + " " +
                         std::to_string(day) + " " + std::to_string(hour) + " 0 0\n";
    for (int k = 0; k < rainRows; ++k) {
      for (int l = 0; l < rainCols; ++l) {
        if (l > 0) record += ' ';
        record += draw.chance(wet) ? text(draw.real(0.0, heavy), 4) : std::string("0");
      }
      record += "\n";
    }
    records.push_back(record);
  }
  const int ending = draw.between(0, 99);
  if (ending < 70) {
    hours_ = records;
  } else if (ending < 80) {
    // An empty file.
  } else {
    const int kept = draw.between(0, static_cast<int>(records.size()) - 1);
    hours_.assign(records.begin(), records.begin() + kept);
    if (ending >= 93) {
      cut_ = records[kept].substr(0, static_cast<std::size_t>(draw.between(
                                         1, static_cast<int>(records[kept].size()) - 1)));
    }
  }

  // One to three gauges at cell centres anywhere on the grid: on a routed cell, near one, or
  // with none in reach (a run that places them then refuses, in every program alike).
  std::ostringstream gauges;
  gauges << "name,lon,lat\n";
  for (int g = 1, count = draw.between(1, 3); g <= count; ++g) {
    const int r = draw.between(0, rows - 1), c = draw.between(0, cols - 1);
    gauges << "G" << g << "," << std::setprecision(12) << swLon + (c + 0.5) * scale / 3600.0
           << "," << swLat + (rows - 1 - r + 0.5) * scale / 3600.0 << "\n";
  }
  gauges_ = gauges.str();
  basin_ = std::move(b);
}

std::string RandomBasin::summary() const {
  std::ostringstream s;
  std::string listed = basin_.riverList;
  std::replace(listed.begin(), listed.end(), '\n', ';');
  s << "seed " << seed_ << ": " << rows() << " x " << cols() << " cells, " << days_
    << " days, time step " << basin_.param(kTimeStep) << " s, " << basin_.param(kSpaceSteps)
    << " space steps, rain " << basin_.param(kRainCols) << " x " << basin_.param(kRainRows)
    << " with " << hours_.size() << (cut_.empty() ? "" : "+") << " hours, river list \""
    << listed << "\"";
  return s.str();
}

void RandomBasin::write(const fs::path& dir, int firstDay, int days) const {
  if (days == 0) days = days_ - firstDay + 1;
  Basin b = basin_;
  b.param(kDays, std::to_string(days));
  const std::size_t from = static_cast<std::size_t>(firstDay - 1) * 24;
  const std::size_t to = from + static_cast<std::size_t>(days) * 24;
  std::string rain;
  for (std::size_t h = from; h < std::min(to, hours_.size()); ++h) rain += hours_[h];
  if (hours_.size() >= from && hours_.size() < to) rain += cut_;
  b.rain = rain;
  b.write(dir);
  writeFile(dir / "gauges.csv", gauges_);
  writeLossGrids(dir, rows(), cols());
  writeSoilGrids(dir, rows(), cols());
}

}  // namespace runoff::testing
