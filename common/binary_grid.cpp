#include "common/binary_grid.h"

#include <algorithm>
#include <vector>

namespace runoff {
namespace {

// Reads in blocks so that memory stays bounded however large the grid.
template <typename T, typename Decode>
bool readRecords(std::istream& in, std::span<T> out, Decode decode) {
  constexpr std::size_t kBlock = 1 << 16;
  std::vector<unsigned char> bytes(4 * std::min(kBlock, out.size()));
  std::size_t done = 0;
  while (done < out.size()) {
    std::size_t n = std::min(kBlock, out.size() - done);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(4 * n));
    if (static_cast<std::size_t>(in.gcount()) != 4 * n) return false;
    for (std::size_t i = 0; i < n; ++i) out[done + i] = decode(&bytes[4 * i]);
    done += n;
  }
  return true;
}

}  // namespace

bool readFloatRecords(std::istream& in, std::span<float> out) {
  return readRecords(in, out, floatFromLittle);
}

bool readIntRecords(std::istream& in, std::span<std::int32_t> out) {
  return readRecords(in, out, intFromLittle);
}

bool writeFloatRecords(std::ostream& out, std::span<const float> values) {
  constexpr std::size_t kBlock = 1 << 16;
  std::vector<unsigned char> bytes(4 * std::min(kBlock, values.size()));
  for (std::size_t done = 0; done < values.size();) {
    std::size_t n = std::min(kBlock, values.size() - done);
    for (std::size_t i = 0; i < n; ++i) {
      std::uint32_t u;
      std::memcpy(&u, &values[done + i], 4);
      storeLittle32(u, &bytes[4 * i]);
    }
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(4 * n));
    if (!out) return false;
    done += n;
  }
  return true;
}

}  // namespace runoff
