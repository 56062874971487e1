// Potential evapotranspiration (PET) on the rainfall grid, hour by hour: what the soil (and any
// open water) may lose to the air. Read from its file one day at a time, as a run moves from
// one window of days to the next, beside the rainfall.
//
// PET file "./input/pet.dat": the rainfall file's format on the rainfall grid (see
// runoff/inputs/rain_grid.h), text, values separated by any white space. For each day from 1
// to `days` and each hour from 0 to 23 one record: six integers, then rainRows x rainCols
// rates in mm/h, row by row from the NORTHERN row to the southern row, each row from west to
// east. Unlike rainfall, the file must hold every hour of the run (a missing hour is not
// zero PET, it is missing), each rate from 0 to kMaxPet. The six integers are the time stamp
// of the hour's start (year, month, day, hour, minute, second), as the tools write them; when
// the first record's stamp is a date and time, every record must be stamped one hour after
// the one before, which also refuses a file made for a rainfall grid of another size (its
// records would be read out of step), and the first stamp must be the rainfall file's first
// stamp when that is a date too. A file of another grid with the same number of cells cannot
// be told apart: the tools make the PET on the rainfall grid of the parameter file.
#ifndef RUNOFF_INPUTS_PET_GRID_H_
#define RUNOFF_INPUTS_PET_GRID_H_

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/inputs/run_start.h"

namespace runoff {

inline constexpr const char* kPetPath = "./input/pet.dat";
// Largest PET accepted, mm/h: some 50 times the highest hourly evaporation measured, and
// below any year or other number that a misread record would put in a rate's place.
inline constexpr float kMaxPet = 100.0f;

/// The PET of a window of days on the rainfall grid.
struct PetGrid {
  std::int32_t rows = 0;  // the rainfall grid's
  std::int32_t cols = 0;
  std::int32_t firstDay = 1;
  std::int32_t days = 0;
  std::vector<float> hourlyPet;  // [cell][day firstDay .. firstDay+days-1][hour 0..23], mm/h

  std::size_t petIndex(std::int32_t cell, std::int32_t day, std::int32_t hour) const {
    return (static_cast<std::size_t>(cell) * days + (day - firstDay)) * 24 + hour;
  }
  /// PET of rainfall cell `cell` (row-major from the southern row) on `day` (firstDay to
  /// firstDay + days - 1), hour index 0 to 23, mm/h.
  float pet(std::int32_t cell, std::int32_t day, std::int32_t hour) const {
    return hourlyPet[petIndex(cell, day, hour)];
  }
};

/// Where a run's PET comes from: the window of input/pet.dat, or one rate everywhere (--pet, or 0
/// when neither is given). What any store that loses water to the air (a soil, a lake) reads.
struct PetSource {
  const PetGrid* grid = nullptr;  // the window that holds the hours asked for; null: constant
  double constantMmPerHour = 0;   // without a grid, >= 0

  /// PET of rainfall cell `cell` (row-major from the southern row) on `day` and hour index
  /// `hour` (0 to 23) of the grid's window, mm/h.
  double at(std::int32_t cell, std::int32_t day, std::int32_t hour) const {
    return grid != nullptr ? static_cast<double>(grid->pet(cell, day, hour)) : constantMmPerHour;
  }
};

/// A grid of the rainfall grid's `rows` x `cols` cells for windows of up to `windowDays` days,
/// all PET zero.
PetGrid buildPetGrid(std::int32_t rows, std::int32_t cols, std::int32_t windowDays);

/// Reads a PET file one day at a time, from its first record, for a run of `runDays` days.
class PetReader {
 public:
  PetReader(std::istream& in, std::int32_t rows, std::int32_t cols, std::int32_t runDays,
            std::string path = kPetPath)
      : in_(in), rows_(rows), cols_(cols), runDays_(runDays), path_(std::move(path)) {}

  /// Reads the next day's 24 records; `store(hour, cell, mmPerHour)` receives every value
  /// (cell row-major from the southern row). Refuses, naming the day (from 1) and hour (from
  /// 0): a stamp that is not six integers, a record out of step with the dated one before it,
  /// a value that is not a number or not a rate from 0 to kMaxPet; and a file that ends
  /// before the run's last hour.
  template <typename Store>
  Status readDay(Store store);

  /// The first record's stamp, once read, when it is a date and time.
  std::optional<CivilTime> firstStamp() const { return first_; }

 private:
  Status readDayInto(void (*store)(void*, std::int32_t, std::int32_t, float), void* context);

  std::istream& in_;
  std::int32_t rows_, cols_;
  std::int32_t runDays_;
  std::string path_;
  std::int64_t hours_ = 0;  // whole records read so far
  std::optional<CivilTime> first_;
  bool dated_ = false;  // the first record's stamp is a date and time
};

template <typename Store>
Status PetReader::readDay(Store store) {
  return readDayInto([](void* context, std::int32_t hour, std::int32_t cell,
                        float value) { (*static_cast<Store*>(context))(hour, cell, value); },
                     &store);
}

/// Moves the window on to the `days` days from `firstDay`, the next ones of `reader`.
Status advancePetWindow(PetReader& reader, PetGrid& grid, std::int32_t firstDay, std::int32_t days);

/// Reads the `runDays` days of the run from the start of `in` without keeping them, so that a
/// file that cannot serve the whole run stops it before hours of routing; with `rainStart`
/// (the rainfall file's first stamp, when it is a date), a dated file must begin there too.
Status checkPet(std::istream& in, std::int32_t rows, std::int32_t cols, std::int32_t runDays,
                std::optional<CivilTime> rainStart, const std::string& path = kPetPath);

}  // namespace runoff

#endif  // RUNOFF_INPUTS_PET_GRID_H_
