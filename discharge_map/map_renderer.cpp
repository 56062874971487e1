#include "discharge_map/map_renderer.h"

#include <cstdio>
#include <fstream>
#include <vector>

#include "common/input_file.h"
#include "discharge_map/colour_ramp.h"
#include "discharge_map/ppm_writer.h"

namespace runoff {

std::string imageFileName(std::int64_t hour) {
  char name[64];
  std::snprintf(name, sizeof name, "./image/%4lld_discharge.ppm", static_cast<long long>(hour));
  return name;
}

Status renderDischargeMaps(DischargeReader& discharge, std::int64_t hours, std::int32_t rows,
                           std::int32_t cols, const DischargeRange& range, std::ostream& console) {
  if (hours <= 0) return {};
  // A directory under one image's name would stop the run part way, the earlier hours drawn:
  // it is refused before the first image.
  for (std::int64_t hour = 1; hour <= hours; ++hour) {
    if (isDirectoryAt(imageFileName(hour)))
      return Status::ioError("Image output file cannot open.");
  }
  const std::size_t cells = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
  std::vector<float> values(cells);
  std::vector<std::int32_t> colourIndex(cells);
  for (std::int64_t hour = 1; hour <= hours; ++hour) {
    const std::string name = imageFileName(hour);
    console << "Write " << name << '\r' << std::flush;
    if (Status read = discharge.readGrid(values); !read.ok()) return read;
    std::ofstream image(name, std::ios::binary | std::ios::trunc);
    if (!image) return Status::ioError("Image output file cannot open.");
    fillColourIndex(values, rows, cols, range.minDischarge, range.maxDischarge, colourIndex);
    writePpmImage(image, colourIndex, rows, cols);
    image.close();
    if (!image) return Status::ioError("Image output file cannot be written: " + name);
  }
  return {};
}

}  // namespace runoff
