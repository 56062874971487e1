// What a calibration leaves in calibration/:
//   param-ravo-event-ver300.dat  the working directory's parameter file with the best values
//                                in place of the searched ones, its layout kept: runnable as is
//   topoData/<grid>.bin          each loss or soil grid whose factor was fitted, scaled by the best
//                                factor on the routed cells, in runoff-sim's layout
//   options.txt                  with --soil: runoff-sim's options for the best run (the loss
//                                method, the scheme, the soil's rule with its best values)
//   trace.csv                    evaluation,<each parameter>,objective: every evaluation in
//                                order, with the values the model ran with
//   scores.csv                   the best run's scores, as discharge-score writes them
//   hydrograph-<gauge>.dat       per scored gauge and hour: hour (from 1), mean rainfall over
//                                the cells upstream of the gauge (mm/h), observed discharge
//                                (NaN where none is scored), discharge simulated with the
//                                starting and with the best parameters (m3/s)
//   hydrographs.gp               the gnuplot script that draws hydrograph-<gauge>.png from them
//   lakes.csv                    with a lake's constant fitted, the lake list with the best
//                                constants, runnable with runoff-sim --lakes
// Numbers are the shortest decimals that read back as the same value.
#ifndef RUNOFF_CALIBRATE_CALIBRATION_FILES_H_
#define RUNOFF_CALIBRATE_CALIBRATION_FILES_H_

#include <ostream>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/evaluation/pairing.h"
#include "runoff/inputs/lake_list.h"
#include "runoff_calibrate/search_parameters.h"

namespace runoff {

inline constexpr const char* kCalibrationDirectory = "calibration";

/// `text` (a parameter file) with the whitespace-separated value number `field` (from 1) of
/// each of `values` replaced by its text, everything else as it stands.
std::string withFieldValues(const std::string& text,
                            const std::vector<std::pair<int, std::string>>& values);

/// The header and one line per evaluation; `values[e]` in the order of `parameters`.
void writeTrace(std::ostream& out, const std::vector<SearchParameter>& parameters,
                const std::vector<std::vector<double>>& values,
                const std::vector<double>& objectives);

/// One gauge's hydrograph data over the run's `hours` hours.
void writeHydrographData(std::ostream& out, const std::vector<double>& rain,
                         const std::vector<ObservedHour>& observed,
                         const std::vector<float>& startSimulated,
                         const std::vector<float>& bestSimulated);

/// A file name part made of `name`: letters, digits, '.', '-' and '_' kept, others '_'.
std::string fileNamePart(const std::string& name);

/// The script that draws every gauge's picture: `dataFiles[k]` into `pictures[k]`, titled
/// `titles[k]`, its rain axis down to `maxRain[k]` and beyond.
void writeHydrographScript(std::ostream& out, const std::vector<std::string>& titles,
                           const std::vector<std::string>& dataFiles,
                           const std::vector<std::string>& pictures,
                           const std::vector<double>& maxRain);

/// Runs gnuplot on `script` in `directory`, its messages into gnuplot.log there (removed when
/// it succeeds). The line to print: what was drawn, or why nothing was.
std::string drawWithGnuplot(const std::string& directory, const std::string& script,
                            const std::vector<std::string>& pictures, bool& drawn);

/// `lakes` as a lake list (name,lon,lat,area,rule,a,b,start), one lake a line.
void writeLakeList(std::ostream& out, const std::vector<Lake>& lakes);

}  // namespace runoff

#endif  // RUNOFF_CALIBRATE_CALIBRATION_FILES_H_
