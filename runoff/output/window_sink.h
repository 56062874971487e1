// Where the routed windows go. Each output of a run (the raw discharge files it was asked for,
// the gauge series, the NetCDF file) takes every window's hourly grids as the window ends,
// keeps of them only what it has yet to write, and is published whole once the run is done:
// until then its files lie under temporary names, which a sink destroyed unpublished removes.
// A run spread over several processes gives each process its own sinks, which write that
// process's cells; finish() then closes the files on every process before any is published.
#ifndef RUNOFF_OUTPUT_WINDOW_SINK_H_
#define RUNOFF_OUTPUT_WINDOW_SINK_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/routing/window_router.h"

namespace runoff {

class WindowSink {
 public:
  virtual ~WindowSink() = default;
  /// Takes the hourly grids of the window whose first day is day `firstDay` of the run
  /// (from 1); windows come in order, each day once.
  virtual Status take(const WindowGrids& grids, std::int32_t firstDay) = 0;
  /// Writes what it still holds and closes its files, every byte written; nothing is under
  /// its final name yet.
  virtual Status finish() = 0;
  /// Gives the finished files their final names.
  virtual Status publish() = 0;
  /// The files it writes, as the console names them ("./output/dischargeDaily.bin").
  virtual std::vector<std::string> paths() const = 0;
};

using WindowSinks = std::vector<std::unique_ptr<WindowSink>>;

}  // namespace runoff

#endif  // RUNOFF_OUTPUT_WINDOW_SINK_H_
