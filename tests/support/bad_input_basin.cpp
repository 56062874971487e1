#include "support/bad_input_basin.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace runoff::testing {

HostileBasin::HostileBasin(int rows_, int cols_, int days)
    : rows(rows_),
      cols(cols_),
      params{"3",
             std::to_string(cols_),
             std::to_string(rows_),
             "140",
             "36",
             "2",
             "2",
             "0.05",
             "0.05",
             "140.025",
             "36.025",
             std::to_string(days),
             "600",
             "2",
             "0.5",
             "0.4",
             "0.03",
             "5",
             "0"} {
  const std::size_t n = static_cast<std::size_t>(rows) * cols;
  elev.resize(n);
  dir.resize(n);
  acc.resize(n);
  river.resize(n);
  const int middle = cols / 2;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const std::size_t i = static_cast<std::size_t>(r) * cols + c;
      elev[i] =
          4.0f * static_cast<float>(rows - r) + 0.5f * static_cast<float>(std::abs(c - middle));
      // Sides drain into the middle column, which drains south.
      dir[i] = c == middle ? 5 : (c < middle ? 3 : 7);
      acc[i] = 1;
      river[i] = c == middle || std::abs(c - middle) == 1 ? 1 : -1;
    }
  }
  for (int r = 0; r < rows; ++r) acc[static_cast<std::size_t>(r) * cols + middle] = 3 * (r + 1);
  riverList = "1 0 0 0 0 0 0.0 0.0\n";
  std::ostringstream s;
  for (int d = 1; d <= days; ++d) {
    for (int h = 0; h < 24; ++h) {
      s << "2020 7 " << d << ' ' << h << " 0 0\n" << 2 + h % 5 << " 1.5\n" << h << " 0.25\n";
    }
  }
  rain = s.str();
}

std::string HostileBasin::paramText() const {
  std::string text;
  for (const std::string& v : params) text += v + "\n";
  return text;
}

std::string southFirstBytes(const std::vector<float>& northFirst, int rows, int cols) {
  std::string bytes;
  for (int r = rows - 1; r >= 0; --r) {
    for (int c = 0; c < cols; ++c) {
      char b[4];
      std::memcpy(b, &northFirst[static_cast<std::size_t>(r) * cols + c], 4);
      bytes.append(b, 4);
    }
  }
  return bytes;
}

namespace {

std::vector<std::int32_t> southFirst(const std::vector<std::int32_t>& v, int rows, int cols) {
  std::vector<std::int32_t> out;
  for (int r = rows - 1; r >= 0; --r) {
    for (int c = 0; c < cols; ++c) out.push_back(v[static_cast<std::size_t>(r) * cols + c]);
  }
  return out;
}

}  // namespace

void HostileBasin::write(const fs::path& d) const {
  for (const char* sub : {"topoData", "input", "temp", "output"}) fs::create_directories(d / sub);
  writeFile(d / "param-ravo-event-ver300.dat", paramText());
  writeFile(d / "topoData/modDem.bin", southFirstBytes(elev, rows, cols));
  writeInts(d / "topoData/flowDir.bin", southFirst(dir, rows, cols));
  writeInts(d / "topoData/flowAcc.bin", southFirst(acc, rows, cols));
  writeInts(d / "topoData/riverNum.bin", southFirst(river, rows, cols));
  writeFile(d / "topoData/riverNumList.dat", riverList);
  writeFile(d / "input/rain.dat", rain);
}

std::string lastLine(const std::string& out) {
  std::string text = out;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  const std::size_t at = text.find_last_of("\r\n");
  return at == std::string::npos ? text : text.substr(at + 1);
}

std::vector<std::string> entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace runoff::testing
