#include "common/discharge_files.h"

#include <filesystem>
#include <limits>
#include <system_error>

#include "common/binary_grid.h"
#include "common/input_file.h"

namespace runoff {

const char* dischargeFileName(DischargeFile file) {
  switch (file) {
    case DischargeFile::kDaily:
      return "dischargeDaily.bin";
    case DischargeFile::kDailyMax:
      return "dischargeHourlyMaxInDay.bin";
    case DischargeFile::kHourly:
      return "dischargeHourly.bin";
  }
  return "";
}

std::int32_t gridsPerDay(DischargeFile file) { return file == DischargeFile::kHourly ? 24 : 1; }

std::string outputPath(DischargeFile file) {
  return std::string(kOutputDirectory) + "/" + dischargeFileName(file);
}

std::uint64_t dischargeFileBytes(DischargeFile file, std::int64_t rows, std::int64_t cols,
                                 std::int64_t days) {
  return static_cast<std::uint64_t>(days) * static_cast<std::uint64_t>(gridsPerDay(file)) *
         static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(cols) * 4;
}

Status checkDischargeFileSize(const std::string& path, std::int64_t grids, const char* gridUnit,
                              std::int32_t rows, std::int32_t cols) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::is_regular_file(status)) {
    return Status::invalid("Discharge data cannot be used: " + path + " is not a regular file.");
  }
  const std::uintmax_t bytes = std::filesystem::file_size(path, ec);
  if (ec) {
    return Status::invalid("Discharge data cannot be used: the size of " + path +
                           " cannot be learned.");
  }
  // grids x rows x cols can exceed 64 bits only for durations no file can hold.
  const unsigned __int128 needed = static_cast<unsigned __int128>(grids) *
                                   static_cast<unsigned __int128>(rows) *
                                   static_cast<unsigned __int128>(cols);
  const std::uintmax_t held = bytes / 4;
  if (needed <= held) return {};
  const std::string need = needed > std::numeric_limits<std::uint64_t>::max()
                               ? "more than 2^64"
                               : std::to_string(static_cast<std::uint64_t>(needed));
  return Status::invalid("Discharge data is too short: " + path + " holds " + std::to_string(held) +
                         " values, " + std::to_string(grids) + " " + gridUnit + " of " +
                         std::to_string(cols) + " x " + std::to_string(rows) + " cells need " +
                         need + ".");
}

Status DischargeReader::readGrid(std::span<float> grid) {
  if (grid.size() != cellsPerGrid_ || !readFloatRecords(in_, grid)) {
    return Status::ioError("Discharge data cannot be read to its end: " + path_);
  }
  return {};
}

}  // namespace runoff
