// Before routing, every cell of a basin off the outer ring gets the constants of its kinematic
// wave problem (flow length, slope, class, width, roughness, coefficients, space and time
// step) and a steady initial discharge profile under a uniform runoff rate.
#ifndef RUNOFF_ROUTING_ROUTING_SETUP_H_
#define RUNOFF_ROUTING_ROUTING_SETUP_H_

#include <cstdint>
#include <vector>

#include "common/params.h"
#include "runoff/inputs/grid_cell.h"
#include "runoff/inputs/loss_grids.h"
#include "runoff/inputs/soil_grids.h"
#include "runoff/model/kinematic_wave.h"
#include "runoff/model/losses.h"
#include "runoff/model/soil.h"
#include "runoff/routing/routed_lake.h"
#include "runoff/inputs/topo_grid.h"

namespace runoff {

/// Constants of the cell's problem: setCellGeometry, then setCellParameters.
void setParameterData(CellRouting& routing, const GridCell& cell, bool hasDown, float downElev,
                      double slopeManning, double channelManning, std::int32_t channelThreshold,
                      std::int32_t spaceSteps, std::int32_t timeStep, double fdWeight);

/// The constants the terrain alone fixes: cell size and width, flow length and slope.
/// `downElev` is the elevation of the downstream cell, used only when `hasDown`. A direction
/// code outside 1..8 gets the diagonal flow length.
void setCellGeometry(CellRouting& routing, const GridCell& cell, bool hasDown, float downElev);

/// The constants that follow from the run's parameters, after setCellGeometry: the class of
/// the cell (channel above `channelThreshold`) with its flow width and roughness, the space
/// and time steps, the weight of the new time level and the Manning coefficient.
void setCellParameters(CellRouting& routing, const GridCell& cell, double slopeManning,
                       double channelManning, std::int32_t channelThreshold,
                       std::int32_t spaceSteps, std::int32_t timeStep, double fdWeight);

/// Steady linear profile from inflow Q0 (the area upstream) to outflow Q1 (with the cell's
/// own area) under `initialRunoff` mm/h, and the matching lateral inflow.
void setInitialDischarge(CellRouting& routing, const GridCell& cell, double initialRunoff);

/// What a cell's soil and groundwater carry from hour to hour, and across windows and restarts:
/// the stores, and the last hour's exchange with the surface, which the routing applies in
/// per-step form (the next hour's first sub-step averages it with that hour's) and the water
/// budget therefore counts half a sub-step of it as still on its way.
struct CellSoil {
  SoilState stores;
  double lastInfiltration = 0;  // the last hour's infiltration the soil kept, mm/h (the loss
                                // method's loss less the saturation excess)
  double lastBaseflow = 0;      // the last hour's baseflow, mm/h
  double lastRain = 0;          // the last hour's rain, mm/h (for the water budget's rain in a
                                // run without a loss method, whose LossState keeps it else)
};

/// The values of a CellSoil, in the order of its members (soil, groundwater, last
/// infiltration, last baseflow, last rain): what a restart state stores.
inline constexpr std::size_t kCellSoilValues = kSoilStateValues + 3;

/// The routing states of a grid: one per cell that takes part (a basin cell off the outer
/// ring), found through `slotOfCell`.
struct RoutingStates {
  std::vector<std::int32_t> slotOfCell;  // per grid cell: index into `states`, or -1
  std::vector<CellRouting> states;
  // Per slot, the water each cell took in and let out: empty unless the run keeps a budget.
  std::vector<CellVolumes> volumes;
  // Per slot, the state of the cell's rainfall losses: empty unless a loss method runs.
  std::vector<LossState> losses;
  // Per slot, the cell's soil and groundwater: empty unless the run keeps them (--soil).
  std::vector<CellSoil> soil;
  // The lakes of a run with a lake list, each at its outlet cell, and per slot the index of
  // the lake at the cell, or -1: both empty without lakes. Every process holds every lake; the
  // one that routes its outlet cell routes it.
  std::vector<RoutedLake> lakes;
  std::vector<std::int32_t> lakeOfSlot;
};

/// The set-up pass over the whole grid, rows from the north, columns from the west. With
/// `only`, just the cells it marks (per grid cell) get a state: a process that routes part of
/// the grid sets up that part.
RoutingStates setUpRouting(const TopoGrid& grid, const RunParameters& params,
                           const std::vector<std::uint8_t>* only = nullptr);

/// Gives every cell with a state in `states` a fresh loss state from its values of `grids`
/// (the initial loss ready to take its whole capacity); nothing when `grids` holds no method.
void startLossStates(RoutingStates& states, const TopoGrid& grid, const LossGrids& grids);

/// Gives every cell with a state in `states` its soil and groundwater at the start of a run
/// from its values of `grids` and `rule` (S = soilStart x capacity, G = baseflowStart x T), and
/// the hour before the run the starting baseflow as its lateral inflow (after the dry hour of
/// startFromDryHour).
void startSoilStates(RoutingStates& states, const TopoGrid& grid, const SoilGrids& grids,
                     const SoilRule& rule);

/// Sets up `routing` (made by setUpRouting on the same grid) again for `params`: every
/// constant that depends on the parameters and the initial discharge, the terrain's constants
/// kept. The states are then those setUpRouting would make with `params`, bit for bit; a
/// calibration sets up its cells once and only this for each candidate.
void setUpParameters(RoutingStates& routing, const TopoGrid& grid, const RunParameters& params);

}  // namespace runoff

#endif  // RUNOFF_ROUTING_ROUTING_SETUP_H_
