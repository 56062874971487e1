// discharge-map: one colour image per simulated hour of the hourly discharge grid. Runs in the
// simulator's output directory; asks whether the user gives the discharge range.
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>

#include "common/discharge_files.h"
#include "common/params.h"
#include "common/status.h"
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
  const Result<RunParameters> read = readParameters(std::string("../") + kParameterFileName,
                                                    ParamScope::kPostProcessor, std::cout);
  if (read.status().code() == Status::Code::kCannotOpen) return failAndWait(read.message());
  if (!read.ok()) return fail(read.message());
  const RunParameters& p = read.value();
  std::cout << std::endl;

  std::cout << "Read " << kHourlyDischargePath << std::endl;
  std::ifstream file(kHourlyDischargePath, std::ios::binary);
  if (!file) return fail("Discharge data cannot open.");
  const std::int64_t hours = std::int64_t{24} * p.days;
  // "Max_time_counter" is kept as it stands, for compatibility of the console output.
  if (hours > kMaxHours) return fail("Max_time_counter exceeds 10000!");
  if (Status size =
          checkDischargeFileSize(kHourlyDischargePath, hours, "hours", p.topoRows, p.topoCols);
      !size.ok()) {
    return fail(size.message());
  }
  const std::size_t cells =
      static_cast<std::size_t>(p.topoRows) * static_cast<std::size_t>(p.topoCols);

  const Result<std::optional<DischargeRange>> answer = askForRange(std::cin, std::cout);
  if (!answer.ok()) return fail(answer.message());
  DischargeRange range;
  if (answer->has_value()) {
    range = **answer;
  } else {
    DischargeReader scan(file, kHourlyDischargePath, cells);
    if (Status scanned = scanDischargeRange(scan, hours, range); !scanned.ok()) {
      return fail(scanned.message());
    }
  }
  file.close();
  // "Maximun" is kept as it stands in these lines, for compatibility of the console output.
  if (!range.valid()) return fail("Maximun discharge <= Minimum discharge!");
  std::cout << "Maximun discharge = " << range.maxDischarge
            << " Minimum discharge = " << range.minDischarge << std::endl;

  std::cout << "Read " << kHourlyDischargePath << std::endl;
  file.open(kHourlyDischargePath, std::ios::binary);
  if (!file) return failAndWait("Discharge data cannot open.");
  DischargeReader discharge(file, kHourlyDischargePath, cells);
  if (Status drawn =
          renderDischargeMaps(discharge, hours, p.topoRows, p.topoCols, range, std::cout);
      !drawn.ok()) {
    return fail(drawn.message());
  }
  std::cout << "\nProgram ends!" << std::endl;
  return 0;
}
