// The parameters a calibration searches, from a CSV file of one parameter a line:
//   name,min,max[,scale]
//   slopeManning,0.1,0.8,log
//   channelManning,0.01,0.1
// name is a parameter the calibration knows (tunable_parameters.h), min and max bound its
// search (min below max, both values the model accepts), and scale is log (the range is
// searched on a logarithmic scale: both bounds above 0) or linear, the default. A first line
// whose second field is not a number is a header. Blank lines are skipped; fields may be
// quoted as in RFC 4180.
#ifndef RUNOFF_CALIBRATE_SEARCH_PARAMETERS_H_
#define RUNOFF_CALIBRATE_SEARCH_PARAMETERS_H_

#include <istream>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/run/tunable_parameters.h"

namespace runoff {

struct SearchParameter {
  const Tunable* tunable = nullptr;
  double min = 0;
  double max = 0;
  bool logScale = false;

  /// The search's coordinate of `value` (its logarithm on a log scale), and back.
  double toSearch(double value) const;
  double fromSearch(double coordinate) const;
};

/// The parameters of the CSV text `in`, read from `path` (named in messages). Refuses, naming
/// the line: an unknown name, a name listed twice, a bound that is not a number, min not below
/// max, a log range not above zero, a range beyond the values the model accepts, another
/// scale; and a file that lists no parameter.
Result<std::vector<SearchParameter>> readSearchParameters(std::istream& in,
                                                          const std::string& path);

/// Opens `path` and reads it as above.
Result<std::vector<SearchParameter>> readSearchParameters(const std::string& path);

}  // namespace runoff

#endif  // RUNOFF_CALIBRATE_SEARCH_PARAMETERS_H_
