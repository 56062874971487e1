// Binary PPM ("P6") images of one hour's colour indices.
//
// Layout: the ASCII header "P6\n<width> <height>\n255\n" (single line feeds), width = 5 x cols,
// height = 5 x rows; then 3 bytes (red, green, blue) per pixel, no separators. Every grid cell
// is a block of 5 x 5 pixels. Image rows run from north to south, so the first grid row drawn
// is the last one of the hour in file order; within a row cells run from west to east.
#ifndef RUNOFF_DISCHARGE_MAP_PPM_WRITER_H_
#define RUNOFF_DISCHARGE_MAP_PPM_WRITER_H_

#include <cstdint>
#include <ostream>
#include <span>
#include <string>

namespace runoff {

/// Pixels per grid cell along each side of the image.
inline constexpr int kPixelsPerCell = 5;

/// The three header lines for a grid of `rows` x `cols` cells.
std::string ppmHeader(std::int32_t rows, std::int32_t cols);

/// Writes header and pixels of `index` (rows x cols colour indices, southern row first) to
/// `out`, one image row per write. Returns false when the stream failed.
bool writePpmImage(std::ostream& out, std::span<const std::int32_t> index, std::int32_t rows,
                   std::int32_t cols);

}  // namespace runoff

#endif  // RUNOFF_DISCHARGE_MAP_PPM_WRITER_H_
