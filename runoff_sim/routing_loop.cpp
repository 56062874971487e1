#include "runoff_sim/routing_loop.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <functional>
#include <mutex>
#include <queue>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "runoff_sim/conservative_wave.h"
#include "runoff_sim/kinematic_wave.h"

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

std::int32_t windowDaysFor(std::int32_t days, std::size_t gridCells) {
  constexpr std::size_t kWindowBytes = std::size_t{64} << 20;
  const std::size_t dayBytes = std::max<std::size_t>(1, gridCells) * 24 * sizeof(float);
  const auto fit = static_cast<std::int32_t>(std::min<std::size_t>(31, kWindowBytes / dayBytes));
  return std::max(1, std::min(fit, days));
}

void startFromDryHour(RoutingStates& states) {
  for (CellRouting& state : states.states) state.qLatCur = lateralInflow(state, 0.0f);
}

namespace {

// A routed cell while it runs: its record, its state, its feeders' finished window histories in
// slot order, the buffer for its own history (null when nothing reads it) and its hourly means.
struct CellJob {
  std::int32_t task = -1;
  const GridCell* cell = nullptr;
  CellRouting* state = nullptr;
  std::vector<const float*> feeders;
  float* history = nullptr;
  std::size_t position = 0;        // of the cell in a window grid
  CellVolumes* volumes = nullptr;  // null when the run keeps no water budget
};

// The window a batch is routed through.
struct Window {
  const RainGrid& rain;
  std::int32_t firstDay;
  std::int32_t days;
  std::int32_t subSteps;
  Scheme scheme;
};

// Routes a batch of independent cells through every day and hour of the window, hour by hour
// together so that the kernel can interleave their steps. The lateral inflow of the hour
// before each hour is the one the cell carries from it, so a window needs no rain from before
// its first day.
void routeBatch(const Window& window, std::span<CellJob> jobs, WindowGrids& grids) {
  HourTask tasks[kMaxHourTasks];
  float means[kMaxHourTasks];
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    tasks[i] = {jobs[i].state, jobs[i].feeders, jobs[i].history, jobs[i].volumes};
  }
  std::size_t step = 0;
  std::size_t hourIndex = 0;
  for (std::int32_t day = window.firstDay; day < window.firstDay + window.days; ++day) {
    for (std::int32_t hour = 1; hour <= 24; ++hour, step += window.subSteps, ++hourIndex) {
      for (const CellJob& job : jobs) {
        continueLateralInflow(*job.state, window.rain.rain(job.cell->rainCell, day, hour - 1));
      }
      if (window.scheme == Scheme::kConservative) {
        routeHoursConservative({tasks, jobs.size()}, step, window.subSteps, {means, jobs.size()});
      } else {
        routeHours({tasks, jobs.size()}, step, window.subSteps, {means, jobs.size()});
      }
      std::span<float> grid = grids.hour(static_cast<std::int32_t>(hourIndex));
      for (std::size_t i = 0; i < jobs.size(); ++i) grid[jobs[i].position] = means[i];
    }
  }
}

}  // namespace

// What outlives a window: the free sub-step histories and how far the progress lines went.
struct WindowRouter::Shared {
  std::vector<std::unique_ptr<float[]>> pool;
  std::int32_t linesWritten = 0;
  std::int64_t firstOfNextLine = 0;
  bool routedOnce = false;

  // The lines of the groups up to `completeGroups` (exclusive) that are not written yet; a
  // group's line tells that the cells before its first one have ended.
  void writeLines(const CalculationOrder& order, std::int32_t completeGroups,
                  std::ostream& console) {
    while (linesWritten < order.groupCount && linesWritten <= completeGroups) {
      console << "  " << firstOfNextLine + 1 << "/" << order.orderCount << " ends.\n";
      firstOfNextLine += order.groupSizes[linesWritten];
      ++linesWritten;
    }
  }
};

namespace {

// Hands out ready tasks of one window, lowest plan number first, and keeps the shared
// bookkeeping: pending feeders, the histories in use and the pool of free ones, and (in the
// first window) the progress lines.
class Scheduler {
 public:
  Scheduler(const RoutingRun& run, std::size_t historyLength,
            std::vector<std::unique_ptr<float[]>>& pool, std::ostream* console,
            std::function<void(std::int32_t, std::ostream&)> writeLines)
      : plan_(run.plan),
        order_(run.order),
        historyLength_(historyLength),
        pool_(pool),
        console_(console),
        writeLines_(std::move(writeLines)),
        pending_(plan_.size(), 0),
        histories_(plan_.size()),
        remainingInGroup_(plan_.routedInGroup) {
    for (std::int32_t t = 0; t < plan_.size(); ++t) {
      pending_[t] = static_cast<std::int32_t>(plan_.feedersOf(t).size());
      if (pending_[t] == 0) ready_.push(t);
    }
    std::lock_guard lock(mutex_);
    writeProgress();
  }

  ~Scheduler() {
    // Histories still held after a failure go back to the pool for the next window.
    for (auto& history : histories_) {
      if (history) pool_.push_back(std::move(history));
    }
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
  // Lines are written once every earlier group is finished, so they come in order whatever
  // the threads do.
  void writeProgress() {
    if (console_ == nullptr) return;
    while (completeGroups_ < order_.groupCount && remainingInGroup_[completeGroups_] == 0) {
      ++completeGroups_;
    }
    writeLines_(completeGroups_, *console_);
  }

  const RoutingPlan& plan_;
  const CalculationOrder& order_;
  const std::size_t historyLength_;
  std::vector<std::unique_ptr<float[]>>& pool_;
  std::ostream* console_;
  std::function<void(std::int32_t, std::ostream&)> writeLines_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::priority_queue<std::int32_t, std::vector<std::int32_t>, std::greater<>> ready_;
  std::vector<std::int32_t> pending_;
  std::vector<std::unique_ptr<float[]>> histories_;
  std::vector<std::int32_t> remainingInGroup_;
  std::int32_t done_ = 0;
  std::int32_t completeGroups_ = 0;
  bool failed_ = false;
  std::exception_ptr error_;
};

}  // namespace

WindowGrids::WindowGrids(const std::vector<float>& background, std::int32_t maxDays)
    : cells_(background.size()), maxDays_(std::max(1, maxDays)) {
  const std::size_t hours = static_cast<std::size_t>(maxDays_) * 24;
  values_.reserve(hours * cells_);
  for (std::size_t h = 0; h < hours; ++h) {
    values_.insert(values_.end(), background.begin(), background.end());
  }
}

WindowRouter::WindowRouter(const RoutingRun& run, RoutingStates& states, int threads,
                           std::int32_t maxWindowDays)
    : run_(run),
      states_(states),
      threads_(std::max(1, threads)),
      maxWindowDays_(std::max(1, maxWindowDays)),
      shared_(std::make_unique<Shared>()),
      positionOfTask_(run.plan.size()) {
  // The window grids hold rows from the south, as the files do; the grid's row 0 is the north.
  for (std::int32_t t = 0; t < run.plan.size(); ++t) {
    const std::int32_t index = run.plan.cell[t];
    const std::int32_t row = index / run.grid.cols, col = index % run.grid.cols;
    positionOfTask_[t] = (run.grid.rows - 1 - row) * run.grid.cols + col;
  }
}

WindowRouter::~WindowRouter() = default;

void WindowRouter::route(const RainGrid& rain, std::int32_t firstDay, std::int32_t days,
                         WindowGrids& grids, std::ostream& console,
                         std::atomic<std::int64_t>* cellSteps) {
  if (days < 0 || days > maxWindowDays_ || days > grids.maxDays() ||
      grids.cellsPerGrid() != static_cast<std::size_t>(run_.grid.rows) * run_.grid.cols) {
    throw std::invalid_argument("a window longer than the router's or grids of another size");
  }
  grids.setDays(days);
  const std::size_t historyLength =
      static_cast<std::size_t>(maxWindowDays_) * 24 * static_cast<std::size_t>(run_.subSteps);
  const bool firstWindow = !shared_->routedOnce;
  shared_->routedOnce = true;
  Scheduler scheduler(run_, historyLength, shared_->pool, firstWindow ? &console : nullptr,
                      [&](std::int32_t complete, std::ostream& out) {
                        shared_->writeLines(run_.order, complete, out);
                      });
  const Window window{rain, firstDay, days, run_.subSteps, run_.scheme};
  const std::int64_t stepsPerCell = static_cast<std::int64_t>(days) * 24 * run_.subSteps;

  auto worker = [&] {
    std::vector<CellJob> jobs;
    try {
      for (scheduler.take(jobs, threads_); !jobs.empty(); scheduler.take(jobs, threads_)) {
        for (CellJob& job : jobs) {
          const std::int32_t index = run_.plan.cell[job.task];
          job.cell = &run_.grid.cells[index];
          job.state = &states_.states[states_.slotOfCell[index]];
          if (!states_.volumes.empty()) job.volumes = &states_.volumes[states_.slotOfCell[index]];
          job.position = static_cast<std::size_t>(positionOfTask_[job.task]);
        }
        routeBatch(window, jobs, grids);
        for (const CellJob& job : jobs) scheduler.finish(job.task);
        if (cellSteps != nullptr) {
          cellSteps->fetch_add(stepsPerCell * static_cast<std::int64_t>(jobs.size()),
                               std::memory_order_relaxed);
        }
      }
    } catch (...) {
      scheduler.fail(std::current_exception());
    }
  };

  const int extra = std::max(0, std::min(threads_, std::max(run_.plan.size(), 1)) - 1);
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

void WindowRouter::finishProgressLines(std::ostream& console) {
  shared_->writeLines(run_.order, run_.order.groupCount, console);
}

}  // namespace runoff
