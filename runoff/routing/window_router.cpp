#include "runoff/routing/window_router.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <functional>
#include <mutex>
#include <queue>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "runoff/model/conservative_wave.h"
#include "runoff/model/kinematic_wave.h"

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
  LossState* loss = nullptr;       // null when no loss method runs
  LossParameters lossParameters;   // the cell's values of the loss grids
  CellSoil* soil = nullptr;        // null when the run keeps no soil
  SoilCell soilCell;               // the constants of the cell's soil
  RoutedLake* lake = nullptr;      // the lake at the cell's outlet, if any
};

// The span a batch is routed through.
struct Window {
  const RainGrid& rain;
  HourSpan span;
  std::int32_t subSteps;
  Scheme scheme;
  const LossRule& losses;
  bool soil;
  const PetSource& pet;
  PowerFunction power;
};

// One hour of a cell with soil and groundwater stores: the rain `rain` (mm/h) loses what the
// loss method takes, which infiltrates into the soil; the rate that runs off is the rainfall
// excess, the saturation excess and the baseflow.
void stepCellWithSoil(const Window& window, const CellJob& job, double rain, std::int32_t day,
                      std::int32_t hour) {
  double excess = rain;
  if (window.losses.method != LossMethod::kNone) {
    excess = rainfallExcess(window.losses, job.lossParameters, *job.loss, rain);
  }
  const double infiltration = rain - excess;
  const double pet = window.pet.at(job.cell->rainCell, day, hour);
  CellSoil& soil = *job.soil;
  const SoilHour fluxes = stepSoil(job.soilCell, soil.stores, infiltration, pet);
  if (job.volumes != nullptr) {
    CellVolumes& v = *job.volumes;
    addRainVolume(v, *job.state, soil.lastRain, rain, window.subSteps);
    addPerStepVolume(v.baseflow, *job.state, soil.lastBaseflow, fluxes.baseflow, window.subSteps);
    v.et += hourVolume(*job.state, fluxes.evapotranspiration, window.subSteps);
  }
  soil.lastRain = rain;
  if (job.loss != nullptr) job.loss->lastRain = rain;
  soil.lastInfiltration = infiltration - fluxes.saturationExcess;
  soil.lastBaseflow = fluxes.baseflow;
  // A soil that never fills nor drains adds 0 + 0: the rate is the rainfall excess's bits.
  continueLateralRate(*job.state, excess + fluxes.saturationExcess + fluxes.baseflow);
}

// Passes the hour just routed of every cell of the batch that holds a lake through the lake:
// the cell's sub-step outflows from `firstStep` become the lake's, which its consumer then
// reads, and the cell's hourly mean becomes the lake's mean outflow. The lake's release and
// evaporation are those of hour index `hour` of the window.
void passHourThroughLakes(std::span<CellJob> jobs, const HourCell* tasks, std::size_t firstStep,
                          std::int32_t subSteps, std::int32_t hour, std::span<float> hourMeans) {
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    RoutedLake* lake = jobs[i].lake;
    if (lake == nullptr) continue;
    const auto at = static_cast<std::size_t>(hour);
    const double release = at < lake->release.size() ? lake->release[at] : 0.0;
    const double evaporation = at < lake->evaporation.size() ? lake->evaporation[at] : 0.0;
    const LakeHour passed = passHourThroughLake(
        lake->parameters, lake->state,
        {tasks[i].history + firstStep, static_cast<std::size_t>(subSteps)},
        static_cast<double>(jobs[i].state->dt), evaporation, release);
    hourMeans[i] = passed.outflow;
    if (at < lake->hours.size()) lake->hours[at] = passed;
  }
}

// Routes a batch of independent cells through every hour of the span, hour by hour together so
// that the kernel can interleave their steps. The lateral inflow of the hour before each hour
// is the one the cell carries from it, so a span needs no rain from before its first hour. The
// hourly means wait in `means` (hour-major, kMaxHourCells a row) and reach the shared grids
// together at the end, so that threads routing neighbouring cells seldom write to the same
// cache line at the same time. A cell's outflow history holds the span's sub-steps from 0.
void routeBatch(const Window& window, std::span<CellJob> jobs, WindowGrids& grids,
                std::vector<float>& means) {
  HourCell tasks[kMaxHourCells];
  // A lake takes its cell's sub-step outflows from the cell's history, which a cell that feeds
  // no routed cell does not keep: such a cell writes them here.
  std::vector<float> lakeSteps[kMaxHourCells];
  bool anyLake = false;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    float* history = jobs[i].history;
    if (jobs[i].lake != nullptr) {
      anyLake = true;
      if (history == nullptr) {
        lakeSteps[i].resize(static_cast<std::size_t>(window.span.hours) * window.subSteps);
        history = lakeSteps[i].data();
      }
    }
    tasks[i] = {jobs[i].state, jobs[i].feeders, history, jobs[i].volumes};
  }
  const HourSpan& span = window.span;
  means.resize(static_cast<std::size_t>(span.hours) * kMaxHourCells);
  std::size_t step = 0;
  for (std::int32_t h = 0; h < span.hours; ++h, step += window.subSteps) {
    const std::int32_t day = span.firstDay + (span.firstHour + h) / 24;
    const std::int32_t hour = (span.firstHour + h) % 24;  // index, from 0
    if (window.soil) {
      for (const CellJob& job : jobs) {
        stepCellWithSoil(window, job, window.rain.rain(job.cell->rainCell, day, hour), day, hour);
      }
    } else if (window.losses.method == LossMethod::kNone) {
      for (const CellJob& job : jobs) {
        continueLateralInflow(*job.state, window.rain.rain(job.cell->rainCell, day, hour));
      }
    } else {
      // The rain of the hour loses what the cell takes; the excess is the lateral inflow.
      for (const CellJob& job : jobs) {
        const double rain = window.rain.rain(job.cell->rainCell, day, hour);
        const double excess = rainfallExcess(window.losses, job.lossParameters, *job.loss, rain);
        if (job.volumes != nullptr) {
          addRainVolume(*job.volumes, *job.state, job.loss->lastRain, rain, window.subSteps);
        }
        job.loss->lastRain = rain;
        continueLateralRate(*job.state, excess);
      }
    }
    const std::span<float> hourMeans(means.data() + static_cast<std::size_t>(h) * kMaxHourCells,
                                     jobs.size());
    if (window.scheme == Scheme::kConservative) {
      routeHoursConservative({tasks, jobs.size()}, step, window.subSteps, hourMeans, window.power);
    } else {
      routeHours({tasks, jobs.size()}, step, window.subSteps, hourMeans, window.power);
    }
    if (anyLake) passHourThroughLakes(jobs, tasks, step, window.subSteps, span.firstHour + h,
                                      hourMeans);
  }
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    grids.store(jobs[i].position, means.data() + i, kMaxHourCells, span.firstHour, span.hours);
  }
}

}  // namespace

// What outlives a window: the free sub-step histories and how far the group lines went.
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
// first window) the group lines. With remote tasks, only the tasks routed here are handed
// out; a feeder routed elsewhere counts as pending until its history arrives, and the history
// of a task whose consumer is routed elsewhere waits in the outbox until it is sent.
class Scheduler : public RemoteTasks::Mailbox {
 public:
  Scheduler(const RoutingRun& run, std::size_t historyLength, const RemoteTasks* remote,
            std::vector<std::unique_ptr<float[]>>& pool, std::ostream* console,
            std::function<void(std::int32_t, std::ostream&)> writeLines)
      : plan_(run.plan),
        order_(run.order),
        historyLength_(historyLength),
        remote_(remote),
        pool_(pool),
        console_(console),
        writeLines_(std::move(writeLines)),
        pending_(plan_.size(), 0),
        histories_(plan_.size()),
        remainingInGroup_(plan_.routedInGroup) {
    for (std::int32_t t = 0; t < plan_.size(); ++t) {
      if (!here(t)) continue;
      ++tasksHere_;
      pending_[t] = static_cast<std::int32_t>(plan_.feedersOf(t).size());
      if (pending_[t] == 0) ready_.push(t);
    }
    std::lock_guard lock(mutex_);
    writeGroupLines();
  }

  ~Scheduler() override {
    // Histories still held after a failure go back to the pool for the next window.
    for (auto& history : histories_) {
      if (history) pool_.push_back(std::move(history));
    }
  }

  bool here(std::int32_t t) const { return remote_ == nullptr || remote_->routedHere(t); }

  // Fills `jobs` with ready tasks, lowest plan number first: as many as make a batch, but no
  // more than leaves other threads their share. Empty when all are done, or, with `wait`
  // false, when none is ready now.
  void take(std::vector<CellJob>& jobs, int threads, bool wait = true) {
    std::unique_lock lock(mutex_);
    if (wait) cv_.wait(lock, [&] { return !ready_.empty() || allDone() || failed_; });
    const std::size_t share = std::max<std::size_t>(1, ready_.size() / threads);
    const std::size_t count = failed_ ? 0 : std::min({kMaxHourCells, share, ready_.size()});
    jobs.resize(count);
    for (CellJob& job : jobs) {
      const std::int32_t t = ready_.top();
      ready_.pop();
      job.task = t;
      job.history = nullptr;
      if (plan_.consumer[t] >= 0) {
        histories_[t] = freshHistory();
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
    writeGroupLines();
    if (const std::int32_t c = plan_.consumer[t]; c >= 0) {
      if (here(c)) {
        if (--pending_[c] == 0) ready_.push(c);
      } else {
        outbox_.emplace_back(t, std::move(histories_[t]));
      }
    }
    cv_.notify_all();
  }

  // Waits until a task is ready, a history waits to be sent, all is done or `limit` passed.
  void waitForWork(std::chrono::microseconds limit) {
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, limit,
                 [&] { return !ready_.empty() || !outbox_.empty() || allDone() || failed_; });
  }

  bool allDone() const { return done_ == tasksHere_; }
  bool finished() {
    std::lock_guard lock(mutex_);
    return allDone() || failed_;
  }

  void arrived(std::int32_t task, std::unique_ptr<float[]> history) override {
    std::lock_guard lock(mutex_);
    histories_[task] = std::move(history);
    const std::int32_t c = plan_.consumer[task];
    if (--pending_[c] == 0) ready_.push(c);
    cv_.notify_all();
  }

  std::vector<std::pair<std::int32_t, std::unique_ptr<float[]>>> outgoing() override {
    std::lock_guard lock(mutex_);
    return std::exchange(outbox_, {});
  }

  // Stops handing out work; the first failure is the window's outcome.
  void fail(Status failure) {
    std::lock_guard lock(mutex_);
    if (!failed_) failure_ = std::move(failure);
    failed_ = true;
    cv_.notify_all();
  }

  Status outcome() {
    std::lock_guard lock(mutex_);
    return failure_;
  }

 private:
  std::unique_ptr<float[]> freshHistory() {
    if (pool_.empty()) return std::make_unique<float[]>(historyLength_);
    std::unique_ptr<float[]> history = std::move(pool_.back());
    pool_.pop_back();
    return history;
  }

  // Lines are written once every earlier group is finished, so they come in order whatever
  // the threads do.
  void writeGroupLines() {
    if (console_ == nullptr) return;
    while (completeGroups_ < order_.groupCount && remainingInGroup_[completeGroups_] == 0) {
      ++completeGroups_;
    }
    writeLines_(completeGroups_, *console_);
  }

  const RoutingPlan& plan_;
  const CalculationOrder& order_;
  const std::size_t historyLength_;
  const RemoteTasks* remote_;
  std::vector<std::unique_ptr<float[]>>& pool_;
  std::ostream* console_;
  std::function<void(std::int32_t, std::ostream&)> writeLines_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::priority_queue<std::int32_t, std::vector<std::int32_t>, std::greater<>> ready_;
  std::vector<std::int32_t> pending_;
  std::vector<std::unique_ptr<float[]>> histories_;
  std::vector<std::pair<std::int32_t, std::unique_ptr<float[]>>> outbox_;
  std::vector<std::int32_t> remainingInGroup_;
  std::int32_t tasksHere_ = 0;
  std::int32_t done_ = 0;
  std::int32_t completeGroups_ = 0;
  bool failed_ = false;
  Status failure_;
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

WindowGrids::WindowGrids(const std::vector<float>& background, std::int32_t maxDays,
                         std::vector<std::int32_t> hourlyPositions)
    : cells_(background.size()),
      maxDays_(std::max(1, maxDays)),
      everyHour_(false),
      hourlyPositions_(std::move(hourlyPositions)) {
  std::sort(hourlyPositions_.begin(), hourlyPositions_.end());
  hourlyPositions_.erase(std::unique(hourlyPositions_.begin(), hourlyPositions_.end()),
                         hourlyPositions_.end());
  // An unrouted cell's day is its hours' value: the mean of 24 zeros is 0, their maximum 0,
  // and a cell without results holds the missing value in every grid.
  const std::size_t dailyGrids = static_cast<std::size_t>(maxDays_) * 2;
  values_.reserve(dailyGrids * cells_);
  for (std::size_t g = 0; g < dailyGrids; ++g) {
    values_.insert(values_.end(), background.begin(), background.end());
  }
  const std::size_t hours = static_cast<std::size_t>(maxDays_) * 24;
  kept_.resize(hours * hourlyPositions_.size());
  for (std::size_t h = 0; h < hours; ++h) {
    for (std::size_t k = 0; k < hourlyPositions_.size(); ++k) {
      kept_[h * hourlyPositions_.size() + k] = background[hourlyPositions_[k]];
    }
  }
}

float WindowGrids::hourly(std::int32_t h, std::size_t position) const {
  if (everyHour_) return hour(h)[position];
  const auto at = std::lower_bound(hourlyPositions_.begin(), hourlyPositions_.end(),
                                   static_cast<std::int32_t>(position));
  const std::size_t k = static_cast<std::size_t>(at - hourlyPositions_.begin());
  return kept_[static_cast<std::size_t>(h) * hourlyPositions_.size() + k];
}

void WindowGrids::store(std::size_t position, const float* means, std::size_t stride,
                        std::int32_t firstHour, std::int32_t hours) {
  if (everyHour_) {
    for (std::int32_t h = 0; h < hours; ++h) {
      values_[static_cast<std::size_t>(firstHour + h) * cells_ + position] = means[h * stride];
    }
    return;
  }
  // A float sum of the day's hours in order, divided by 24 as a float; the largest from 0. Both
  // wait in the day's grids from one span to the next.
  for (std::int32_t h = 0; h < hours; ++h) {
    const std::int32_t d = (firstHour + h) / 24;
    const std::int32_t hourOfDay = (firstHour + h) % 24;
    float& mean = values_[static_cast<std::size_t>(2 * d) * cells_ + position];
    float& largest = values_[static_cast<std::size_t>(2 * d + 1) * cells_ + position];
    float total = hourOfDay == 0 ? 0.0f : mean;
    if (hourOfDay == 0) largest = 0.0f;
    const float q = means[h * stride];
    total += q;
    if (q >= largest) largest = q;
    mean = hourOfDay == 23 ? total / 24.0f : total;
  }
  const auto at = std::lower_bound(hourlyPositions_.begin(), hourlyPositions_.end(),
                                   static_cast<std::int32_t>(position));
  if (at == hourlyPositions_.end() || *at != static_cast<std::int32_t>(position)) return;
  const std::size_t k = static_cast<std::size_t>(at - hourlyPositions_.begin());
  for (std::int32_t h = 0; h < hours; ++h) {
    kept_[static_cast<std::size_t>(firstHour + h) * hourlyPositions_.size() + k] =
        means[h * stride];
  }
}

WindowRouter::WindowRouter(const RoutingRun& run, RoutingStates& states, int threads,
                           std::int32_t maxWindowDays, RemoteTasks* remote)
    : run_(run),
      states_(states),
      threads_(std::max(1, threads)),
      maxWindowDays_(std::max(1, maxWindowDays)),
      remote_(remote),
      shared_(std::make_unique<Shared>()),
      positionOfTask_(run.plan.size()) {
  // The window grids hold rows from the south, as the files do; the grid's row 0 is the north.
  for (std::int32_t t = 0; t < run.plan.size(); ++t) {
    positionOfTask_[t] = static_cast<std::int32_t>(filePosition(run.grid, run.plan.cell[t]));
  }
}

WindowRouter::~WindowRouter() = default;

namespace {

// A failure on a routing thread, as the window's outcome.
Status routingFailure(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_alloc&) {
    return Status::ioError(kOutOfMemory);
  } catch (const std::length_error&) {
    return Status::ioError(kOutOfMemory);
  } catch (const std::exception& other) {
    return Status::ioError(std::string("Routing stopped: ") + other.what());
  }
}

}  // namespace

Status WindowRouter::route(const RainGrid& rain, const HourSpan& span, WindowGrids& grids,
                           std::ostream* console, std::atomic<std::int64_t>* cellSteps) {
  if (span.days < 0 || span.days > maxWindowDays_ || span.days > grids.maxDays() ||
      grids.cellsPerGrid() != static_cast<std::size_t>(run_.grid.rows) * run_.grid.cols) {
    return Status::invalid("A window of " + std::to_string(span.days) +
                           " days does not fit the router's windows or grids.");
  }
  if (span.firstHour < 0 || span.hours < 0 || span.firstHour + span.hours > span.days * 24) {
    return Status::invalid("Hours " + std::to_string(span.firstHour) + " to " +
                           std::to_string(span.firstHour + span.hours - 1) +
                           " do not lie in a window of " + std::to_string(span.days) + " days.");
  }
  grids.setDays(span.days);
  const std::size_t historyLength =
      static_cast<std::size_t>(maxWindowDays_) * 24 * static_cast<std::size_t>(run_.subSteps);
  const bool firstSpan = !shared_->routedOnce;
  shared_->routedOnce = true;
  Scheduler scheduler(run_, historyLength, remote_, shared_->pool, firstSpan ? console : nullptr,
                      [&](std::int32_t complete, std::ostream& out) {
                        shared_->writeLines(run_.order, complete, out);
                      });
  const Window window{rain,        span,        run_.subSteps,
                      run_.scheme, run_.losses, run_.soilGrids != nullptr,
                      run_.pet,    run_.power};
  const std::int64_t stepsPerCell = static_cast<std::int64_t>(span.hours) * run_.subSteps;

  auto routeJobs = [&](std::vector<CellJob>& jobs, std::vector<float>& means) {
    for (CellJob& job : jobs) {
      const std::int32_t index = run_.plan.cell[job.task];
      job.cell = &run_.grid.cells[index];
      job.state = &states_.states[states_.slotOfCell[index]];
      if (!states_.volumes.empty()) job.volumes = &states_.volumes[states_.slotOfCell[index]];
      if (run_.losses.method != LossMethod::kNone) {
        job.loss = &states_.losses[states_.slotOfCell[index]];
        job.lossParameters = run_.lossGrids->parametersOf(index);
      }
      if (run_.soilGrids != nullptr) {
        job.soil = &states_.soil[states_.slotOfCell[index]];
        job.soilCell = prepareSoilCell(run_.soil, run_.soilGrids->parametersOf(index));
      }
      job.position = static_cast<std::size_t>(positionOfTask_[job.task]);
      job.lake = nullptr;
      if (!states_.lakeOfSlot.empty()) {
        if (const std::int32_t k = states_.lakeOfSlot[states_.slotOfCell[index]]; k >= 0) {
          job.lake = &states_.lakes[k];
        }
      }
    }
    routeBatch(window, jobs, grids, means);
    for (const CellJob& job : jobs) scheduler.finish(job.task);
    if (cellSteps != nullptr) {
      cellSteps->fetch_add(stepsPerCell * static_cast<std::int64_t>(jobs.size()),
                           std::memory_order_relaxed);
    }
  };
  auto worker = [&] {
    std::vector<CellJob> jobs;
    std::vector<float> means;
    try {
      for (scheduler.take(jobs, threads_); !jobs.empty(); scheduler.take(jobs, threads_)) {
        routeJobs(jobs, means);
      }
    } catch (...) {
      scheduler.fail(routingFailure(std::current_exception()));
    }
  };
  // With remote tasks the calling thread also carries the messages: between batches it sends
  // what is finished and takes in what has arrived, and when nothing here is ready it waits
  // for a message rather than for the other threads.
  auto messenger = [&] {
    std::vector<CellJob> jobs;
    std::vector<float> means;
    try {
      remote_->beginWindow(historyLength, static_cast<std::size_t>(stepsPerCell));
      while (!scheduler.finished()) {
        remote_->passMessages(scheduler);
        scheduler.take(jobs, threads_, false);
        if (!jobs.empty()) {
          routeJobs(jobs, means);
        } else {
          // Nothing ready here: a message may make something ready (look again soon), or
          // another thread's task may, or leave a history to send.
          scheduler.waitForWork(remote_->awaiting() ? std::chrono::microseconds(50)
                                                    : std::chrono::microseconds(10000));
        }
      }
      remote_->endWindow(scheduler);
    } catch (...) {
      scheduler.fail(routingFailure(std::current_exception()));
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
  if (remote_ != nullptr) {
    messenger();
  } else {
    worker();
  }
  for (std::thread& thread : pool) thread.join();
  return scheduler.outcome();
}

void WindowRouter::finishGroupLines(std::ostream& console) {
  shared_->writeLines(run_.order, run_.order.groupCount, console);
}

}  // namespace runoff
