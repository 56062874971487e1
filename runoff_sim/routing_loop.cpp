#include "runoff_sim/routing_loop.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <span>
#include <system_error>
#include <thread>

#include "runoff_sim/kinematic_wave.h"
#include "runoff_sim/routing_plan.h"

namespace runoff {

int routingThreads() {
  if (const char* text = std::getenv("OMP_NUM_THREADS")) {
    // The first entry of the list counts; nested levels are not used here.
    char* end = nullptr;
    long n = std::strtol(text, &end, 10);
    if (end != text && n > 0) return static_cast<int>(std::min(n, 1024L));
  }
  unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

namespace {

// Routes one cell through every day, hour and sub-step. `feeders` are the finished sub-step
// histories of its upstream cells in slot order; `history`, when not null, receives its own.
void routeOneCell(const RoutingRun& run, const GridCell& cell, CellRouting& state,
                  std::span<const float* const> feeders, float* history,
                  std::span<float> hourlyMeans) {
  const float subStepCount = static_cast<float>(run.subSteps);
  std::size_t step = 0;
  for (std::int32_t day = 1; day <= run.days; ++day) {
    for (std::int32_t hour = 1; hour <= 24; ++hour) {
      const float previous = hour == 1 ? run.rain.rain(cell.rainCell, day - 1, 23)
                                       : run.rain.rain(cell.rainCell, day, hour - 2);
      setLateralInflow(state, previous, run.rain.rain(cell.rainCell, day, hour - 1));
      float hourSum = 0.0f;
      for (std::int32_t s = 0; s < run.subSteps; ++s, ++step) {
        double qIn = 0;
        for (const float* feeder : feeders) qIn = qIn + static_cast<double>(feeder[step]);
        const float outflow = stepKinematicWave(state, qIn);
        if (history != nullptr) history[step] = outflow;
        hourSum += outflow;
      }
      hourlyMeans[static_cast<std::size_t>(day - 1) * 24 + (hour - 1)] = hourSum / subStepCount;
    }
  }
}

// Hands out ready tasks, lowest plan number first, and keeps the shared bookkeeping: pending
// feeders, the histories in use and a pool of free ones, and the progress lines.
class Scheduler {
 public:
  Scheduler(const RoutingPlan& plan, const CalculationOrder& order, std::size_t historyLength,
            std::ostream& console)
      : plan_(plan),
        order_(order),
        historyLength_(historyLength),
        console_(console),
        pending_(plan.size(), 0),
        histories_(plan.size()),
        remainingInGroup_(plan.routedInGroup) {
    for (std::int32_t t = 0; t < plan.size(); ++t) {
      pending_[t] = static_cast<std::int32_t>(plan.feedersOf(t).size());
      if (pending_[t] == 0) ready_.push(t);
    }
    std::lock_guard lock(mutex_);
    writeProgress();
  }

  // Next task and the buffer for its history (null when nothing reads it); -1 when all done.
  std::int32_t take(float*& history) {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return !ready_.empty() || done_ == plan_.size() || failed_; });
    if (ready_.empty() || failed_) return -1;
    const std::int32_t t = ready_.top();
    ready_.pop();
    history = nullptr;
    if (plan_.consumer[t] >= 0) {
      if (pool_.empty()) {
        histories_[t] = std::make_unique<float[]>(historyLength_);
      } else {
        histories_[t] = std::move(pool_.back());
        pool_.pop_back();
      }
      history = histories_[t].get();
    }
    return t;
  }

  // The feeders' histories of task t, read-only while t runs.
  void feedersOf(std::int32_t t, std::vector<const float*>& out) {
    std::lock_guard lock(mutex_);
    out.clear();
    for (std::int32_t f : plan_.feedersOf(t)) out.push_back(histories_[f].get());
  }

  void finish(std::int32_t t) {
    std::lock_guard lock(mutex_);
    for (std::int32_t f : plan_.feedersOf(t)) pool_.push_back(std::move(histories_[f]));
    ++done_;
    --remainingInGroup_[plan_.group[t]];
    writeProgress();
    if (const std::int32_t c = plan_.consumer[t]; c >= 0 && --pending_[c] == 0) ready_.push(c);
    cv_.notify_all();
  }

  void fail(std::exception_ptr error) {
    std::lock_guard lock(mutex_);
    if (!failed_) error_ = error;
    failed_ = true;
    cv_.notify_all();
  }

  void rethrowIfFailed() {
    if (error_) std::rethrow_exception(error_);
  }

 private:
  // A group's line tells that the cells before its first one have ended; it is written once
  // every earlier group is finished, so the lines come in order whatever the threads do.
  void writeProgress() {
    while (completeGroups_ < order_.groupCount && remainingInGroup_[completeGroups_] == 0) {
      ++completeGroups_;
    }
    while (linesWritten_ < order_.groupCount && linesWritten_ <= completeGroups_) {
      console_ << "  " << firstOfNextLine_ + 1 << "/" << order_.orderCount << " ends.\n";
      firstOfNextLine_ += order_.groupSizes[linesWritten_];
      ++linesWritten_;
    }
  }

  const RoutingPlan& plan_;
  const CalculationOrder& order_;
  const std::size_t historyLength_;
  std::ostream& console_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::priority_queue<std::int32_t, std::vector<std::int32_t>, std::greater<>> ready_;
  std::vector<std::int32_t> pending_;
  std::vector<std::unique_ptr<float[]>> histories_;
  std::vector<std::unique_ptr<float[]>> pool_;
  std::vector<std::int32_t> remainingInGroup_;
  std::int32_t done_ = 0;
  std::int32_t completeGroups_ = 0;
  std::int32_t linesWritten_ = 0;
  std::int64_t firstOfNextLine_ = 0;
  bool failed_ = false;
  std::exception_ptr error_;
};

}  // namespace

void routeCells(const RoutingRun& run, RoutingStates& states, HourlyDischarge& discharge,
                std::ostream& console, int threads) {
  const RoutingPlan plan = planRouting(run.grid, run.order, run.selected);
  const std::size_t historyLength =
      static_cast<std::size_t>(run.days) * 24 * static_cast<std::size_t>(run.subSteps);
  Scheduler scheduler(plan, run.order, historyLength, console);

  auto worker = [&] {
    std::vector<const float*> feeders;
    try {
      float* history = nullptr;
      for (std::int32_t t; (t = scheduler.take(history)) >= 0;) {
        const std::int32_t index = plan.cell[t];
        scheduler.feedersOf(t, feeders);
        routeOneCell(run, run.grid.cells[index], states.states[states.slotOfCell[index]], feeders,
                     history, discharge.of(index));
        scheduler.finish(t);
      }
    } catch (...) {
      scheduler.fail(std::current_exception());
    }
  };

  const int extra = std::max(0, std::min(threads, std::max(plan.size(), 1)) - 1);
  std::vector<std::thread> pool;
  pool.reserve(extra);
  try {
    for (int i = 0; i < extra; ++i) pool.emplace_back(worker);
  } catch (const std::system_error&) {
    // The system refused another thread: route with those already running.
  }
  worker();
  for (std::thread& thread : pool) thread.join();
  scheduler.rethrowIfFailed();
}

}  // namespace runoff
