// discharge-map: one colour image per simulated hour of the hourly discharge grid. Runs in the
// simulator's output directory; asks whether the user gives the discharge range.
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>

#include "common/hourly_discharge.h"
#include "common/params.h"
#include "discharge_map/discharge_range.h"
#include "discharge_map/map_renderer.h"

namespace {

// Beyond this many hours the run is refused: that many images would swamp the directory.
constexpr std::int64_t kMaxHours = 10000;

int fail(const std::string& message) {
  std::cout << message << std::endl;
  return 1;
}

// The closing lines of the failures after which the console window is kept open. A key is
// one character; the end of input ends the wait as well.
int failAndWait(const std::string& message) {
  std::cout << message << "\n\nProgram ends. Hit any key!" << std::endl;
  std::cin.get();
  return 1;
}

}  // namespace

int main() {
  using namespace runoff;
  const ParamResult read = readParameters(std::string("../") + kParameterFileName,
                                          ParamScope::kPostProcessor, std::cout);
  if (read.status == ParamResult::Status::kCannotOpen) return failAndWait(read.message);
  if (read.status != ParamResult::Status::kOk) return fail(read.message);
  const RunParameters& p = read.params;
  std::cout << std::endl;

  std::cout << "Read " << kHourlyDischargePath << std::endl;
  std::ifstream discharge(kHourlyDischargePath, std::ios::binary);
  if (!discharge) return fail("Discharge data cannot open.");
  const std::int64_t hours = std::int64_t{24} * p.days;
  if (hours > kMaxHours) return fail("Max_time_counter exceeds 10000!");
  if (auto unusable = checkHourlyFileSize(kHourlyDischargePath, hours, p.topoRows, p.topoCols)) {
    return fail(*unusable);
  }

  const RangeAnswer answer = askForRange(std::cin, std::cout);
  if (answer.kind == RangeAnswer::Kind::kRefused) return fail(answer.message);
  DischargeRange range = answer.range;
  if (answer.kind == RangeAnswer::Kind::kAutomatic) {
    const std::size_t cells =
        static_cast<std::size_t>(p.topoRows) * static_cast<std::size_t>(p.topoCols);
    if (!scanDischargeRange(discharge, hours, cells, range)) {
      return fail(std::string("Discharge data cannot be read to its end: ") + kHourlyDischargePath);
    }
  }
  discharge.close();
  if (!range.valid()) return fail("Maximun discharge <= Minimum discharge!");
  std::cout << "Maximun discharge = " << range.maxDischarge
            << " Minimum discharge = " << range.minDischarge << std::endl;

  std::cout << "Read " << kHourlyDischargePath << std::endl;
  discharge.open(kHourlyDischargePath, std::ios::binary);
  if (!discharge) return failAndWait("Discharge data cannot open.");
  if (auto failure =
          renderDischargeMaps(discharge, hours, p.topoRows, p.topoCols, range, std::cout)) {
    return fail(*failure);
  }
  std::cout << "\nProgram ends!" << std::endl;
  return 0;
}
