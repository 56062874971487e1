// The straightforward routing design, kept as the reference that the tests and the routing
// benchmark compare the simulator against: the time step evaluated literally (every power at
// every node), and cell-major routing in calculation order that keeps every cell's whole
// sub-step outflow history until the hourly means are formed at the end.
#ifndef RUNOFF_TESTS_SUPPORT_PLAIN_ROUTING_H_
#define RUNOFF_TESTS_SUPPORT_PLAIN_ROUTING_H_

#include <cstdint>
#include <ostream>
#include <span>
#include <vector>

#include "runoff/inputs/calc_order.h"
#include "runoff/output/discharge_output.h"
#include "runoff/model/kinematic_wave.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/routing/routing_setup.h"
#include "runoff/inputs/topo_grid.h"

namespace runoff::reference {

/// A whole run as the plain design sees it: the rain of every day at once.
struct PlainRun {
  const TopoGrid& grid;
  const RainGrid& rain;  // days 1 to `days`
  const CalculationOrder& order;
  const std::vector<std::uint8_t>& selected;  // per grid cell
  std::int32_t days = 0;
  std::int32_t subSteps = 0;
};

/// The hourly means of every selected cell for the whole run.
class HourlyDischarge {
 public:
  /// `selected[i]` marks the grid cells that are written; all their means start at 0.
  HourlyDischarge(const std::vector<std::uint8_t>& selected, std::int32_t days);

  bool isSelected(std::int32_t cell) const { return slot_[cell] >= 0; }
  std::int32_t days() const { return days_; }
  /// The days x 24 hourly means of a selected cell, hour index fastest.
  std::span<float> of(std::int32_t cell) {
    return {values_.data() + static_cast<std::size_t>(slot_[cell]) * hours(), hours()};
  }
  std::span<const float> of(std::int32_t cell) const {
    return {values_.data() + static_cast<std::size_t>(slot_[cell]) * hours(), hours()};
  }

 private:
  std::size_t hours() const { return static_cast<std::size_t>(days_) * 24; }
  std::int32_t days_;
  std::vector<std::int32_t> slot_;  // per grid cell: row of values_, or -1
  std::vector<float> values_;
};

/// One time step exactly as written: k and e formed at every node, every power taken afresh.
float literalStepKinematicWave(CellRouting& cell, double qIn);
/// The same with the kernel's own power for the powers of discharge (k as above).
float literalStepKinematicWaveOwnPower(CellRouting& cell, double qIn);

/// One cell's time step: inflow in, outlet discharge in single precision out.
using CellStep = float (*)(CellRouting& cell, double qIn);

/// Routes the whole run cell by cell in calculation order on one thread, every cell through
/// every day before the next, keeping full histories and writing the progress lines; the
/// hourly means come from the histories at the end. `step` advances a cell by one time step.
void plainRouteCells(const PlainRun& run, RoutingStates& states, HourlyDischarge& discharge,
                     std::ostream& console, CellStep step = literalStepKinematicWave);

}  // namespace runoff::reference

#endif  // RUNOFF_TESTS_SUPPORT_PLAIN_ROUTING_H_
