// The restart state: every routed cell's state at the end of a run, in full double precision,
// so that a run continued from it routes exactly as if the first run had gone on. A key ties
// the state to the run that can continue it; a state that does not fit is refused before any
// output is touched.
//
// File layout, binary, every number little-endian:
//   magic           8 bytes  "RNFSTATE"
//   version         u32      1
//   key             topoCols i32, topoRows i32, topoSwLon f64, topoSwLat f64 (degrees, outer
//                   south-west corner), topoScale f32 (arc-seconds);
//                   rainCols i32, rainRows i32, rainDx f64, rainDy f64, rainSwLon f64,
//                   rainSwLat f64 (degrees);
//                   timeStep i32 (s), spaceSteps i32, fdWeight f64, slopeManning f64,
//                   channelManning f64, channelThreshold i32;
//                   scheme u32 (0 classic, 1 conservative: a state continues only the scheme
//                   that wrote it);
//                   riverHash u64: FNV-1a of the listed river numbers that select cells
//                   (non-negative, ascending, each once, as i32);
//                   orderHash u64: FNV-1a of the calculation order (groupCount, each group
//                   size, then row and column of every entry, all i32)
//   daysBefore      i64      days simulated before this state, over every run that led to it
//   cellCount       u64      routed cells that follow
//   losses          only in the state of a run with a loss method (--losses other than none):
//     tag           8 bytes  "RNFLOSS1"
//     method        u32      1 constant, 2 scs-cn, 3 green-ampt (a state continues only the
//                            method, options and grids that wrote it)
//     iaRatio       f64      --ia-ratio under scs-cn, else 0
//     eventGap      i32      --event-gap in hours under scs-cn and green-ampt, else -1 (none)
//     gridsHash     u64      the loss grids' checksum (runoff/inputs/loss_grids.h)
//   soil            only in the state of a run with soil and groundwater stores (--soil):
//     tag           8 bytes  "RNFSOIL1"
//     etThreshold   f64      --et-threshold (a state continues only the threshold and grids
//                            that wrote it; --soil-start and --baseflow-start set a start only)
//     gridsHash     u64      the soil grids' checksum (runoff/inputs/soil_grids.h)
//   lakes           only in the state of a run with a lake list (--lakes):
//     tag           8 bytes  "RNFLAKE1"
//     listHash      u64      the lake list's checksum (runoff/inputs/lake_list.h)
//     lakeCount     u64      lakes that follow, in the order of the list
//     storage       f64 x lakeCount  each lake's water above its crest, m^3
//   cellCount records, ascending cell:
//     cell          i32      grid index, row * topoCols + column, row 0 the northern row
//     discharge     f64 x (spaceSteps + 1)  at nodes 0 (upstream end) to spaceSteps, m^3/s;
//                   under either scheme the whole discharge state (the conservative scheme
//                   derives its cross-sections and held-back water from it)
//     lateral       f64      lateral inflow of the last hour routed, m^2/s (with losses, that
//                            of the hour's rainfall excess)
//     loss state    f64 x 6  with losses only: the LossState of runoff/model/losses.h, its
//                            members in order (initial loss left, cumulative rain, cumulative
//                            excess, infiltration, dry hours, last hour's rain)
//     soil state    f64 x 5  with soil only: the CellSoil of runoff/routing/routing_setup.h,
//                            its members in order (soil store S in mm, groundwater store G in
//                            mm, the last hour's infiltration kept, baseflow and rain in mm/h)
//   checksum        u64      FNV-1a of every byte before it
// FNV-1a here is the 64-bit variant: offset basis 14695981039346656037, prime 1099511628211.
// A state without the loss and soil parts is byte for byte the state of a run without losses
// and soil; a reader tells them apart by their tags, where the first cell record would begin
// (the loss part, when there, comes first).
#ifndef RUNOFF_OUTPUT_RUN_STATE_H_
#define RUNOFF_OUTPUT_RUN_STATE_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/atomic_file.h"
#include "common/params.h"
#include "common/status.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/model/losses.h"
#include "runoff/model/soil.h"
#include "runoff/model/routing_scheme.h"
#include "runoff/routing/routing_setup.h"

namespace runoff {

/// What ties a state to a run.
struct StateKey {
  std::int32_t topoCols = 0, topoRows = 0;
  double topoSwLon = 0, topoSwLat = 0;
  float topoScale = 0;
  std::int32_t rainCols = 0, rainRows = 0;
  double rainDx = 0, rainDy = 0, rainSwLon = 0, rainSwLat = 0;
  std::int32_t timeStep = 0, spaceSteps = 0;
  double fdWeight = 0, slopeManning = 0, channelManning = 0;
  std::int32_t channelThreshold = 0;
  std::uint32_t scheme = 0;
  std::uint64_t riverHash = 0;
  std::uint64_t orderHash = 0;
  // The rainfall losses; method kNone (a state without the loss part) carries none of the rest.
  struct Losses {
    std::uint32_t method = 0;
    double iaRatio = 0;
    std::int32_t eventGap = -1;
    std::uint64_t gridsHash = 0;
  } losses;
  // The soil and groundwater stores; a state without the soil part carries none of the rest.
  struct Soil {
    bool on = false;
    double etThreshold = 0;
    std::uint64_t gridsHash = 0;
  } soil;
  // The lakes; count 0 (a state without the lake part) for a run without a lake list.
  struct Lakes {
    std::uint64_t hash = 0;
    std::uint64_t count = 0;
  } lakes;
};

/// The loss part of a key for a run with `rule` on grids of checksum `gridsHash`: only the
/// options the method reads.
StateKey::Losses lossKey(const LossRule& rule, std::uint64_t gridsHash);

/// The soil part of a key for a run with soil under `rule` on grids of checksum `gridsHash`.
StateKey::Soil soilKey(const SoilRule& rule, std::uint64_t gridsHash);

StateKey makeStateKey(const RunParameters& params, const std::vector<std::int32_t>& riverNums,
                      const CalculationOrder& order, Scheme scheme);

/// The values a state holds for each routed cell, cells in ascending order: the discharges at
/// nodes 0 to spaceSteps, the lateral inflow of the last hour, then in a run with losses the
/// loss state, and in a run with soil the soil state.
struct CellStates {
  std::int32_t nodes = 0;       // spaceSteps
  std::int32_t lossValues = 0;  // kLossStateValues with losses, else 0
  std::vector<double> values;   // stride() per routed cell
  std::int32_t soilValues = 0;  // kCellSoilValues with soil, else 0

  std::size_t stride() const {
    return static_cast<std::size_t>(nodes) + 2 + static_cast<std::size_t>(lossValues) +
           static_cast<std::size_t>(soilValues);
  }
};

/// The states of the cells `routedCells` (grid indices, ascending) that `states` holds; the
/// other cells' values are left as they are in `out` (sized for all of `routedCells`).
void collectCellStates(const std::vector<std::int32_t>& routedCells, const RoutingStates& states,
                       CellStates& out);

/// Gives every cell of `routedCells` that has a state in `states` its stored values.
void applyCellStates(const CellStates& stored, const std::vector<std::int32_t>& routedCells,
                     RoutingStates& states);

/// Refuses a place where the state file cannot stand (a directory), before the run spends its
/// time routing.
Status checkStateOutPath(const std::string& path);

/// The state file for the cells `routedCells` (and the lakes' storage, in the order of the
/// lake list, in a run with lakes), written whole under a temporary name beside
/// `path`; the caller publishes it once the run's other outputs are complete, or drops it to
/// leave nothing behind.
Result<std::unique_ptr<AtomicFile>> writeRunState(const std::string& path, const StateKey& key,
                                                  std::int64_t daysBefore,
                                                  const std::vector<std::int32_t>& routedCells,
                                                  const CellStates& cells,
                                                  std::span<const double> lakeStorage = {});

/// A state read back: the days simulated before it and its cells' values.
struct StoredState {
  std::int64_t daysBefore = 0;
  CellStates cells;
  std::vector<double> lakeStorage;  // m^3, in the order of the lake list
};

/// Reads the state at `path` and checks that it fits `key` and exactly the cells
/// `routedCells`; the failure names what does not fit, or the damage.
Result<StoredState> readRunState(const std::string& path, const StateKey& key,
                                 const std::vector<std::int32_t>& routedCells);

/// The same check of the whole state file `bytes`, read from `path` (named in messages).
Result<StoredState> readRunState(std::span<const unsigned char> bytes, const std::string& path,
                                 const StateKey& key,
                                 const std::vector<std::int32_t>& routedCells);

}  // namespace runoff

#endif  // RUNOFF_OUTPUT_RUN_STATE_H_
