// One cell's kinematic wave problem and its time step. Discharge Q (m^3/s) is carried at
// nodes 0 (upstream end) to `nodes` (cell outlet) along the flow length; the relation
// Q = alpha * A^mExp gives the celerity dQ/dA = mExp * alpha^(1/mExp) * Q^((mExp-1)/mExp). A step
// is a weighted implicit finite difference on discharge, swept from upstream to downstream.
//
// Rainfall arrives in mm/h; lateral inflow is m^2/s per metre of flow length. Everything here
// is double precision evaluated left to right exactly as written; no I/O, no allocation.
#ifndef RUNOFF_MODEL_KINEMATIC_WAVE_H_
#define RUNOFF_MODEL_KINEMATIC_WAVE_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "runoff/model/power_choice.h"

namespace runoff {

// The routing state of a cell that takes part: constants fixed at set-up, and the discharge
// state advanced by each step.
struct CellRouting {
  float scale = 0;      // cell size, arc-seconds (copied from the grid cell)
  float widthX = 0;     // east-west width, m (copied from the grid cell)
  double flowLen = 0;   // flow length to the downstream cell, m
  double sinSlope = 0;  // sine of the slope angle
  double width = 0;     // flow width, m
  double manningN = 0;  // Manning roughness of the cell's class
  double invWidth = 0;  // 1 / width, 1/m
  double mExpFactor = 1;
  double mExp = 0;  // kinematic-wave exponent
  double alpha = 0;
  std::int32_t nodes = 0;    // finite-difference space intervals
  double dx = 0;             // space step, m
  std::int32_t dt = 0;       // time step, s
  double theta = 0;          // weight of the new time level
  std::vector<double> qOld;  // nodes + 1 discharges, old time level, m^3/s
  std::vector<double> qNew;  // nodes + 1 discharges, new time level, m^3/s
  double qLatPrev = 0;       // lateral inflow of the previous hour, m^2/s
  double qLatCur = 0;        // lateral inflow of the current hour, m^2/s

  // Per-cell constants of the step, formed once instead of at every node of every step (the
  // same operations on the same values, so the same bits): the celerity coefficient
  // mExp * alpha^(1/mExp) and exponent (mExp - 1) / mExp, dt / dx and 1 - theta.
  double celerityCoef = 0;
  double celerityExp = 0;
  double dtOverDx = 0;
  double oneMinusTheta = 0;
  // The last discharges whose powers were taken and those powers, reused when the same bits
  // come again: the inflow at node 0 (always 0 at a headwater cell) and, with one space
  // interval, the larger of the old and the predicted discharge at the outlet (it repeats once
  // a cell has settled).
  double lastInflow = 0;
  double lastInflowPower = 0;
  double lastStar = 0;
  double lastStarPower = 0;
};

/// Forms the per-cell constants of the step; call once after alpha, mExp, dt, dx and theta
/// are set.
void prepareStepConstants(CellRouting& cell);

/// A rate of water reaching the cell (mm/h: rainfall intensity, or a runoff rate) as lateral
/// inflow per metre of flow length (m^2/s). Needs scale, widthX and flowLen. A single-precision
/// rainfall value is widened exactly.
double lateralInflow(const CellRouting& cell, double mmPerHour);

/// Lateral inflow of the previous and the current hour from their rainfall.
void setLateralInflow(CellRouting& cell, float rainPreviousHour, float rainCurrentHour);

/// The same for the next hour of a cell that has just been routed through the hour before (or
/// that starts a run with the lateral inflow of the hour before it in qLatCur): qLatCur still
/// holds that hour's lateral inflow, the very value setLateralInflow would form from its rain,
/// so it becomes qLatPrev and only the current hour is converted.
void continueLateralInflow(CellRouting& cell, float rainCurrentHour);

/// The same from the rate that runs off the cell in the current hour (mm/h: the rainfall excess
/// left by a loss method), taken whole in double precision.
void continueLateralRate(CellRouting& cell, double runoffCurrentHour);

/// Advances the cell by one time step with upstream inflow `qIn` (m^3/s, already summed over
/// the upstream cells in slot order) and returns the outlet discharge in single precision.
/// The celerities raise discharges with `powerFunction`.
float stepKinematicWave(CellRouting& cell, double qIn,
                        PowerFunction powerFunction = PowerFunction::kLibm);

/// Water a cell has received as lateral inflow and let out at its outlet over the steps taken
/// (m^3, double precision): what a water budget needs of each step.
struct CellVolumes {
  double lateral = 0;  // lateral inflow r x flow length x dt, summed over the steps
  double outflow = 0;  // outlet discharge x dt: the single-precision value the cell passes on
  // The rain before losses, in the same per-step form as `lateral`; counted only where a loss
  // method or the soil runs (elsewhere the rain is `lateral` itself).
  double rain = 0;
  // With soil and groundwater stores: the evapotranspiration from the soil (each hour's whole,
  // hourVolume) and the baseflow (in the per-step form of `lateral`).
  double et = 0;
  double baseflow = 0;
};

/// Adds to `volumes` the lateral inflow of the `subSteps` steps of the hour that `cell` is about
/// to take, in the per-step form both schemes apply it: the first step averages the previous
/// and the current hour, the others take the current hour alone.
void addLateralVolume(CellVolumes& volumes, const CellRouting& cell, std::int32_t subSteps);

/// Adds to `volumes.rain` the rain of the hour `cell` is about to take, `rainCurrentHour` after
/// `rainPreviousHour` (mm/h), in the per-step form of addLateralVolume.
void addRainVolume(CellVolumes& volumes, const CellRouting& cell, double rainPreviousHour,
                   double rainCurrentHour, std::int32_t subSteps);

/// The same for any rate reaching the routing (mm/h), added to `sum`.
void addPerStepVolume(double& sum, const CellRouting& cell, double ratePreviousHour,
                      double rateCurrentHour, std::int32_t subSteps);

/// The volume (m^3) of `mm` of water on the cell, counted as a rate of `mm` mm/h over the
/// routing's hour of `subSteps` steps: what a store of `mm` holds, in the terms of
/// addLateralVolume.
double hourVolume(const CellRouting& cell, double mm, std::int32_t subSteps);

/// The volume of half a step of a rate of `mmPerHour`: the part of an hour's lateral inflow
/// that the per-step form applies in the next hour's first step instead.
double halfStepVolume(const CellRouting& cell, double mmPerHour);

/// Adds to `volumes` one step's outflow, the discharge `outflow` the step returned.
void countOutflow(CellVolumes& volumes, const CellRouting& cell, float outflow);

/// One cell's part in routeHours: its state, its feeders' sub-step histories in upstream slot
/// order, the buffer for its own (null when nothing reads it) and its volumes (null when the
/// run keeps no water budget).
struct HourCell {
  CellRouting* cell = nullptr;
  std::span<const float* const> feeders;
  float* history = nullptr;
  CellVolumes* volumes = nullptr;
};

inline constexpr std::size_t kMaxHourCells = 8;

/// Advances up to kMaxHourCells independent cells through the `subSteps` steps of one hour,
/// after setLateralInflow. Step s of a cell takes as inflow the sum, in order and in double
/// precision, of its feeders[f][firstStep + s], and stores its outflow in
/// history[firstStep + s]. hourMeans[i] receives cell i's mean outflow of the hour: the
/// single-precision sum in step order divided by `subSteps`. The cells' steps are interleaved
/// so that the processor overlaps their dependency chains (with the kernel's own power, their
/// powers are taken four at a time); each result is exactly that of stepping the cell alone
/// with the same `powerFunction`.
void routeHours(std::span<const HourCell> cells, std::size_t firstStep, std::int32_t subSteps,
                std::span<float> hourMeans, PowerFunction powerFunction = PowerFunction::kLibm);

}  // namespace runoff

#endif  // RUNOFF_MODEL_KINEMATIC_WAVE_H_
