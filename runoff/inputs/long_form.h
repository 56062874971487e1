// Series in long form, one value a line, under a header that names three columns: the time,
// the name of the series the value belongs to and the value, in any order (other columns are
// ignored). The gauge series and observed discharge (time,gauge,discharge) and the releases
// of reservoirs (time,lake,outflow) take this form:
//   time,lake,outflow
//   2000-07-01T00:00:00,"Norris, TN",1.1
// The time is the beginning of the model hour, in a form parseIsoTime reads; the name may be
// quoted as in RFC 4180. Blank lines are skipped; a byte order mark and line ends of either
// kind are accepted. Each reader gives the value field its own meaning.
#ifndef RUNOFF_INPUTS_LONG_FORM_H_
#define RUNOFF_INPUTS_LONG_FORM_H_

#include <algorithm>
#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/inputs/run_start.h"

namespace runoff {

/// The header names of the three columns, lower case ("time", "gauge", "discharge").
struct LongFormColumns {
  const char* time;
  const char* name;
  const char* value;
};

/// One line of values.
struct LongFormLine {
  std::int32_t number = 0;  // of the file, from 1
  std::string where;        // "<path> line <number>", to begin a message
  CivilTime time;
  std::string name;   // not empty
  std::string value;  // the value's field as written, trimmed of blanks
};

/// Reads the header of `in` (from the file `path`, named in messages) and hands each line of
/// values to `take`, stopping at the first failure, of the file or of `take`. Refuses, naming
/// the line, a header without the three columns, a line of another number of fields than the
/// header, a quoted field not closed, a time that cannot be read and a value without a name.
Status readLongForm(std::istream& in, const std::string& path, const LongFormColumns& columns,
                    const std::function<Status(const LongFormLine&)>& take);

/// Sorts `values` (members `time` and `line`) by time, equal times in the order of their
/// lines, and refuses the second value of one time: "<path> line 9: <kind> "<name>" at
/// 2000-07-01T03:00:00 is already given on line 4.".
template <typename Timed>
Status sortByTimeOnce(std::vector<Timed>& values, const std::string& path, const char* kind,
                      const std::string& name) {
  std::stable_sort(values.begin(), values.end(),
                   [](const Timed& a, const Timed& b) { return a.time < b.time; });
  for (std::size_t k = 1; k < values.size(); ++k) {
    if (values[k].time != values[k - 1].time) continue;
    return Status::invalid(path + " line " + std::to_string(values[k].line) + ": " + kind + " \"" +
                           name + "\" at " + isoTime(values[k].time) +
                           " is already given on line " + std::to_string(values[k - 1].line) + ".");
  }
  return {};
}

}  // namespace runoff

#endif  // RUNOFF_INPUTS_LONG_FORM_H_
