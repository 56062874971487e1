// The straightforward routing design, kept as the reference that the tests and the routing
// benchmark compare the simulator against: the time step evaluated literally (every power at
// every node), and cell-major routing in calculation order that keeps every cell's whole
// sub-step outflow history until the hourly means are formed at the end.
#ifndef RUNOFF_TESTS_SUPPORT_PLAIN_ROUTING_H_
#define RUNOFF_TESTS_SUPPORT_PLAIN_ROUTING_H_

#include <ostream>

#include "runoff_sim/discharge_output.h"
#include "runoff_sim/kinematic_wave.h"
#include "runoff_sim/routing_loop.h"
#include "runoff_sim/routing_setup.h"

namespace runoff::reference {

/// One time step exactly as written: k and e formed at every node, every power taken afresh.
float literalStepKinematicWave(CellRouting& cell, double qIn);

/// Routes like the simulator's loop, in calculation order on one thread with full histories,
/// writing the same progress lines; the hourly means come from the histories at the end.
void plainRouteCells(const RoutingRun& run, RoutingStates& states, HourlyDischarge& discharge,
                     std::ostream& console);

}  // namespace runoff::reference

#endif  // RUNOFF_TESTS_SUPPORT_PLAIN_ROUTING_H_
