#include "discharge_map/ppm_writer.h"

#include <cstddef>
#include <vector>

#include "discharge_map/colour_ramp.h"

namespace runoff {

std::string ppmHeader(std::int32_t rows, std::int32_t cols) {
  // 64-bit so that the header of an absurdly wide grid is still the true size.
  const std::int64_t width = std::int64_t{kPixelsPerCell} * cols;
  const std::int64_t height = std::int64_t{kPixelsPerCell} * rows;
  return "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
}

bool writePpmImage(std::ostream& out, std::span<const std::int32_t> index, std::int32_t rows,
                   std::int32_t cols) {
  const std::string header = ppmHeader(rows, cols);
  out.write(header.data(), static_cast<std::streamsize>(header.size()));

  const std::size_t width = static_cast<std::size_t>(cols);
  std::vector<char> line(width * kPixelsPerCell * 3);
  for (std::int32_t r = rows - 1; r >= 0 && out; --r) {
    const std::int32_t* cells = index.data() + static_cast<std::size_t>(r) * width;
    char* p = line.data();
    for (std::size_t k = 0; k < width; ++k) {
      const Colour c = rampColour(cells[k]);
      for (int n = 0; n < kPixelsPerCell; ++n) {
        *p++ = static_cast<char>(c.red);
        *p++ = static_cast<char>(c.green);
        *p++ = static_cast<char>(c.blue);
      }
    }
    // The grid row becomes kPixelsPerCell identical image rows.
    for (int n = 0; n < kPixelsPerCell; ++n) {
      out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
  }
  return static_cast<bool>(out);
}

}  // namespace runoff
