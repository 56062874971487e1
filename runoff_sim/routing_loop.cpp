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

// A routed cell while it runs: its record, its state, its feeders' finished histories in slot
// order, the buffer for its own history (null when nothing reads it) and its hourly means.
struct CellJob {
  std::int32_t task = -1;
  const GridCell* cell = nullptr;
  CellRouting* state = nullptr;
  std::vector<const float*> feeders;
  float* history = nullptr;
  std::span<float> hourlyMeans;
};

// Routes a batch of independent cells through every day and hour, hour by hour together so
// that the kernel can interleave their steps.
void routeBatch(const RoutingRun& run, std::span<CellJob> jobs) {
  HourTask tasks[kMaxHourTasks];
  float means[kMaxHourTasks];
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    tasks[i] = {jobs[i].state, jobs[i].feeders, jobs[i].history};
  }
  std::size_t step = 0;
  for (std::int32_t day = 1; day <= run.days; ++day) {
    for (std::int32_t hour = 1; hour <= 24; ++hour, step += run.subSteps) {
      for (const CellJob& job : jobs) {
        const std::int32_t rainCell = job.cell->rainCell;
        const float previous = hour == 1 ? run.rain.rain(rainCell, day - 1, 23)
                                         : run.rain.rain(rainCell, day, hour - 2);
        setLateralInflow(*job.state, previous, run.rain.rain(rainCell, day, hour - 1));
      }
      routeHours({tasks, jobs.size()}, step, run.subSteps, {means, jobs.size()});
      for (std::size_t i = 0; i < jobs.size(); ++i) {
        jobs[i].hourlyMeans[static_cast<std::size_t>(day - 1) * 24 + (hour - 1)] = means[i];
      }
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

  // Fills `jobs` with ready tasks, lowest plan number first: as many as make a batch, but no
  // more than leaves other threads their share. Empty when all are done.
  void take(std::vector<CellJob>& jobs, int threads) {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return !ready_.empty() || done_ == plan_.size() || failed_; });
    const std::size_t share = std::max<std::size_t>(1, ready_.size() / threads);
    const std::size_t count = failed_ ? 0 : std::min({kMaxHourTasks, share, ready_.size()});
    jobs.resize(count);
    for (CellJob& job : jobs) {
      const std::int32_t t = ready_.top();
      ready_.pop();
      job.task = t;
      job.history = nullptr;
      if (plan_.consumer[t] >= 0) {
        if (pool_.empty()) {
          histories_[t] = std::make_unique<float[]>(historyLength_);
        } else {
          histories_[t] = std::move(pool_.back());
          pool_.pop_back();
        }
        job.history = histories_[t].get();
      }
      job.feeders.clear();
      for (std::int32_t f : plan_.feedersOf(t)) job.feeders.push_back(histories_[f].get());
    }
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
    std::vector<CellJob> jobs;
    try {
      for (scheduler.take(jobs, threads); !jobs.empty(); scheduler.take(jobs, threads)) {
        for (CellJob& job : jobs) {
          const std::int32_t index = plan.cell[job.task];
          job.cell = &run.grid.cells[index];
          job.state = &states.states[states.slotOfCell[index]];
          job.hourlyMeans = discharge.of(index);
        }
        routeBatch(run, jobs);
        for (const CellJob& job : jobs) scheduler.finish(job.task);
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
