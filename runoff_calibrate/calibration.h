// A calibration from start to end: the search's parameters, the set-up of the candidate runs,
// the start, the global search in batches, the local polish, the best run's scores and
// series, and the files of calibration/. Console text lives here, in the order it prints.
#ifndef RUNOFF_CALIBRATE_CALIBRATION_H_
#define RUNOFF_CALIBRATE_CALIBRATION_H_

#include <ostream>

#include "common/status.h"
#include "runoff_calibrate/calibrate_options.h"

namespace runoff {

/// Runs the calibration `options` describe in the working directory, reporting on `console`
/// (and, when standard error is a terminal, a progress line there). Every refusal comes before
/// anything is written.
Status calibrate(const CalibrateOptions& options, std::ostream& console);

}  // namespace runoff

#endif  // RUNOFF_CALIBRATE_CALIBRATION_H_
