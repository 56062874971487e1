// The mass-conservative kinematic wave step: the continuity equation in storage form,
//   dA/dt + dQ/dx = r,  Q = alpha * A^mExp (the cell's Manning relation),
// on the four-point implicit box of the nonlinear kinematic wave (Chow, Maidment and Mays,
// Applied Hydrology, section 9.6). Over the space interval from node j - 1 to node j and one
// time step, primes marking the new time level:
//   dx * (A'_j - A_j) = dt * (Q'_{j-1} - Q'_j) + dt * dx * r.
// The water on the interval is dx times the cross-section at its downstream node, so a cell's
// storage changes by exactly its inflow minus its outflow plus its lateral inflow, and summed
// over the cells the budget of a basin closes. The outlet passes its discharge on in single
// precision, as the cell downstream and the output files receive it; the few bits rounded off,
// dt * (Q - float(Q)) of water, stay on the cell and enter the last interval's balance in the
// next step, so that no water appears or vanishes between cells. The state is the node
// discharges alone: the areas and the water held back follow from them. Same units and inputs
// per step as the classic step (kinematic_wave.h); no I/O, no allocation.
#ifndef RUNOFF_MODEL_CONSERVATIVE_WAVE_H_
#define RUNOFF_MODEL_CONSERVATIVE_WAVE_H_

#include <cstddef>
#include <cstdint>
#include <span>

#include "runoff/model/kinematic_wave.h"

namespace runoff {

/// Flow cross-section (m^2) that carries discharge `q` (m^3/s >= 0): (q / alpha)^(1 / mExp).
double crossSection(const CellRouting& cell, double q);

/// Water held on the cell (m^3) by its discharges at the old time level: dx times the
/// cross-section at the downstream node of every space interval, the quadrature the
/// conservative step's continuity uses, and the water the rounding of the last outflow held
/// back. Node 0 belongs to the water arriving from upstream.
double cellStorage(const CellRouting& cell);

/// Advances the cell by one time step with upstream inflow `qIn` (m^3/s, summed over the
/// upstream cells in slot order) and returns the outlet discharge in single precision. Uses
/// the lateral inflow and ends with qLatPrev = qLatCur as the classic step does; theta is not
/// used. Never negative; a cell without water, inflow and lateral inflow stays exactly at 0.
/// The cross-sections raise discharges with `powerFunction`.
float stepConservativeWave(CellRouting& cell, double qIn,
                           PowerFunction powerFunction = PowerFunction::kLibm);

/// routeHours (kinematic_wave.h) with the conservative step: the same cells, histories, hourly
/// means and volumes.
void routeHoursConservative(std::span<const HourCell> cells, std::size_t firstStep,
                            std::int32_t subSteps, std::span<float> hourMeans,
                            PowerFunction powerFunction = PowerFunction::kLibm);

}  // namespace runoff

#endif  // RUNOFF_MODEL_CONSERVATIVE_WAVE_H_
