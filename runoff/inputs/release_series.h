// The releases of the reservoirs whose operation is known, in the long form of observed
// discharge (runoff/inputs/long_form.h): one value a line, the outflow in m3/s a lake of the
// releases rule lets out in the hour that begins at the time.
//   time,lake,outflow
//   2000-07-01T00:00:00,Upper,1.1
//   2000-07-01T06:00:00,Upper,13
// A lake keeps its last value through the hours without one (a value stamped within an hour
// takes effect from the next hour's beginning); before its first value it releases nothing. An
// empty field or "nan" (in any case) gives no value. Values are read in double precision.
#ifndef RUNOFF_INPUTS_RELEASE_SERIES_H_
#define RUNOFF_INPUTS_RELEASE_SERIES_H_

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/inputs/lake_list.h"
#include "runoff/inputs/run_start.h"

namespace runoff {

struct ReleaseValue {
  CivilTime time;
  double outflow = 0;     // m3/s
  std::int32_t line = 0;  // of the file, for messages
};

/// The series of every lake of a lake list: values[k] belongs to lakes[k], in increasing
/// time, empty for a lake the file does not name.
struct ReleaseSeries {
  std::vector<std::vector<ReleaseValue>> values;
};

/// The releases of the CSV text `in`, read from the file `path` (named in messages), for
/// `lakes`. Refuses, naming the line and the value, what the long form refuses, a lake not in
/// the list or of another rule than releases, an outflow that is not a number or negative, a
/// lake given twice at one time; and a file with no value.
Result<ReleaseSeries> readReleases(std::istream& in, const std::string& path,
                                   const std::vector<Lake>& lakes);

/// Opens `path` and reads it as above.
Result<ReleaseSeries> readReleases(const std::string& path, const std::vector<Lake>& lakes);

/// The release of a lake's series `values` in force in the hour that begins at `hour`: its
/// last value at or before it; nothing before the first.
std::optional<double> releaseInForce(const std::vector<ReleaseValue>& values, CivilTime hour);

}  // namespace runoff

#endif  // RUNOFF_INPUTS_RELEASE_SERIES_H_
