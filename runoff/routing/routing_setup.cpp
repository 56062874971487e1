#include "runoff/routing/routing_setup.h"

#include <cmath>

namespace runoff {

void setParameterData(CellRouting& routing, const GridCell& cell, bool hasDown, float downElev,
                      double slopeManning, double channelManning, std::int32_t channelThreshold,
                      std::int32_t spaceSteps, std::int32_t timeStep, double fdWeight) {
  setCellGeometry(routing, cell, hasDown, downElev);
  setCellParameters(routing, cell, slopeManning, channelManning, channelThreshold, spaceSteps,
                    timeStep, fdWeight);
}

void setCellGeometry(CellRouting& routing, const GridCell& cell, bool hasDown, float downElev) {
  routing.scale = cell.scale;
  routing.widthX = cell.widthX;
  const double northSouth = kMetresPerArcSec * static_cast<double>(cell.scale);
  const double widthX = static_cast<double>(cell.widthX);

  switch (cell.flowDir) {
    case 1:
    case 5:
      routing.flowLen = northSouth;
      break;
    case 3:
    case 7:
      routing.flowLen = widthX;
      break;
    default:  // diagonal codes, and cells without a downstream neighbour
      routing.flowLen = std::sqrt(northSouth * northSouth + widthX * widthX);
      break;
  }

  double gradient;
  if (hasDown) {
    const float drop = cell.elev - downElev;
    gradient = std::tan(static_cast<double>(drop) / routing.flowLen);
    if (gradient < 0.00001) gradient = 0.00001;  // level, rising and wrapped tangents alike
  } else {
    gradient = static_cast<double>(0.001f);
  }
  routing.sinSlope = std::sin(std::atan(gradient));
}

void setCellParameters(CellRouting& routing, const GridCell& cell, double slopeManning,
                       double channelManning, std::int32_t channelThreshold,
                       std::int32_t spaceSteps, std::int32_t timeStep, double fdWeight) {
  const double northSouth = kMetresPerArcSec * static_cast<double>(cell.scale);
  const double widthX = static_cast<double>(cell.widthX);
  if (cell.flowAcc > channelThreshold) {
    const double areaKm2 = static_cast<double>(cell.flowAcc) * northSouth / 1000 * widthX / 1000;
    routing.width = 1.061722301 * std::pow(areaKm2, 0.685081138);
    routing.manningN = channelManning;
  } else {
    routing.width = northSouth * widthX / routing.flowLen;
    routing.manningN = slopeManning;
  }

  routing.nodes = spaceSteps;
  routing.dx = routing.flowLen / routing.nodes;
  routing.dt = timeStep;
  routing.theta = fdWeight;
  routing.qOld.assign(static_cast<std::size_t>(routing.nodes) + 1, 0.0);
  routing.qNew.assign(static_cast<std::size_t>(routing.nodes) + 1, 0.0);
  routing.invWidth = 1 / routing.width;
  routing.mExpFactor = 1;
  routing.mExp = 1 + 0.666667 * routing.mExpFactor;
  routing.alpha = ((1 / routing.manningN) * std::pow(routing.invWidth, routing.mExp - 1)) *
                  std::sqrt(routing.sinSlope);
  prepareStepConstants(routing);
}

void setInitialDischarge(CellRouting& routing, const GridCell& cell, double initialRunoff) {
  const double northSouth = kMetresPerArcSec * static_cast<double>(cell.scale);
  const double widthX = static_cast<double>(cell.widthX);
  const double upstreamCells = static_cast<double>(static_cast<std::int64_t>(cell.flowAcc) - 1);
  const double q0 = initialRunoff * 0.001 / 3600 * upstreamCells * northSouth * widthX;
  const double q1 =
      initialRunoff * 0.001 / 3600 * static_cast<double>(cell.flowAcc) * northSouth * widthX;
  const std::int32_t nodes = routing.nodes;
  for (std::int32_t i = 0; i <= nodes; ++i) {
    const double q = (q0 * static_cast<double>(nodes - i) + q1 * static_cast<double>(i)) /
                     static_cast<double>(nodes);
    routing.qOld[i] = q;
    routing.qNew[i] = q;
  }
  // The lateral inflow of the same runoff rate, taken whole in double precision.
  routing.qLatPrev = lateralInflow(routing, initialRunoff);
  routing.qLatCur = routing.qLatPrev;
}

RoutingStates setUpRouting(const TopoGrid& grid, const RunParameters& params,
                           const std::vector<std::uint8_t>* only) {
  RoutingStates routing;
  routing.slotOfCell.assign(grid.cells.size(), -1);
  std::int32_t count = 0;
  for (std::size_t i = 0; i < grid.cells.size(); ++i) {
    if (grid.cells[i].takesPart() && (only == nullptr || (*only)[i])) {
      routing.slotOfCell[i] = count++;
    }
  }
  routing.states.resize(count);
  for (std::size_t i = 0; i < grid.cells.size(); ++i) {
    if (routing.slotOfCell[i] < 0) continue;
    const GridCell& cell = grid.cells[i];
    CellRouting& state = routing.states[routing.slotOfCell[i]];
    const bool hasDown = cell.down != kNoCell;
    setCellGeometry(state, cell, hasDown, hasDown ? grid.cells[cell.down].elev : 0.0f);
  }
  setUpParameters(routing, grid, params);
  return routing;
}

void startLossStates(RoutingStates& states, const TopoGrid& grid, const LossGrids& grids) {
  if (grids.method == LossMethod::kNone) return;
  states.losses.assign(states.states.size(), LossState{});
  for (std::size_t i = 0; i < grid.cells.size(); ++i) {
    const std::int32_t slot = states.slotOfCell[i];
    if (slot >= 0) {
      states.losses[slot] = freshLossState(grids.parametersOf(static_cast<std::int32_t>(i)));
    }
  }
}

void startSoilStates(RoutingStates& states, const TopoGrid& grid, const SoilGrids& grids,
                     const SoilRule& rule) {
  states.soil.assign(states.states.size(), CellSoil{});
  for (std::size_t i = 0; i < grid.cells.size(); ++i) {
    const std::int32_t slot = states.slotOfCell[i];
    if (slot < 0) continue;
    CellSoil& soil = states.soil[slot];
    soil.stores = startingSoilState(rule, grids.parametersOf(static_cast<std::int32_t>(i)));
    soil.lastBaseflow = rule.baseflowStart;
    states.states[slot].qLatCur = lateralInflow(states.states[slot], rule.baseflowStart);
  }
}

void setUpParameters(RoutingStates& routing, const TopoGrid& grid, const RunParameters& params) {
  for (std::size_t i = 0; i < grid.cells.size(); ++i) {
    if (routing.slotOfCell[i] < 0) continue;
    const GridCell& cell = grid.cells[i];
    CellRouting& state = routing.states[routing.slotOfCell[i]];
    setCellParameters(state, cell, params.slopeManning, params.channelManning,
                      params.channelThreshold, params.spaceSteps, params.timeStep,
                      params.fdWeight);
    setInitialDischarge(state, cell, params.initialRunoff);
  }
}

}  // namespace runoff
