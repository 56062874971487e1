#include "runoff/inputs/pet_grid.h"

#include <array>
#include <chrono>
#include <sstream>

#include "common/text_number.h"

namespace runoff {
namespace {

// A token as one console line can show it: printable characters only, and not too many.
std::string shown(const std::string& token) {
  std::string text;
  for (const char c : token) {
    if (text.size() == 40) return text + "...";
    text += (c >= 0x20 && c < 0x7f) ? c : '?';
  }
  return text;
}

}  // namespace

PetGrid buildPetGrid(std::int32_t rows, std::int32_t cols, std::int32_t windowDays) {
  PetGrid grid;
  grid.rows = rows;
  grid.cols = cols;
  grid.days = windowDays;
  grid.hourlyPet.assign(static_cast<std::size_t>(rows) * cols * windowDays * 24, 0.0f);
  return grid;
}

Status PetReader::readDayInto(void (*store)(void*, std::int32_t, std::int32_t, float),
                              void* context) {
  const std::int32_t day = static_cast<std::int32_t>(hours_ / 24) + 1;
  auto where = [&](std::int32_t hour) {
    return path_ + ": the record of day " + std::to_string(day) + " hour " + std::to_string(hour);
  };
  for (std::int32_t hour = 0; hour < 24; ++hour) {
    auto next = [&]() -> std::optional<std::string> {
      std::optional<std::string> token = nextToken(in_);
      if (!token && in_.bad()) return std::nullopt;
      return token;
    };
    auto ended = [&]() {
      if (in_.bad()) return Status::ioError(path_ + " cannot be read to its end.");
      return Status::invalid(path_ + " holds " + std::to_string(hours_) +
                             " hours of potential evapotranspiration; the run needs " +
                             std::to_string(static_cast<std::int64_t>(runDays_) * 24) + ".");
    };
    std::array<std::int32_t, 6> stamp{};
    for (int i = 0; i < 6; ++i) {
      const std::optional<std::string> token = next();
      if (!token) return ended();
      const ParseStatus status = parseInt32(*token, stamp[i]);
      if (status != ParseStatus::kOk) {
        return Status::invalid(where(hour) + " holds \"" + shown(*token) + "\" where its time " +
                               "stamp belongs, which " + describe(status) + ".");
      }
    }
    const std::optional<CivilTime> time = civilTime(stamp);
    if (hours_ == 0) {
      first_ = time;
      dated_ = time.has_value();
    } else if (dated_ && time != *first_ + std::chrono::hours(hours_)) {
      std::ostringstream s;
      s << where(hour) << " is stamped";
      for (const std::int32_t field : stamp) s << ' ' << field;
      s << ", not one hour after the record before it (a gap, or a file made for a rainfall grid "
           "of another size).";
      return Status::invalid(s.str());
    }
    for (std::int32_t k = rows_ - 1; k >= 0; --k) {
      for (std::int32_t l = 0; l < cols_; ++l) {
        const std::optional<std::string> token = next();
        if (!token) return ended();
        float value = 0;
        const ParseStatus status = parseFloat(*token, value);
        if (status != ParseStatus::kOk) {
          return Status::invalid(where(hour) + " holds \"" + shown(*token) + "\", which " +
                                 describe(status) + ".");
        }
        // A negative rate is condensation or a missing-data marker, neither of which the soil
        // can lose; a huge one is a unit mistake or a misread record.
        if (!(value >= 0.0f && value <= kMaxPet)) {
          std::ostringstream s;
          s << where(hour) << " holds \"" << shown(*token)
            << "\", which is not a potential evapotranspiration (0 to " << kMaxPet << " mm/h).";
          return Status::invalid(s.str());
        }
        store(context, hour, k * cols_ + l, value);
      }
    }
    ++hours_;
  }
  return {};
}

Status advancePetWindow(PetReader& reader, PetGrid& grid, std::int32_t firstDay,
                        std::int32_t days) {
  grid.firstDay = firstDay;
  grid.days = days;
  grid.hourlyPet.assign(static_cast<std::size_t>(grid.rows) * grid.cols * days * 24, 0.0f);
  for (std::int32_t day = firstDay; day < firstDay + days; ++day) {
    Status read = reader.readDay([&](std::int32_t hour, std::int32_t cell, float value) {
      grid.hourlyPet[grid.petIndex(cell, day, hour)] = value;
    });
    if (!read.ok()) return read;
  }
  return {};
}

Status checkPet(std::istream& in, std::int32_t rows, std::int32_t cols, std::int32_t runDays,
                std::optional<CivilTime> rainStart, const std::string& path) {
  PetReader reader(in, rows, cols, runDays, path);
  for (std::int32_t day = 1; day <= runDays; ++day) {
    Status read = reader.readDay([](std::int32_t, std::int32_t, float) {});
    if (!read.ok()) return read;
    if (day == 1 && rainStart && reader.firstStamp() && *reader.firstStamp() != *rainStart) {
      return Status::invalid(path + " begins at " + isoTime(*reader.firstStamp()) +
                             ", the rainfall at " + isoTime(*rainStart) +
                             "; the two files must hold the same hours.");
    }
  }
  return {};
}

}  // namespace runoff
