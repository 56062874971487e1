// Raw grids of 4-byte little-endian records (float32 or int32), as the topography inputs and
// the discharge outputs store them: no header, rows from the southern row to the northern row,
// each row from west to east. These helpers convert records and read whole blocks of them.
#ifndef RUNOFF_COMMON_BINARY_GRID_H_
#define RUNOFF_COMMON_BINARY_GRID_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <istream>
#include <ostream>
#include <span>

namespace runoff {

inline std::uint32_t loadLittle32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline void storeLittle32(std::uint32_t v, unsigned char* p) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

inline float floatFromLittle(const unsigned char* p) {
  std::uint32_t u = loadLittle32(p);
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}

inline std::int32_t intFromLittle(const unsigned char* p) {
  return static_cast<std::int32_t>(loadLittle32(p));
}

/// Reads `out.size()` float32 records; false when the stream ends before all were read.
bool readFloatRecords(std::istream& in, std::span<float> out);
/// Reads `out.size()` int32 records; false when the stream ends before all were read.
bool readIntRecords(std::istream& in, std::span<std::int32_t> out);
/// Writes float32 records in one block; false when the stream failed.
bool writeFloatRecords(std::ostream& out, std::span<const float> values);

}  // namespace runoff

#endif  // RUNOFF_COMMON_BINARY_GRID_H_
