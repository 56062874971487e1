// The hourly discharge grid that the simulator writes, as the post-processors read it.
//
// Layout: no header; little-endian float32 (m^3/s), one grid of rows x cols values per hour,
// hour 1 first; within an hour rows from south to north, each row from west to east. Cells
// without a result hold -9999. Both post-processors read it strictly sequentially, from its
// start, holding at most one hour of it.
#ifndef RUNOFF_COMMON_HOURLY_DISCHARGE_H_
#define RUNOFF_COMMON_HOURLY_DISCHARGE_H_

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <system_error>

namespace runoff {

inline constexpr const char* kHourlyDischargePath = "./dischargeHourly.bin";

/// Checks that the file at `path` is a regular file holding at least `hours` x `rows` x `cols`
/// values. Returns the one console line that explains why it is unusable, or nullopt.
inline std::optional<std::string> checkHourlyFileSize(const std::filesystem::path& path,
                                                      std::int64_t hours, std::int32_t rows,
                                                      std::int32_t cols) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::is_regular_file(status)) {
    return "Discharge data cannot be used: " + path.string() + " is not a regular file.";
  }
  const std::uintmax_t bytes = std::filesystem::file_size(path, ec);
  if (ec) {
    return "Discharge data cannot be used: the size of " + path.string() + " cannot be learned.";
  }
  // hours x rows x cols can exceed 64 bits only for durations no file can hold.
  const unsigned __int128 needed = static_cast<unsigned __int128>(hours) *
                                   static_cast<unsigned __int128>(rows) *
                                   static_cast<unsigned __int128>(cols);
  const std::uintmax_t held = bytes / 4;
  if (needed <= held) return std::nullopt;
  const std::string need = needed > std::numeric_limits<std::uint64_t>::max()
                               ? "more than 2^64"
                               : std::to_string(static_cast<std::uint64_t>(needed));
  return "Discharge data is too short: " + path.string() + " holds " + std::to_string(held) +
         " values, " + std::to_string(hours) + " hours of " + std::to_string(cols) + " x " +
         std::to_string(rows) + " cells need " + need + ".";
}

}  // namespace runoff

#endif  // RUNOFF_COMMON_HOURLY_DISCHARGE_H_
