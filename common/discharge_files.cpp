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

DischargeWriter::DischargeWriter(const std::string& directory, std::size_t cellsPerGrid)
    : directory_(directory), cellsPerGrid_(cellsPerGrid) {}

Result<std::unique_ptr<DischargeWriter>> DischargeWriter::create(const std::string& directory,
                                                                 std::size_t cellsPerGrid) {
  std::unique_ptr<DischargeWriter> writer(new DischargeWriter(directory, cellsPerGrid));
  // A directory under a final name would refuse its file only at publishing, when the others
  // may already stand: it is refused now, before any grid is computed.
  for (DischargeFile file : kDischargeFiles) {
    const std::string path = directory + "/" + dischargeFileName(file);
    if (isDirectoryAt(path))
      return Status::ioError(path + " cannot be written: it is a directory.");
  }
  for (DischargeFile file : kDischargeFiles) {
    auto& slot = writer->files_[static_cast<int>(file)];
    slot =
        std::make_unique<AtomicFile>(directory + "/" + dischargeFileName(file), std::ios::binary);
    if (Status ready = slot->ready(); !ready.ok()) return ready;
  }
  return writer;
}

Status DischargeWriter::append(DischargeFile file, std::span<const float> grid) {
  AtomicFile& out = *files_[static_cast<int>(file)];
  // A grid of another size would leave the file torn, as a failed write does.
  if (grid.size() != cellsPerGrid_ || !writeFloatRecords(out.stream(), grid)) {
    return Status::ioError(out.path() + " cannot be written.");
  }
  return {};
}

Status DischargeWriter::publish() {
  // All three are closed whole before any takes its final name.
  for (DischargeFile file : kDischargeFiles) {
    if (Status finished = files_[static_cast<int>(file)]->finish(); !finished.ok()) return finished;
  }
  for (DischargeFile file : kDischargeFiles) {
    if (Status published = files_[static_cast<int>(file)]->publish(); !published.ok()) {
      return published;
    }
  }
  return {};
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
