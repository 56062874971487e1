#include "runoff/bmi/runoff_bmi.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>

#include "runoff/bmi/bmi_config.h"
#include "runoff/bmi/working_directory.h"
#include "runoff/evaluation/scores.h"
#include "runoff/inputs/grid_geometry.h"
#include "runoff/model/kinematic_wave.h"
#include "runoff/output/discharge_output.h"
#include "runoff/routing/window_router.h"
#include "runoff/run/sim_options.h"
#ifdef RUNOFF_HAVE_NETCDF
#include "runoff/output/netcdf_sink.h"
#endif

namespace runoff {

namespace {

constexpr double kSecondsPerHour = 3600;
constexpr float kMissing = -9999.0f;
constexpr const char* kUniformRectilinear = "uniform_rectilinear";

// A number in a message: the shortest decimal that reads back as it (172800, -0.5).
std::string number(double value) { return shortestDecimal(value); }

enum class Quantity { kDischarge, kRain, kExcess, kSoil, kGroundwater };

}  // namespace

struct RunoffBmi::Variable {
  const char* name;
  Quantity quantity;
  int grid;
  const char* type;
  int itemsize;
  const char* units;
  bool input;
  bool soil = false;  // shown in a run with --soil only
};

// The variables, inputs and outputs alike (every variable is an output). The soil and
// groundwater storages are those of a run with --soil.
static const RunoffBmi::Variable kVariables[] = {
    {"channel_water__volume_flow_rate", Quantity::kDischarge, 0, "float32", 4, "m3 s-1", false},
    {"atmosphere_water__rainfall_volume_flux", Quantity::kRain, 1, "float32", 4, "mm h-1", true},
    {"land_surface_water__runoff_volume_flux", Quantity::kExcess, 0, "float64", 8, "mm h-1", false},
    {"soil_water__depth", Quantity::kSoil, 0, "float64", 8, "mm", false, true},
    {"groundwater__depth", Quantity::kGroundwater, 0, "float64", 8, "mm", false, true},
};

namespace {

// What a run behind the interface adds, as runoff-sim does: the NetCDF writer, where the
// library is built with NetCDF. Its history attribute names the run as runoff-sim's options.
class BmiHooks : public RunHooks {
 public:
  explicit BmiHooks(std::vector<std::string> argv) : argv_(std::move(argv)) {}

  OutputMakers outputMakers([[maybe_unused]] const Simulation& run) override {
    OutputMakers makers;
#ifdef RUNOFF_HAVE_NETCDF
    makers.netcdf = [&](const std::string& path, NetcdfDescription description) {
      description.history = netcdfHistory(argv_);
      description.source = netcdfSource("runoff-sim");
      Result<std::unique_ptr<NetcdfSink>> made = NetcdfSink::create(
          path, description, selectedInFileOrder(run.inputs().topo, run.inputs().selected));
      if (!made.ok()) return OutputMakers::Made(made.status());
      return OutputMakers::Made(std::unique_ptr<WindowSink>(std::move(made).value()));
    };
#endif
    return makers;
  }

 private:
  std::vector<std::string> argv_;
};

}  // namespace

RunoffBmi::RunoffBmi() = default;

RunoffBmi::~RunoffBmi() {
  // The run's unpublished temporaries are named relative to its folder: it ends there. Where
  // the folder is gone, the run is abandoned rather than left to remove files by those names
  // wherever the caller happens to be.
  if (run_) {
    WorkingDirectory inside(workdir_);
    if (inside.status().ok()) {
      run_.reset();
    } else {
      [[maybe_unused]] Simulation* abandoned = run_.release();
    }
  }
}

template <typename Step>
int RunoffBmi::guarded(Step step) {
  // Nothing may unwind into a caller that may not be C++ at all: the run's rare exceptions
  // (memory running out part way) become the call's failure.
  try {
    return step();
  } catch (const std::bad_alloc&) {
    return fail(kOutOfMemory);
  } catch (const std::length_error&) {
    return fail(kOutOfMemory);
  } catch (const std::exception& error) {
    return fail(std::string("unexpected failure: ") + error.what());
  }
}

int RunoffBmi::fail(const std::string& message) const {
  error_ = message;
  return kBmiFailure;
}

int RunoffBmi::failed(const Status& status) const {
  return status.ok() ? kBmiSuccess : fail(status.message());
}

bool RunoffBmi::running() const { return run_ != nullptr; }

// ---- Model control -------------------------------------------------------------------------

int RunoffBmi::initialize(const std::string& config_file) {
  return guarded([&] {
    Result<BmiConfig> config = readBmiConfigFile(config_file);
    if (!config.ok()) return failed(config.status());
    return start(config->workdir, config->args);
  });
}

int RunoffBmi::initializeWith(const std::string& workdir, const std::vector<std::string>& args) {
  return guarded([&] { return start(workdir, args); });
}

int RunoffBmi::start(const std::string& workdir, const std::vector<std::string>& args) {
  if (run_ || finalized_) return fail("The model is initialized already.");
  Result<SimOptions> options = parseSimOptions(args);
  if (!options.ok()) return fail("runoff-sim: " + options.message());
  if (options->help) return fail("runoff-sim: --help is no option of a run.");
  std::error_code error;
  workdir_ = std::filesystem::absolute(workdir, error).lexically_normal().string();
  if (error) return fail("The basin folder " + workdir + " cannot be found.");
  WorkingDirectory inside(workdir_);
  if (!inside.status().ok()) return failed(inside.status());
  std::vector<std::string> argv = {"runoff-sim"};
  argv.insert(argv.end(), args.begin(), args.end());
  hooks_ = std::make_unique<BmiHooks>(std::move(argv));
  auto run = std::make_unique<Simulation>(*options, console_, hooks_.get());
  if (Status s = run->initialize(); !s.ok()) return failed(s);
  const RunParameters& params = run->params();
  Result<GridGeometry> topo = GridGeometry::fromParameters(params);
  if (!topo.ok()) return failed(topo.status());
  run_ = std::move(run);
  totalHours_ = run_->totalHours();
  hourly_ = options->outputs.has(DischargeFile::kHourly);

  grids_[0] = {params.topoRows,    params.topoCols, topo->latCentre(0),
               topo->lonCentre(0), topo->cellDeg,   topo->cellDeg};
  grids_[1] = {params.rainRows,  params.rainCols, params.rainSwLat,
               params.rainSwLon, params.rainDy,   params.rainDx};
  discharge_ = outputBackground(run_->inputs().topo, run_->inputs().selected);
  excess_.assign(discharge_.begin(), discharge_.end());
  soil_ = options->soil;
  if (soil_) {
    soilWater_.assign(excess_.begin(), excess_.end());
    groundwater_ = soilWater_;
    takeStores();
  }
  rain_.assign(static_cast<std::size_t>(params.rainRows) * params.rainCols, 0.0f);
  for (const SnappedGauge& gauge : run_->gauges()) {
    gaugeNames_.push_back(gauge.name);
    gaugePositions_.push_back(gauge.position);
  }
  takeRain();
  return kBmiSuccess;
}

int RunoffBmi::update() { return advance(1); }

int RunoffBmi::update_until(double time) {
  if (!running())
    return fail(finalized_ ? "The model is finalized." : "The model is not initialized.");
  const double now = static_cast<double>(hoursDone()) * kSecondsPerHour;
  const double end = static_cast<double>(totalHours()) * kSecondsPerHour;
  if (!std::isfinite(time) || time > end) {
    return fail("Cannot run until " + number(time) + " s: the run ends at " + number(end) + " s.");
  }
  if (time < now) {
    return fail("Cannot run until " + number(time) + " s: the model is at " + number(now) +
                " s already.");
  }
  if (std::fmod(time, kSecondsPerHour) != 0) {
    return fail("Cannot run until " + number(time) + " s: the model steps whole hours (3600 s).");
  }
  return advance(static_cast<std::int64_t>(time / kSecondsPerHour) - hoursDone());
}

int RunoffBmi::advance(std::int64_t hours) {
  return guarded([&] { return route(hours); });
}

int RunoffBmi::route(std::int64_t hours) {
  if (!running())
    return fail(finalized_ ? "The model is finalized." : "The model is not initialized.");
  const std::int64_t left = totalHours() - hoursDone();
  if (hours < 0 || hours > left) {
    return fail("Cannot route " + std::to_string(hours) + " hours: the run has " +
                std::to_string(left) + " of its " + std::to_string(totalHours()) + " hours left.");
  }
  if (hours == 0) return kBmiSuccess;
  for (std::size_t cell = 0; cell < rain_.size(); ++cell) {
    if (!(rain_[cell] >= 0 && rain_[cell] <= kMaxRainfall)) {
      return fail("The rain of rain cell " + std::to_string(cell) + " for the next hour is " +
                  number(rain_[cell]) + " mm/h, outside 0 to 10000.");
    }
  }
  WorkingDirectory inside(workdir_);
  if (!inside.status().ok()) return failed(inside.status());
  putRain();
  // The next hour takes the rain set for it; the hours after it the file's. With gauges, hour
  // by hour, each hour's means at the gauges kept.
  Status routed = run_->advance(1);
  if (routed.ok()) keepGaugeHour();
  if (routed.ok() && hours > 1) {
    if (gaugePositions_.empty()) {
      routed = run_->advance(hours - 1);
    } else {
      for (std::int64_t h = 1; h < hours && routed.ok(); ++h) {
        routed = run_->advance(1);
        if (routed.ok()) keepGaugeHour();
      }
    }
  }
  hoursDone_ = run_->hoursDone();
  if (!routed.ok()) return failed(routed);
  takeRain();
  takeResults();
  takeStores();
  return kBmiSuccess;
}

int RunoffBmi::finalize() {
  return guarded([&] { return finish(); });
}

int RunoffBmi::finish() {
  if (!running())
    return fail(finalized_ ? "The model is finalized already." : "The model is not initialized.");
  WorkingDirectory inside(workdir_);
  if (!inside.status().ok()) return failed(inside.status());
  finalized_ = true;
  const std::int64_t left = totalHours() - hoursDone();
  Status done = left > 0 ? Status::invalid("The run has " + std::to_string(left) + " of its " +
                                           std::to_string(totalHours()) +
                                           " hours left: its files are not written.")
                         : run_->finalize();
  run_.reset();
  return failed(done);
}

void RunoffBmi::keepGaugeHour() {
  for (std::size_t position : gaugePositions_) gaugeSeries_.push_back(run_->lastHourAt(position));
}

void RunoffBmi::putRain() {
  RainGrid& rain = run_->windowRain();
  const std::int32_t day = run_->nextDay(), hour = run_->nextHourOfDay();
  for (std::size_t cell = 0; cell < rain_.size(); ++cell) {
    rain.hourlyRain[rain.rainIndex(static_cast<std::int32_t>(cell), day, hour)] = rain_[cell];
  }
}

void RunoffBmi::takeRain() {
  if (hoursDone() >= totalHours()) {
    std::fill(rain_.begin(), rain_.end(), 0.0f);
    return;
  }
  const RainGrid& rain = run_->windowRain();
  const std::int32_t day = run_->nextDay(), hour = run_->nextHourOfDay();
  for (std::size_t cell = 0; cell < rain_.size(); ++cell) {
    rain_[cell] = rain.rain(static_cast<std::int32_t>(cell), day, hour);
  }
}

void RunoffBmi::takeStores() {
  if (!soil_) return;
  // Each routed cell's stores as they stand after the last hour routed (the start values
  // before the first); the cells without soil show the missing value.
  const TopoGrid& topo = run_->inputs().topo;
  const RoutingStates& states = run_->states();
  for (std::int32_t index = 0; index < static_cast<std::int32_t>(topo.cells.size()); ++index) {
    const std::int32_t slot = states.slotOfCell[index];
    if (slot < 0 || static_cast<std::size_t>(slot) >= states.soil.size()) continue;
    const SoilState& stores = states.soil[slot].stores;
    soilWater_[filePosition(topo, index)] = stores.soil;
    groundwater_[filePosition(topo, index)] = stores.groundwater;
  }
}

void RunoffBmi::takeResults() {
  const std::span<const float> last = run_->lastHour();
  if (!last.empty()) std::copy(last.begin(), last.end(), discharge_.begin());
  // The excess of the hour just routed: without losses the cell's rain (still held, as the
  // day before a new window), with them what the cell's lateral inflow says.
  const Simulation& run = *run_;
  const TopoGrid& topo = run.inputs().topo;
  const std::vector<std::uint8_t>& selected = run.inputs().selected;
  const std::vector<std::int32_t>& routed = run.routedCells();
  const RoutingStates& states = run.states();
  // With the soil the lateral inflow holds the saturation excess and the baseflow too.
  const bool losses = run.options().losses.method != LossMethod::kNone || run.options().soil;
  const RainGrid& rain = run_->windowRain();
  const std::int64_t hour = hoursDone() - 1;
  const std::int32_t day = static_cast<std::int32_t>(hour / 24) + 1;
  const std::int32_t hourOfDay = static_cast<std::int32_t>(hour % 24);
  for (std::int32_t index = 0; index < static_cast<std::int32_t>(topo.cells.size()); ++index) {
    double value = kMissing;
    if (selected[index]) {
      value = 0;
      const std::int32_t slot = states.slotOfCell[index];
      if (slot >= 0 && std::binary_search(routed.begin(), routed.end(), index)) {
        const CellRouting& cell = states.states[slot];
        if (!losses) {
          if (topo.cells[index].rainCell >= 0)
            value = rain.rain(topo.cells[index].rainCell, day, hourOfDay);
        } else {
          const double perMmPerHour = lateralInflow(cell, 1.0);
          value = perMmPerHour > 0 ? cell.qLatCur / perMmPerHour : 0;
        }
      }
    }
    excess_[filePosition(topo, index)] = value;
  }
}

// ---- Model information ---------------------------------------------------------------------

int RunoffBmi::get_component_name(std::string& name) const {
  name = "runoff-sim: gridded kinematic-wave rainfall-runoff model";
  return kBmiSuccess;
}

int RunoffBmi::get_input_item_count(int& count) const {
  count = static_cast<int>(std::count_if(std::begin(kVariables), std::end(kVariables),
                                         [&](const Variable& v) { return v.input && shown(v); }));
  return kBmiSuccess;
}

int RunoffBmi::get_output_item_count(int& count) const {
  count = static_cast<int>(std::count_if(std::begin(kVariables), std::end(kVariables),
                                         [&](const Variable& v) { return shown(v); }));
  return kBmiSuccess;
}

int RunoffBmi::get_input_var_names(std::vector<std::string>& names) const {
  names.clear();
  for (const Variable& v : kVariables) {
    if (v.input && shown(v)) names.emplace_back(v.name);
  }
  return kBmiSuccess;
}

int RunoffBmi::get_output_var_names(std::vector<std::string>& names) const {
  names.clear();
  for (const Variable& v : kVariables) {
    if (shown(v)) names.emplace_back(v.name);
  }
  return kBmiSuccess;
}

// ---- Variable information ------------------------------------------------------------------

bool RunoffBmi::shown(const Variable& var) const { return !var.soil || soil_; }

const RunoffBmi::Variable* RunoffBmi::variable(const std::string& name) const {
  for (const Variable& v : kVariables) {
    if (name == v.name && shown(v)) return &v;
  }
  return nullptr;
}

const RunoffBmi::Variable* RunoffBmi::known(const std::string& name) const {
  const Variable* var = variable(name);
  if (var == nullptr) fail("No variable is named \"" + name + "\".");
  return var;
}

int RunoffBmi::get_var_grid(const std::string& name, int& grid) const {
  const Variable* var = known(name);
  if (var == nullptr) return kBmiFailure;
  grid = var->grid;
  return kBmiSuccess;
}

int RunoffBmi::get_var_type(const std::string& name, std::string& type) const {
  const Variable* var = known(name);
  if (var == nullptr) return kBmiFailure;
  type = var->type;
  return kBmiSuccess;
}

int RunoffBmi::get_var_units(const std::string& name, std::string& units) const {
  const Variable* var = known(name);
  if (var == nullptr) return kBmiFailure;
  units = var->units;
  return kBmiSuccess;
}

int RunoffBmi::get_var_itemsize(const std::string& name, int& size) const {
  const Variable* var = known(name);
  if (var == nullptr) return kBmiFailure;
  size = var->itemsize;
  return kBmiSuccess;
}

int RunoffBmi::get_var_nbytes(const std::string& name, int& nbytes) const {
  const Variable* var = known(name);
  if (var == nullptr) return kBmiFailure;
  int size = 0;
  if (get_grid_size(var->grid, size) != kBmiSuccess) return kBmiFailure;
  if (size > INT_MAX / var->itemsize) return fail(name + " holds more bytes than an int counts.");
  nbytes = size * var->itemsize;
  return kBmiSuccess;
}

int RunoffBmi::get_var_location(const std::string& name, std::string& location) const {
  if (known(name) == nullptr) return kBmiFailure;
  location = "node";
  return kBmiSuccess;
}

// ---- Time ----------------------------------------------------------------------------------

int RunoffBmi::get_current_time(double& time) const {
  if (grids_[0].rows == 0) return fail("The model is not initialized.");
  time = static_cast<double>(hoursDone()) * kSecondsPerHour;
  return kBmiSuccess;
}

int RunoffBmi::get_start_time(double& time) const {
  time = 0;
  return kBmiSuccess;
}

int RunoffBmi::get_end_time(double& time) const {
  if (grids_[0].rows == 0) return fail("The model is not initialized.");
  time = static_cast<double>(totalHours()) * kSecondsPerHour;
  return kBmiSuccess;
}

int RunoffBmi::get_time_units(std::string& units) const {
  units.assign(1, 's');  // seconds (a one-letter literal upsets a warning of g++ 12)
  return kBmiSuccess;
}

int RunoffBmi::get_time_step(double& step) const {
  step = kSecondsPerHour;
  return kBmiSuccess;
}

// ---- Getters and setters -------------------------------------------------------------------

void* RunoffBmi::storage(const Variable& var) {
  return const_cast<void*>(static_cast<const RunoffBmi&>(*this).storage(var));
}

const void* RunoffBmi::storage(const Variable& var) const {
  switch (var.quantity) {
    case Quantity::kDischarge:
      return discharge_.data();
    case Quantity::kRain:
      return rain_.data();
    case Quantity::kExcess:
      return excess_.data();
    case Quantity::kSoil:
      return soilWater_.data();
    case Quantity::kGroundwater:
      return groundwater_.data();
  }
  return nullptr;
}

int RunoffBmi::get_value(const std::string& name, void* dest) const {
  int nbytes = 0;
  if (get_var_nbytes(name, nbytes) != kBmiSuccess) return kBmiFailure;
  if (dest == nullptr) return fail("get_value of " + name + " was given no place for its values.");
  const Variable& var = *variable(name);
  if (var.quantity == Quantity::kDischarge && !hourly_) {
    return fail("The run keeps no hourly grid (--outputs without hourly): " + name +
                " is not kept.");
  }
  std::memcpy(dest, storage(var), static_cast<std::size_t>(nbytes));
  return kBmiSuccess;
}

int RunoffBmi::get_value_ptr(const std::string& name, void** dest_ptr) {
  int nbytes = 0;
  if (get_var_nbytes(name, nbytes) != kBmiSuccess) return kBmiFailure;
  if (dest_ptr == nullptr)
    return fail("get_value_ptr of " + name + " was given no place for the pointer.");
  const Variable& var = *variable(name);
  if (var.quantity == Quantity::kDischarge && !hourly_) {
    return fail("The run keeps no hourly grid (--outputs without hourly): " + name +
                " is not kept.");
  }
  *dest_ptr = storage(var);
  return kBmiSuccess;
}

int RunoffBmi::get_value_at_indices(const std::string& name, void* dest, const int* inds,
                                    int count) const {
  int nbytes = 0;
  if (get_var_nbytes(name, nbytes) != kBmiSuccess) return kBmiFailure;
  const Variable& var = *variable(name);
  const int size = nbytes / var.itemsize;
  if (count < 0 || (count > 0 && (dest == nullptr || inds == nullptr))) {
    return fail("get_value_at_indices of " + name + " was given no indices or no place.");
  }
  if (var.quantity == Quantity::kDischarge && !hourly_) {
    return fail("The run keeps no hourly grid (--outputs without hourly): " + name +
                " is not kept.");
  }
  for (int i = 0; i < count; ++i) {
    if (inds[i] < 0 || inds[i] >= size) {
      return fail("Index " + std::to_string(inds[i]) + " is outside the " + std::to_string(size) +
                  " values of " + name + ".");
    }
  }
  const auto* from = static_cast<const unsigned char*>(storage(var));
  auto* to = static_cast<unsigned char*>(dest);
  for (int i = 0; i < count; ++i) {
    std::memcpy(to + static_cast<std::size_t>(i) * var.itemsize,
                from + static_cast<std::size_t>(inds[i]) * var.itemsize,
                static_cast<std::size_t>(var.itemsize));
  }
  return kBmiSuccess;
}

namespace {

// A rain value a run takes: a number from 0 to the largest intensity accepted.
bool isRain(float value) { return value >= 0 && value <= kMaxRainfall; }

}  // namespace

int RunoffBmi::set_value(const std::string& name, const void* src) {
  int nbytes = 0;
  if (get_var_nbytes(name, nbytes) != kBmiSuccess) return kBmiFailure;
  const int size = nbytes / 4;
  std::vector<int> all(static_cast<std::size_t>(size));
  for (int i = 0; i < size; ++i) all[static_cast<std::size_t>(i)] = i;
  return set_value_at_indices(name, all.data(), size, src);
}

int RunoffBmi::set_value_at_indices(const std::string& name, const int* inds, int count,
                                    const void* src) {
  int nbytes = 0;
  if (get_var_nbytes(name, nbytes) != kBmiSuccess) return kBmiFailure;
  const Variable& var = *variable(name);
  if (!var.input) return fail(name + " is an output of the model: it cannot be set.");
  if (!running() || hoursDone() >= totalHours()) {
    return fail("The run has no hour left to route: " + name + " cannot be set.");
  }
  if (count < 0 || (count > 0 && (src == nullptr || inds == nullptr))) {
    return fail("set_value_at_indices of " + name + " was given no indices or no values.");
  }
  const int size = nbytes / var.itemsize;
  std::vector<float> values(static_cast<std::size_t>(count));
  if (count > 0) std::memcpy(values.data(), src, values.size() * sizeof(float));
  for (int i = 0; i < count; ++i) {
    if (inds[i] < 0 || inds[i] >= size) {
      return fail("Index " + std::to_string(inds[i]) + " is outside the " + std::to_string(size) +
                  " values of " + name + ".");
    }
    if (!isRain(values[static_cast<std::size_t>(i)])) {
      return fail("The rain " + number(values[static_cast<std::size_t>(i)]) + " mm/h at index " +
                  std::to_string(inds[i]) + " is outside 0 to 10000.");
    }
  }
  for (int i = 0; i < count; ++i)
    rain_[static_cast<std::size_t>(inds[i])] = values[static_cast<std::size_t>(i)];
  return kBmiSuccess;
}

// ---- Grids ---------------------------------------------------------------------------------

const RunoffBmi::Grid* RunoffBmi::grid(int id) const {
  if (id != 0 && id != 1) {
    fail("No grid has the number " + std::to_string(id) + " (the grids are 0 and 1).");
    return nullptr;
  }
  if (grids_[id].rows == 0) {
    fail("The model is not initialized: its grids are not known yet.");
    return nullptr;
  }
  return &grids_[id];
}

int RunoffBmi::get_grid_rank(int id, int& rank) const {
  if (grid(id) == nullptr) return kBmiFailure;
  rank = 2;
  return kBmiSuccess;
}

int RunoffBmi::get_grid_size(int id, int& size) const {
  const Grid* g = grid(id);
  if (g == nullptr) return kBmiFailure;
  const std::int64_t cells = static_cast<std::int64_t>(g->rows) * g->cols;
  if (cells > INT_MAX)
    return fail("Grid " + std::to_string(id) + " has more cells than an int counts.");
  size = static_cast<int>(cells);
  return kBmiSuccess;
}

int RunoffBmi::get_grid_type(int id, std::string& type) const {
  if (grid(id) == nullptr) return kBmiFailure;
  type = kUniformRectilinear;
  return kBmiSuccess;
}

int RunoffBmi::get_grid_shape(int id, int* shape) const {
  const Grid* g = grid(id);
  if (g == nullptr) return kBmiFailure;
  if (shape == nullptr) return fail("get_grid_shape was given no place.");
  shape[0] = g->rows;
  shape[1] = g->cols;
  return kBmiSuccess;
}

int RunoffBmi::get_grid_spacing(int id, double* spacing) const {
  const Grid* g = grid(id);
  if (g == nullptr) return kBmiFailure;
  if (spacing == nullptr) return fail("get_grid_spacing was given no place.");
  spacing[0] = g->dy;
  spacing[1] = g->dx;
  return kBmiSuccess;
}

int RunoffBmi::get_grid_origin(int id, double* origin) const {
  const Grid* g = grid(id);
  if (g == nullptr) return kBmiFailure;
  if (origin == nullptr) return fail("get_grid_origin was given no place.");
  origin[0] = g->south;
  origin[1] = g->west;
  return kBmiSuccess;
}

int RunoffBmi::get_grid_x(int id, double* x) const {
  const Grid* g = grid(id);
  if (g == nullptr) return kBmiFailure;
  if (x == nullptr) return fail("get_grid_x was given no place.");
  for (std::int32_t col = 0; col < g->cols; ++col) x[col] = g->west + col * g->dx;
  return kBmiSuccess;
}

int RunoffBmi::get_grid_y(int id, double* y) const {
  const Grid* g = grid(id);
  if (g == nullptr) return kBmiFailure;
  if (y == nullptr) return fail("get_grid_y was given no place.");
  for (std::int32_t row = 0; row < g->rows; ++row) y[row] = g->south + row * g->dy;
  return kBmiSuccess;
}

int RunoffBmi::get_grid_z(int id, double*) const {
  if (grid(id) == nullptr) return kBmiFailure;
  return fail("Grid " + std::to_string(id) + " has rank 2: it has no z coordinate.");
}

int RunoffBmi::get_grid_node_count(int id, int& count) const { return get_grid_size(id, count); }

int RunoffBmi::get_grid_edge_count(int id, int& count) const {
  const Grid* g = grid(id);
  if (g == nullptr) return kBmiFailure;
  const std::int64_t edges = static_cast<std::int64_t>(g->rows) * (g->cols - 1) +
                             static_cast<std::int64_t>(g->cols) * (g->rows - 1);
  if (edges > INT_MAX)
    return fail("Grid " + std::to_string(id) + " has more edges than an int counts.");
  count = static_cast<int>(edges);
  return kBmiSuccess;
}

int RunoffBmi::get_grid_face_count(int id, int& count) const {
  const Grid* g = grid(id);
  if (g == nullptr) return kBmiFailure;
  count = static_cast<int>(static_cast<std::int64_t>(g->rows - 1) * (g->cols - 1));
  return kBmiSuccess;
}

namespace {

std::string impliedByShape(int id) {
  return "Grid " + std::to_string(id) +
         " is uniform rectilinear: its connectivity follows from its shape.";
}

}  // namespace

int RunoffBmi::get_grid_edge_nodes(int id, int*) const {
  return grid(id) == nullptr ? kBmiFailure : fail(impliedByShape(id));
}
int RunoffBmi::get_grid_face_edges(int id, int*) const {
  return grid(id) == nullptr ? kBmiFailure : fail(impliedByShape(id));
}
int RunoffBmi::get_grid_face_nodes(int id, int*) const {
  return grid(id) == nullptr ? kBmiFailure : fail(impliedByShape(id));
}
int RunoffBmi::get_grid_nodes_per_face(int id, int*) const {
  return grid(id) == nullptr ? kBmiFailure : fail(impliedByShape(id));
}

}  // namespace runoff
