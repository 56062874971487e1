#include "common/params.h"

#include <fstream>
#include <sstream>

#include "common/input_file.h"
#include "common/text_number.h"

namespace runoff {
namespace {

// Reads the values of one file in order, numbering them from 1 as the file does, and records
// the first failure as the message the program will print.
class ValueReader {
 public:
  explicit ValueReader(std::istream& in) : in_(in) {}

  bool failed() const { return !status_.ok(); }
  const Status& status() const { return status_; }

  bool readInt(int number, const char* name, std::int32_t& value) {
    auto token = next(number, name);
    return token && check(number, name, *token, parseInt32(*token, value));
  }
  bool readFloat(int number, const char* name, float& value) {
    auto token = next(number, name);
    return token && check(number, name, *token, parseFloat(*token, value));
  }
  bool readDouble(int number, const char* name, double& value) {
    auto token = next(number, name);
    return token && check(number, name, *token, parseDouble(*token, value));
  }

  // Refuses a value that was read but cannot be used; `rule` says what is required.
  bool require(bool ok, int number, const char* name, const std::string& rule,
               const std::string& shown) {
    if (!ok) fail(number, name, "must be " + rule + ", not " + shown);
    return ok;
  }

 private:
  std::optional<std::string> next(int number, const char* name) {
    if (failed()) return std::nullopt;
    auto token = nextToken(in_);
    if (!token) fail(number, name, "is missing");
    return token;
  }

  bool check(int number, const char* name, const std::string& token, ParseStatus status) {
    if (status == ParseStatus::kOk) return true;
    fail(number, name, std::string(describe(status)) + ": \"" + token + "\"");
    return false;
  }

  void fail(int number, const char* name, const std::string& problem) {
    std::ostringstream line;
    line << kParameterFileName << ": value " << number << " (" << name << ") " << problem << ".";
    status_ = Status::invalid(line.str());
  }

  std::istream& in_;
  Status status_;
};

std::string shown(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

}  // namespace

Result<RunParameters> readParameters(std::istream& in, ParamScope scope, std::ostream& echo) {
  RunParameters p;
  ValueReader r(in);
  // The echo lines completed before a failure stay written.
  const auto result = [&]() -> Result<RunParameters> {
    if (r.failed()) return r.status();
    return p;
  };
  const bool sim = scope == ParamScope::kSimulation;

  echo << "1) Reading parameters for study area." << std::endl;
  if (!r.readFloat(1, "topoScale", p.topoScale) ||
      !r.require(p.topoScale > 0, 1, "topoScale", "above 0", shown(p.topoScale))) {
    return result();
  }
  echo << "  Topography scale : " << static_cast<double>(p.topoScale) << std::endl;
  if (!r.readInt(2, "topoCols", p.topoCols) ||
      !r.require(p.topoCols >= 1, 2, "topoCols", "at least 1", shown(p.topoCols)) ||
      !r.readInt(3, "topoRows", p.topoRows) ||
      !r.require(p.topoRows >= 1, 3, "topoRows", "at least 1", shown(p.topoRows))) {
    return result();
  }
  echo << "  Number of col : " << p.topoCols << "  Number of row : " << p.topoRows << std::endl;
  if (!r.readDouble(4, "topoSwLon", p.topoSwLon) || !r.readDouble(5, "topoSwLat", p.topoSwLat)) {
    return result();
  }
  // "Sorth" is kept as it stands, for compatibility of the console output.
  echo << " Sorth West corner Longitude (degree) : " << p.topoSwLon
       << " Latitude (deg) : " << p.topoSwLat << std::endl;

  echo << "2) Reading parameters for input data." << std::endl;
  if (!r.readInt(6, "rainCols", p.rainCols) ||
      !r.require(p.rainCols >= 1, 6, "rainCols", "at least 1", shown(p.rainCols)) ||
      !r.readInt(7, "rainRows", p.rainRows) ||
      !r.require(p.rainRows >= 1, 7, "rainRows", "at least 1", shown(p.rainRows))) {
    return result();
  }
  echo << "  Number of col : " << p.rainCols << "  Number of row : " << p.rainRows << std::endl;
  if (!r.readDouble(8, "rainDx", p.rainDx) || !r.readDouble(9, "rainDy", p.rainDy)) {
    return result();
  }
  echo << "  Input data grid size of x-direction : " << p.rainDx << std::endl;
  echo << "  Input data grid size of y-direction : " << p.rainDy << std::endl;
  if (!r.readDouble(10, "rainSwLon", p.rainSwLon)) return result();
  echo << (sim ? "  Longitude of the center of the Southwest corner of input data (degree) : "
               : "  West corner longitude of input data : ")
       << p.rainSwLon << std::endl;
  if (!r.readDouble(11, "rainSwLat", p.rainSwLat)) return result();
  echo << (sim ? "  Latitude of the center of the Southwest corner of input data (degree) : "
               : "  South corner latitude of input data : ")
       << p.rainSwLat << std::endl;

  // "simuration" is kept as it stands, for compatibility of the console output.
  echo << "3) Reading parameters for simuration duration." << std::endl;
  if (!r.readInt(12, "days", p.days) ||
      !r.require(p.days >= 0, 12, "days", "at least 0", shown(p.days))) {
    return result();
  }
  echo << "  Simulation duration (days) : " << p.days << std::endl;
  if (!sim) return result();

  echo << "4) Reading parameters for finite difference condition." << std::endl;
  if (!r.readInt(13, "timeStep", p.timeStep) ||
      !r.require(p.timeStep >= 1 && p.timeStep <= 3600, 13, "timeStep", "from 1 to 3600",
                 shown(p.timeStep))) {
    return result();
  }
  echo << "  Finite difference time step (sec) : " << p.timeStep << std::endl;
  if (!r.readInt(14, "spaceSteps", p.spaceSteps) ||
      !r.require(p.spaceSteps >= 1, 14, "spaceSteps", "at least 1", shown(p.spaceSteps))) {
    return result();
  }
  echo << "  Finite difference space step : " << p.spaceSteps << std::endl;
  if (!r.readDouble(15, "fdWeight", p.fdWeight) ||
      !r.require(p.fdWeight >= 0 && p.fdWeight <= 1, 15, "fdWeight", "from 0 to 1",
                 shown(p.fdWeight))) {
    return result();
  }
  echo << "  Finite difference weight : " << p.fdWeight << std::endl;
  p.subSteps = 3600 / p.timeStep;

  echo << "5) Reading parameters for kinematic wave model." << std::endl;
  if (!r.readDouble(16, "slopeManning", p.slopeManning) ||
      !r.require(p.slopeManning > 0, 16, "slopeManning", "above 0", shown(p.slopeManning))) {
    return result();
  }
  // "roughmess" and the unit "[m/s]" (Manning's n is in s/m^(1/3)) are kept as they stand, here
  // and for the channel below, for compatibility of the console output.
  echo << "  Manning roughmess coefficient for slope [m/s] : " << p.slopeManning << std::endl;
  if (!r.readDouble(17, "channelManning", p.channelManning) ||
      !r.require(p.channelManning > 0, 17, "channelManning", "above 0", shown(p.channelManning))) {
    return result();
  }
  echo << "  Manning roughmess coefficient for channel [m/s] : " << p.channelManning << std::endl;
  if (!r.readInt(18, "channelThreshold", p.channelThreshold)) return result();
  echo << "  Area to classify slope and channel : " << p.channelThreshold << std::endl;

  // "itinial" is kept as it stands, for compatibility of the console output.
  echo << "6) Reading itinial discharge for kinematic wave model." << std::endl;
  if (!r.readDouble(19, "initialRunoff", p.initialRunoff) ||
      !r.require(p.initialRunoff >= 0, 19, "initialRunoff", "at least 0", shown(p.initialRunoff))) {
    return result();
  }
  echo << "  Initial runoff height [mm/hr] : " << p.initialRunoff << std::endl;
  return result();
}

Result<RunParameters> readParameters(const std::string& path, ParamScope scope,
                                     std::ostream& echo) {
  echo << "Reading parameters for runoff simulation." << std::endl;
  std::ifstream in;
  if (openInputFile(in, path) != InputFault::kNone) {
    return Status::cannotOpen(std::string(kParameterFileName) + " cannot open.");
  }
  return readParameters(in, scope, echo);
}

}  // namespace runoff
