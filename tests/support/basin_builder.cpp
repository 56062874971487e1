#include "support/basin_builder.h"

#include <cstdlib>
#include <sstream>

namespace runoff::testing {

Basin::Basin(int rows, int cols)
    : elev(static_cast<std::size_t>(rows) * cols, 0.0f),
      dir(elev.size(), 0),
      acc(elev.size(), 0),
      river(elev.size(), -1),
      rows_(rows),
      cols_(cols),
      values_{"3",
              std::to_string(cols),
              std::to_string(rows),
              "140",
              "36",
              "2",
              "2",
              "0.05",
              "0.05",
              "140.025",
              "36.025",
              "1",
              "600",
              "2",
              "0.5",
              "0.4",
              "0.03",
              "5",
              "0"} {}

Basin& Basin::param(ParamField field, const std::string& text) {
  values_[field - 1] = text;
  return *this;
}

std::string Basin::paramText() const {
  std::string text;
  for (const std::string& v : values_) text += v + "\n";
  return text;
}

Basin& Basin::cell(int row, int col, float e, std::int32_t d, std::int32_t a, std::int32_t r) {
  std::size_t i = static_cast<std::size_t>(row) * cols_ + col;
  elev[i] = e;
  dir[i] = d;
  acc[i] = a;
  river[i] = r;
  return *this;
}

namespace {

// The files store the southern row first.
template <typename T>
std::vector<T> southFirst(const std::vector<T>& northFirst, int rows, int cols) {
  std::vector<T> out;
  for (int r = rows - 1; r >= 0; --r) {
    for (int c = 0; c < cols; ++c)
      out.push_back(northFirst[static_cast<std::size_t>(r) * cols + c]);
  }
  return out;
}

}  // namespace

void Basin::write(const fs::path& d) const {
  fs::create_directories(d / "topoData");
  fs::create_directories(d / "input");
  fs::create_directories(d / "temp");
  fs::create_directories(d / "output");
  writeFile(d / "param-ravo-event-ver300.dat", paramText());
  writeFloats(d / "topoData/modDem.bin", southFirst(elev, rows_, cols_));
  writeInts(d / "topoData/flowDir.bin", southFirst(dir, rows_, cols_));
  writeInts(d / "topoData/flowAcc.bin", southFirst(acc, rows_, cols_));
  writeInts(d / "topoData/riverNum.bin", southFirst(river, rows_, cols_));
  writeFile(d / "topoData/riverNumList.dat", riverList);
  writeFile(d / "input/rain.dat", rain);
}

Basin mixedBasin(int days) {
  Basin b(5, 5);
  b.param(kDays, std::to_string(days));
  for (int r = 0; r < 5; ++r) {
    for (int c = 0; c < 5; ++c) b.cell(r, c, 20.0f - 4.0f * r - 0.5f * c, 0, 0, 1);
  }
  b.cell(0, 2, 20.0f, 5, 1, 1);
  b.cell(1, 1, 16.0f, 3, 1, 1).cell(1, 2, 15.0f, 5, 3, 1).cell(1, 3, 16.5f, 7, 1, 1);
  b.cell(2, 1, 12.0f, 3, 1, 2).cell(2, 2, 11.0f, 5, 5, 1).cell(2, 3, 12.0f, 7, 1, -1);
  b.cell(3, 1, 8.0f, 3, 0, 1).cell(3, 2, 7.0f, 5, 6, 1).cell(3, 3, 8.0f, 1, -1, 1);
  b.riverList = riverRecord(1);
  std::ostringstream s;
  for (int d = 1; d <= days; ++d) {
    for (int h = 0; h < 24; ++h) {
      s << "2020 7 " << d << " " << h << " 0 0\n";
      // North row, then south row; the topography maps to the south-western rain cell.
      s << 0.5 * h << " 1\n" << (h < 12 ? 3.0 * h + d : 0.25 * h) << " 2\n";
    }
  }
  b.rain = s.str();
  return b;
}

Basin valleyBasin(int rows, int cols, int days) {
  Basin b(rows, cols);
  b.param(kDays, std::to_string(days));
  const int middle = cols / 2;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const int fromMiddle = std::abs(c - middle);
      // The sides fall towards the middle column and it falls southwards; flow accumulation
      // grows by three cells a row down the middle.
      const float elev =
          4.0f * static_cast<float>(rows - r) + 0.5f * static_cast<float>(fromMiddle);
      const std::int32_t dir = c == middle ? 5 : (c < middle ? 3 : 7);
      b.cell(r, c, elev, dir, c == middle ? 3 * (r + 1) : 1, fromMiddle <= 1 ? 1 : -1);
    }
  }
  b.riverList = riverRecord(1);
  std::ostringstream s;
  for (int d = 1; d <= days; ++d) {
    for (int h = 0; h < 24; ++h) {
      s << "2020 7 " << d << ' ' << h << " 0 0\n" << 2 + h % 5 << " 1.5\n" << h << " 0.25\n";
    }
  }
  b.rain = s.str();
  return b;
}

std::string riverRecord(int n) { return std::to_string(n) + " 0 0 0 0 0 0.0 0.0\n"; }

std::string uniformRain(int days, int rainRows, int rainCols, const std::string& mmPerHour) {
  std::ostringstream s;
  for (int d = 1; d <= days; ++d) {
    for (int h = 0; h < 24; ++h) {
      s << "2020 1 " << d << " " << h << " 0 0\n";
      for (int k = 0; k < rainRows; ++k) {
        for (int l = 0; l < rainCols; ++l) s << (l ? " " : "") << mmPerHour;
        s << "\n";
      }
    }
  }
  return s.str();
}

namespace {

// Writes topoData/NAME with values base + step x (0 to 3) varying from cell to cell.
void writeVaryingGrid(const fs::path& dir, int rows, int cols, const std::string& name, float base,
                      float step) {
  std::vector<float> values;
  for (int r = rows - 1; r >= 0; --r) {  // south row first
    for (int c = 0; c < cols; ++c) values.push_back(base + step * ((r * 3 + c) % 4));
  }
  writeFloats(dir / "topoData" / name, values);
}

}  // namespace

void writeLossGrids(const fs::path& dir, int rows, int cols) {
  auto grid = [&](const std::string& name, float base, float step) {
    writeVaryingGrid(dir, rows, cols, name, base, step);
  };
  grid("impervious.bin", 0.05f, 0.05f);
  grid("initialLoss.bin", 4, 2);
  grid("constantLoss.bin", 1, 0.5f);
  grid("lossRecovery.bin", 10, 2);
  grid("curveNumber.bin", 60, 8);
  grid("ksat.bin", 2, 1.5f);
  grid("suction.bin", 80, 40);
  grid("moistureDeficit.bin", 0.2f, 0.05f);
}

void writeSoilGrids(const fs::path& dir, int rows, int cols) {
  writeVaryingGrid(dir, rows, cols, "soilCapacity.bin", 40, 30);
  writeVaryingGrid(dir, rows, cols, "percolation.bin", 0.2f, 0.2f);
  writeVaryingGrid(dir, rows, cols, "baseflowTime.bin", 30, 30);
}

std::string daylightPet(int days, int rainRows, int rainCols, bool dated) {
  std::ostringstream s;
  for (int d = 1; d <= days; ++d) {
    for (int h = 0; h < 24; ++h) {
      if (dated) {
        s << "2020 7 " << d << ' ' << h << " 0 0\n";
      } else {
        s << "0 0 0 0 0 0\n";
      }
      for (int k = 0; k < rainRows * rainCols; ++k) {
        s << (k ? " " : "") << (h >= 6 && h < 18 ? 0.1 * (1 + (d + h + k) % 5) : 0.0);
      }
      s << '\n';
    }
  }
  return s.str();
}

RunResult runSimulator(const fs::path& dir) { return runProgram(RUNOFF_SIM_EXE, dir); }

}  // namespace runoff::testing
