// The model behind the Basic Model Interface: a run of runoff-sim (runoff/run/simulation.h) in
// the basin folder of a configuration file (runoff/bmi/bmi_config.h), stepped an hour at a time.
//
// Time is in seconds from the run's start: 0 to days x 86400, one step 3600 s. update() routes
// one hour; update_until(t) routes up to t, which must be a whole hour not before the current
// time and not past the end. The run writes what runoff-sim writes with the same options, and
// finalize() (once every hour is routed) publishes it, so a run stepped through the interface
// leaves the files of runoff-sim, byte for byte.
//
// Grids, both uniform rectilinear, rank 2, shape (rows, columns), spacing (dy, dx) and origin
// (latitude, longitude) in degrees of the south-western node, row 0 the southern row:
//   0  the topography cells, a node at each cell's centre (the order of the discharge files)
//   1  the rainfall cells, a node at each cell's centre (the rain file's rows, south first)
//
// Variables (location "node"):
//   channel_water__volume_flow_rate         grid 0, float32, m3 s-1, out: each cell's mean
//       discharge over the last hour routed, the value that hour has in dischargeHourly.bin;
//       -9999 on cells that are not simulated (off the listed rivers, on the outer ring), 0 on
//       the others before the first hour. Needs the hourly grids kept (the default --outputs).
//   atmosphere_water__rainfall_volume_flux  grid 1, float32, mm h-1, in and out: the rain of
//       the next hour to route, the rain file's unless set; a value set replaces the file's for
//       that hour only (0 to 10000 mm/h). After the last hour, 0.
//   land_surface_water__runoff_volume_flux  grid 0, float64, mm h-1, out: the rainfall excess
//       of the last hour routed, the rate that became lateral inflow: the rain itself without
//       --losses, what the loss method left of it with them (recovered from the cell's lateral
//       inflow, to the last bits of a double); -9999 where the discharge is, 0 before the first
//       hour.
// The soil and groundwater storages of a run with --soil join this list beside them.
#ifndef RUNOFF_BMI_RUNOFF_BMI_H_
#define RUNOFF_BMI_RUNOFF_BMI_H_

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "runoff/bmi/bmi.h"
#include "runoff/run/simulation.h"

namespace runoff {

class RunoffBmi : public Bmi {
 public:
  RunoffBmi();
  ~RunoffBmi() override;

  int initialize(const std::string& config_file) override;
  /// The same from a configuration already read: the basin folder and runoff-sim's options.
  int initializeWith(const std::string& workdir, const std::vector<std::string>& args);
  int update() override;
  int update_until(double time) override;
  int finalize() override;

  int get_component_name(std::string& name) const override;
  int get_input_item_count(int& count) const override;
  int get_output_item_count(int& count) const override;
  int get_input_var_names(std::vector<std::string>& names) const override;
  int get_output_var_names(std::vector<std::string>& names) const override;

  int get_var_grid(const std::string& name, int& grid) const override;
  int get_var_type(const std::string& name, std::string& type) const override;
  int get_var_units(const std::string& name, std::string& units) const override;
  int get_var_itemsize(const std::string& name, int& size) const override;
  int get_var_nbytes(const std::string& name, int& nbytes) const override;
  int get_var_location(const std::string& name, std::string& location) const override;

  int get_current_time(double& time) const override;
  int get_start_time(double& time) const override;
  int get_end_time(double& time) const override;
  int get_time_units(std::string& units) const override;
  int get_time_step(double& step) const override;

  int get_value(const std::string& name, void* dest) const override;
  int get_value_ptr(const std::string& name, void** dest_ptr) override;
  int get_value_at_indices(const std::string& name, void* dest, const int* inds,
                           int count) const override;
  int set_value(const std::string& name, const void* src) override;
  int set_value_at_indices(const std::string& name, const int* inds, int count,
                           const void* src) override;

  int get_grid_rank(int grid, int& rank) const override;
  int get_grid_size(int grid, int& size) const override;
  int get_grid_type(int grid, std::string& type) const override;
  int get_grid_shape(int grid, int* shape) const override;
  int get_grid_spacing(int grid, double* spacing) const override;
  int get_grid_origin(int grid, double* origin) const override;
  int get_grid_x(int grid, double* x) const override;
  int get_grid_y(int grid, double* y) const override;
  int get_grid_z(int grid, double* z) const override;
  int get_grid_node_count(int grid, int& count) const override;
  int get_grid_edge_count(int grid, int& count) const override;
  int get_grid_face_count(int grid, int& count) const override;
  int get_grid_edge_nodes(int grid, int* edge_nodes) const override;
  int get_grid_face_edges(int grid, int* face_edges) const override;
  int get_grid_face_nodes(int grid, int* face_nodes) const override;
  int get_grid_nodes_per_face(int grid, int* nodes_per_face) const override;

  const std::string& lastError() const override { return error_; }

  /// One variable of the interface (the table is in runoff_bmi.cpp).
  struct Variable;

  /// Routes `hours` hours (the same as update_until of the time that far on).
  int advance(std::int64_t hours);
  /// The console text of the run so far (what runoff-sim would print), and its hours.
  std::string console() const { return console_.str(); }
  std::int64_t hoursDone() const { return hoursDone_; }
  std::int64_t totalHours() const { return totalHours_; }
  /// The run, after a successful initialize() (null before it and after finalize()).
  const Simulation* simulation() const { return run_.get(); }
  /// The gauges placed (with --gauges) and their hourly means so far, m3 s-1: hour-major, the
  /// gauges of each hour in the order of the names.
  const std::vector<std::string>& gaugeNames() const { return gaugeNames_; }
  const std::vector<float>& gaugeSeries() const { return gaugeSeries_; }
  const std::string& workdir() const { return workdir_; }

 private:
  struct Grid {
    std::int32_t rows = 0, cols = 0;
    double south = 0, west = 0;  // the south-western node, degrees
    double dy = 0, dx = 0;       // degrees
  };

  template <typename Step>
  int guarded(Step step);
  int start(const std::string& workdir, const std::vector<std::string>& args);
  int route(std::int64_t hours);
  int finish();
  int fail(const std::string& message) const;
  int failed(const Status& status) const;
  bool shown(const Variable& var) const;  // the soil's variables in a run with --soil only
  const Variable* variable(const std::string& name) const;
  const Variable* known(const std::string& name) const;  // and fails on an unknown name
  const Grid* grid(int id) const;
  bool running() const;
  // The values a variable shows: the array behind it.
  void* storage(const Variable& var);
  const void* storage(const Variable& var) const;
  // The next hour's rain into the run, the values after an hour out of it.
  void putRain();
  void takeRain();
  void takeResults();
  void takeStores();
  void keepGaugeHour();

  std::unique_ptr<RunHooks> hooks_;  // outlives the run
  std::unique_ptr<Simulation> run_;
  std::ostringstream console_;
  std::string workdir_;
  bool finalized_ = false;
  bool hourly_ = true;  // the run keeps every hour's grid (the discharge can be shown)
  std::int64_t hoursDone_ = 0, totalHours_ = 0;
  Grid grids_[2];
  std::vector<float> discharge_;     // grid 0, south first
  std::vector<float> rain_;          // grid 1, south first
  std::vector<double> excess_;       // grid 0, south first
  bool soil_ = false;                // a run with --soil: its stores are shown
  std::vector<double> soilWater_;    // grid 0, south first, mm
  std::vector<double> groundwater_;  // grid 0, south first, mm
  std::vector<std::string> gaugeNames_;
  std::vector<std::size_t> gaugePositions_;
  std::vector<float> gaugeSeries_;
  mutable std::string error_;
};

}  // namespace runoff

#endif  // RUNOFF_BMI_RUNOFF_BMI_H_
