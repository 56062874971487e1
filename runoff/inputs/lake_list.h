// The lakes and reservoirs of a run: a CSV file of one lake a line under a header that names
// the columns name, lon, lat, area, rule, a, b and start, in any order (lon and lat may be
// spelled longitude and latitude; other columns are ignored). Fields may be quoted as in
// RFC 4180; blank lines are skipped; a byte order mark and line ends of either kind are
// accepted.
//   name,lon,lat,area,rule,a,b,start
//   Norris,-84.09,36.22,137,weir,120,1.5,0.3
//   "Cove Lake, TN",-84.20,36.31,0.8,linear,36,,0
//   Upper,-84.15,36.27,2.5,releases,12,,1.2
// lon, lat: the lake's outlet in degrees, placed on a routed cell as gauges are placed;
// area: the lake's surface in km2 (> 0); rule: linear, weir or releases (runoff/model/lake.h);
// a: linear, the time constant in hours; weir, the discharge in m3/s at a level of 1 m;
// releases, the capacity in 10^6 m3 (> 0); b: weir, the exponent of the level (> 0; other
// rules ignore the field, which may be empty); start: the level above the crest at the start
// in m (0 or more; empty for 0). Names must be unique and not empty.
#ifndef RUNOFF_INPUTS_LAKE_LIST_H_
#define RUNOFF_INPUTS_LAKE_LIST_H_

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/model/lake.h"

namespace runoff {

struct Lake {
  std::string name;
  double lon = 0;  // of the outlet, degrees east
  double lat = 0;  // degrees north
  double areaKm2 = 0;
  LakeRule rule = LakeRule::kLinear;
  double a = 0;
  double b = 0;
  double startLevel = 0;  // m above the crest
  std::int32_t line = 0;  // of the file, for messages

  LakeParameters parameters() const { return {rule, areaKm2 * 1.0e6, a, b}; }
  /// The storage of the start level, m^3.
  double startStorage() const { return startLevel * (areaKm2 * 1.0e6); }
};

/// The lakes of the CSV text `in`, read from the file `path` (named in messages); refused with
/// the line and the value at fault, or when the file lists no lake.
Result<std::vector<Lake>> readLakes(std::istream& in, const std::string& path);

/// The checksum a restart state keeps of a lake list: FNV-1a over each lake in order, its name
/// and a 0 byte, then lon, lat, area (f64), the rule (u32), a and b (f64), little-endian. The
/// start levels are left out: a continued run starts from the stored storage.
std::uint64_t lakeListChecksum(const std::vector<Lake>& lakes);

/// Opens `path` and reads it as above; "<path> cannot be opened." or "<path> is a directory,
/// not a file." when it cannot.
Result<std::vector<Lake>> readLakes(const std::string& path);

}  // namespace runoff

#endif  // RUNOFF_INPUTS_LAKE_LIST_H_
