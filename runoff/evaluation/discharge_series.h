// Discharge series in long form, one value a line: the form of the gauge series the converter
// writes (gauges.csv) and of the observed discharge a model is held against.
//   time,gauge,discharge
//   2000-07-01T00:00:00,Jellico,0.0123
// The first line is a header naming the three columns, in any order (other columns are
// ignored). time is the beginning of the model hour, in a form parseIsoTime reads
// (2000-07-01T00:00:00); gauge a name, quoted as in RFC 4180 where it needs to be; discharge
// in m3/s. An empty field, "nan" (in any case) or a negative value is a missing value.
// Discharge is read in single precision, the precision of the model's hourly means: a series
// the converter wrote (each value the shortest decimal of its float32) reads back exactly.
// Blank lines are skipped; a byte order mark and line ends of either kind are accepted.
#ifndef RUNOFF_EVALUATION_DISCHARGE_SERIES_H_
#define RUNOFF_EVALUATION_DISCHARGE_SERIES_H_

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/inputs/run_start.h"

namespace runoff {

struct TimedValue {
  CivilTime time;
  float discharge = 0;    // m3/s; NaN when missing
  std::int32_t line = 0;  // of the file, for messages
};

/// Every value of a long-form file, gauge by gauge.
struct DischargeSeries {
  std::vector<std::string> gauges;              // in the order of their first line
  std::vector<std::vector<TimedValue>> values;  // per gauge, in increasing time
  std::int64_t count = 0;                       // values read, missing ones included
  std::int64_t missing = 0;
};

/// The series of the CSV text `in`, read from the file `path` (named in messages). Refuses,
/// naming the line, a header without the three columns, a line of another number of fields,
/// a time or a discharge that cannot be read, and a gauge given twice at one time; and a file
/// with no value.
Result<DischargeSeries> readDischargeSeries(std::istream& in, const std::string& path);

/// Opens `path` and reads it as above.
Result<DischargeSeries> readDischargeSeries(const std::string& path);

/// Hourly series of several gauges on one clock: value h of each gauge is the mean over the
/// hour that begins h hours after `start`.
struct HourlySeries {
  CivilTime start;
  std::int64_t hours = 0;
  std::vector<std::string> gauges;
  std::vector<std::vector<float>> values;  // per gauge, `hours` values, NaN when missing
};

/// `series` on the clock of its earliest time, to its latest; hours a gauge lacks are
/// missing. Refuses a time that is not a whole number of hours after the earliest one.
Result<HourlySeries> onHourlyClock(const DischargeSeries& series, const std::string& path);

}  // namespace runoff

#endif  // RUNOFF_EVALUATION_DISCHARGE_SERIES_H_
