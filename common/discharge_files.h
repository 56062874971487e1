// The three discharge grids: written by the simulator into ./output, read by the post-processors
// from inside that directory.
//
// Layout, the same for the three files: no header, no trailer, no padding; a plain sequence of
// little-endian IEEE float32 values, discharge in m^3/s. A grid is rows x cols values; its rows
// run from the southern row to the northern row, each row from the western column to the
// eastern one (the order of the topography inputs). Value p of a grid belongs to the row
// rows - 1 - p / cols counted from the north, column p % cols counted from the west.
//   dischargeDaily.bin           one grid per day, day 1 first: the mean of the day's 24
//                                hourly means
//   dischargeHourlyMaxInDay.bin  one grid per day: the largest hourly mean of the day, at
//                                least 0
//   dischargeHourly.bin          one grid per hour: day 1 hours 1 to 24, then day 2, ...
// A cell without a result (not routed: the outer ring, cells of unlisted rivers, cells in no
// river) holds the missing value -9999 (bytes 00 3C 1C C6) in every grid.
#ifndef RUNOFF_COMMON_DISCHARGE_FILES_H_
#define RUNOFF_COMMON_DISCHARGE_FILES_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <span>
#include <string>
#include <utility>

#include "common/status.h"

namespace runoff {

inline constexpr float kMissingDischarge = -9999.0f;

enum class DischargeFile { kDaily, kDailyMax, kHourly };
inline constexpr std::array<DischargeFile, 3> kDischargeFiles = {
    DischargeFile::kDaily, DischargeFile::kDailyMax, DischargeFile::kHourly};

/// A choice among the three files (all three unless said otherwise).
class DischargeFileSet {
 public:
  static DischargeFileSet all() { return DischargeFileSet(0b111); }
  static DischargeFileSet none() { return DischargeFileSet(0); }
  bool has(DischargeFile file) const { return (bits_ >> static_cast<int>(file)) & 1u; }
  void add(DischargeFile file) { bits_ |= 1u << static_cast<int>(file); }
  bool empty() const { return bits_ == 0; }
  bool operator==(const DischargeFileSet&) const = default;

 private:
  explicit DischargeFileSet(unsigned bits) : bits_(bits) {}
  unsigned bits_;
};

/// The file's name without a directory: "dischargeDaily.bin", ...
const char* dischargeFileName(DischargeFile file);
/// Grids per simulated day: 1 for the two daily files, 24 for the hourly file.
std::int32_t gridsPerDay(DischargeFile file);

/// Where the simulator writes the files, relative to its working directory.
inline constexpr const char* kOutputDirectory = "./output";
/// "./output/dischargeDaily.bin" and so on: the path the simulator writes and reports.
std::string outputPath(DischargeFile file);
/// The hourly file as the post-processors name it, from inside the output directory.
inline constexpr const char* kHourlyDischargePath = "./dischargeHourly.bin";

/// Bytes the file takes for a run of `days` days on a rows x cols grid.
std::uint64_t dischargeFileBytes(DischargeFile file, std::int64_t rows, std::int64_t cols,
                                 std::int64_t days);

/// Checks before reading that the file at `path` is a regular file that holds at least `grids`
/// grids of rows x cols values; the failure names the file and what it lacks, counting the
/// grids in `gridUnit` ("hours", "days").
Status checkDischargeFileSize(const std::string& path, std::int64_t grids, const char* gridUnit,
                              std::int32_t rows, std::int32_t cols);

/// Reads a discharge file strictly in order, one grid at a time.
class DischargeReader {
 public:
  /// `in` is open on the file named `path` (named in messages); grids of `cellsPerGrid` values.
  DischargeReader(std::istream& in, std::string path, std::size_t cellsPerGrid)
      : in_(in), path_(std::move(path)), cellsPerGrid_(cellsPerGrid) {}

  std::size_t cellsPerGrid() const { return cellsPerGrid_; }
  /// Reads the next grid into `grid` (cellsPerGrid values, file order); a failure when the
  /// file ends first.
  Status readGrid(std::span<float> grid);

 private:
  std::istream& in_;
  std::string path_;
  std::size_t cellsPerGrid_;
};

}  // namespace runoff

#endif  // RUNOFF_COMMON_DISCHARGE_FILES_H_
