// The configuration file that initialize() reads: which basin to run and how.
//
// Text, one setting a line, "key = value"; blank lines and lines whose first non-blank
// character is '#' are skipped. Keys:
//   workdir = PATH      the basin's folder, holding param-ravo-event-ver300.dat, topoData/,
//                       input/, output/ and temp/ as for runoff-sim; a relative path is taken
//                       from the configuration file's own folder. Required.
//   options = ARGS      options of runoff-sim, separated by blanks (no quoting: an argument
//                       holds no blank), e.g. "--scheme conservative --gauges gauges.csv".
//                       Optional; without it the run is runoff-sim's plain run.
// Each key at most once; any other key, or a line without '=', is refused naming its line.
//
//   # the example basin, conservative scheme
//   workdir = ../examples/sample-basin
//   options = --scheme conservative
#ifndef RUNOFF_BMI_BMI_CONFIG_H_
#define RUNOFF_BMI_BMI_CONFIG_H_

#include <istream>
#include <string>
#include <vector>

#include "common/status.h"

namespace runoff {

struct BmiConfig {
  std::string workdir;            // absolute, or as given when read from a stream
  std::vector<std::string> args;  // the options of runoff-sim, one argument each
};

/// Reads a configuration from `in`; `origin` names it in messages.
Result<BmiConfig> readBmiConfig(std::istream& in, const std::string& origin);

/// Reads the file at `path`; a relative workdir becomes relative to the file's folder.
Result<BmiConfig> readBmiConfigFile(const std::string& path);

}  // namespace runoff

#endif  // RUNOFF_BMI_BMI_CONFIG_H_
