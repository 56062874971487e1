// The routing loop: every routed cell through one span of hours of a window of days, then the
// next span. A cell carries its state (the discharge at its nodes, the lateral inflow of its
// last hour) from one span to the next, and takes its inflow from the finished span outflow of
// the cells that feed it. A span is a whole window, or any part of one that a caller stepping
// the run hour by hour routes at a time. Within a window, cells whose feeders are finished run at
// the same time on several threads; a cell's sub-step outflow lives only until the cell it feeds
// has used it, and what the output files need, the hourly means, is formed as the steps are
// taken. A cell with a lake at its outlet (RoutingStates::lakes) passes each hour's sub-step
// outflows through the lake before anything downstream reads them. The numbers and the console
// text are those of routing the cells one by one in calculation order through the whole run,
// for any number of threads, any window length and any split of a window into spans.
#ifndef RUNOFF_ROUTING_WINDOW_ROUTER_H_
#define RUNOFF_ROUTING_WINDOW_ROUTER_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <utility>
#include <vector>

#include "common/status.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/inputs/loss_grids.h"
#include "runoff/inputs/pet_grid.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/inputs/soil_grids.h"
#include "runoff/inputs/topo_grid.h"
#include "runoff/model/power_choice.h"
#include "runoff/model/routing_scheme.h"
#include "runoff/routing/routing_plan.h"
#include "runoff/routing/routing_setup.h"

namespace runoff {

/// What stays fixed while a run is routed window after window.
struct RoutingRun {
  const TopoGrid& grid;
  const CalculationOrder& order;
  const RoutingPlan& plan;
  std::int32_t subSteps = 0;
  Scheme scheme = Scheme::kClassic;
  // The rainfall losses: with a method other than none, each cell's rain passes through it
  // (with the cell's values of `lossGrids` and its state in RoutingStates::losses) before it
  // becomes lateral inflow.
  LossRule losses{};
  const LossGrids* lossGrids = nullptr;
  // The power function the kernels raise discharges with (the C library's by default).
  PowerFunction power = PowerFunction::kLibm;
  // The soil and groundwater stores (with `soilGrids`): each hour the loss method's loss
  // infiltrates into the cell's soil (its state in RoutingStates::soil), the saturation excess
  // joins the rainfall excess and the baseflow joins the lateral inflow; the soil loses
  // evapotranspiration at `pet`'s rate. Null: the loss is lost.
  const SoilGrids* soilGrids = nullptr;
  SoilRule soil{};
  PetSource pet{};
};

/// The line of a run that runs out of memory part way.
inline constexpr const char* kOutOfMemory = "Not enough memory for this run.";

/// Threads to route with: OMP_NUM_THREADS when it holds a positive number, else the cores.
int routingThreads();

/// Days per window for a run of `days` days on a grid of `gridCells` cells: as many as keep a
/// window's hourly grids within some 64 MiB, at least 1, at most a month and never more than
/// the run.
std::int32_t windowDaysFor(std::int32_t days, std::size_t gridCells);

/// Sets every state to start a fresh run: the hour before the run is dry, so the lateral
/// inflow the first hour averages with is that of no rain.
void startFromDryHour(RoutingStates& states);

/// The results of one window, each grid in the order of the discharge files (rows from the
/// south), m^3/s: the hourly means of the routed cells, or, for a run that writes no hourly
/// grid, the daily grids (the mean of each day's 24 hourly means, and the largest of them from
/// 0, the arithmetic of runoff/output/discharge_output.h) with the hourly means of a few cells
/// (the gauges'). A cell that no task routes keeps the value it was given at construction in
/// every grid and every window. The grids are filled span by span; a day's daily values are
/// complete once its last hour is stored (until then the mean's place holds the float sum of
/// the hours stored so far, added in hour order, and the maximum's the largest of them).
class WindowGrids {
 public:
  /// The hourly grids of `background.size()` cells, for windows of at most `maxDays` days.
  WindowGrids(const std::vector<float>& background, std::int32_t maxDays);
  /// The daily grids instead, and the hourly means of the cells at `hourlyPositions` only.
  WindowGrids(const std::vector<float>& background, std::int32_t maxDays,
              std::vector<std::int32_t> hourlyPositions);

  std::size_t cellsPerGrid() const { return cells_; }
  std::int32_t maxDays() const { return maxDays_; }
  std::int32_t days() const { return days_; }
  void setDays(std::int32_t days) { days_ = days; }
  /// True when every cell's every hour is kept (hour() may be called).
  bool keepsEveryHour() const { return everyHour_; }

  /// Grid of hour index `h` of the window (0 = the first hour of its first day).
  std::span<float> hour(std::int32_t h) {
    return {values_.data() + static_cast<std::size_t>(h) * cells_, cells_};
  }
  std::span<const float> hour(std::int32_t h) const {
    return {values_.data() + static_cast<std::size_t>(h) * cells_, cells_};
  }
  /// The hourly mean of hour `h` at `position`, a position whose hours are kept.
  float hourly(std::int32_t h, std::size_t position) const;
  /// The daily mean and daily maximum grids of day `d` of the window (daily grids only).
  std::span<const float> dayMean(std::int32_t d) const {
    return {values_.data() + static_cast<std::size_t>(2 * d) * cells_, cells_};
  }
  std::span<const float> dayMax(std::int32_t d) const {
    return {values_.data() + static_cast<std::size_t>(2 * d + 1) * cells_, cells_};
  }

  /// Keeps the hourly means of the cell at `position` for the `hours` hours from hour index
  /// `firstHour` of the window: that of hour firstHour + h at means[h x stride]. Spans of a
  /// day are stored in hour order.
  void store(std::size_t position, const float* means, std::size_t stride, std::int32_t firstHour,
             std::int32_t hours);

 private:
  std::size_t cells_;
  std::int32_t maxDays_;
  bool everyHour_ = true;
  std::vector<float> values_;  // hour-major grids, or the two daily grids of each day
  std::vector<std::int32_t> hourlyPositions_;  // ascending, with the daily grids
  std::vector<float> kept_;                    // their hourly means, hour-major
  std::int32_t days_ = 0;
};

/// The rest of a run that is routed in several processes, as a router that routes only part of
/// the plan sees it. Within a window, a task routed here may be fed by tasks routed elsewhere
/// (their window history arrives as a message) and may feed a task routed elsewhere (its
/// history leaves as one). The router calls these on the thread that called route() only.
class RemoteTasks {
 public:
  /// Where arrived histories go, and where the histories to send wait.
  class Mailbox {
   public:
    virtual ~Mailbox() = default;
    /// The finished window history of `task` (routed elsewhere) for the task here it feeds.
    virtual void arrived(std::int32_t task, std::unique_ptr<float[]> history) = 0;
    /// The histories of tasks routed here whose consumer is routed elsewhere, finished since
    /// the last call, with their tasks.
    virtual std::vector<std::pair<std::int32_t, std::unique_ptr<float[]>>> outgoing() = 0;
  };

  virtual ~RemoteTasks() = default;
  /// True for the tasks routed by this process.
  virtual bool routedHere(std::int32_t task) const = 0;
  /// A span begins whose histories are `windowLength` floats (of the `historyLength` a
  /// history buffer holds): expect the histories of the remote feeders.
  virtual void beginWindow(std::size_t historyLength, std::size_t windowLength) = 0;
  /// Moves messages on without waiting: sends `mailbox.outgoing()`, hands arrived histories
  /// to `mailbox.arrived`.
  virtual void passMessages(Mailbox& mailbox) = 0;
  /// True while histories this window expects have not arrived.
  virtual bool awaiting() const = 0;
  /// The window's tasks here are all routed: completes its sends.
  virtual void endWindow(Mailbox& mailbox) = 0;
};

/// Hours `firstHour` to `firstHour + hours - 1` (hour index 0 = the first hour of `firstDay`)
/// of the window of `days` days from `firstDay`.
struct HourSpan {
  std::int32_t firstDay = 1;
  std::int32_t days = 0;
  std::int32_t firstHour = 0;
  std::int32_t hours = 0;

  /// The whole window.
  static HourSpan window(std::int32_t firstDay, std::int32_t days) {
    return {firstDay, days, 0, days * 24};
  }
};

class WindowRouter {
 public:
  /// Routes the plan's tasks with `states` on `threads` threads, in windows of at most
  /// `maxWindowDays` days. With `remote`, only the tasks it places here are routed, and their
  /// links to the others go through it.
  WindowRouter(const RoutingRun& run, RoutingStates& states, int threads,
               std::int32_t maxWindowDays, RemoteTasks* remote = nullptr);
  ~WindowRouter();
  WindowRouter(const WindowRouter&) = delete;
  WindowRouter& operator=(const WindowRouter&) = delete;

  /// Routes every task through the hours of `span`, which `rain` holds, leaving their hourly
  /// means in `grids`. The spans of a window come in hour order, each starting where the one
  /// before ended, and a window's first span at its hour 0. During the first span the group
  /// line of each group ("  first/orderCount ends.") is written to `console`, when given,
  /// once the groups before it are finished. `cellSteps`, when given, counts the steps taken.
  /// A failure (memory for the histories, a span that does not fit) ends the span.
  Status route(const RainGrid& rain, const HourSpan& span, WindowGrids& grids,
               std::ostream* console, std::atomic<std::int64_t>* cellSteps = nullptr);
  /// The whole window of the `days` days from `firstDay`.
  Status route(const RainGrid& rain, std::int32_t firstDay, std::int32_t days, WindowGrids& grids,
               std::ostream* console, std::atomic<std::int64_t>* cellSteps = nullptr) {
    return route(rain, HourSpan::window(firstDay, days), grids, console, cellSteps);
  }

  /// Writes the group lines not written yet: all of them when no window was routed.
  void finishGroupLines(std::ostream& console);

 private:
  struct Shared;
  const RoutingRun& run_;
  RoutingStates& states_;
  int threads_;
  std::int32_t maxWindowDays_;
  RemoteTasks* remote_;
  std::unique_ptr<Shared> shared_;
  std::vector<std::int32_t> positionOfTask_;  // place of each task's cell in a window grid
};

}  // namespace runoff

#endif  // RUNOFF_ROUTING_WINDOW_ROUTER_H_
