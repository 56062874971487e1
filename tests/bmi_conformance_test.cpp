// Every function of the Basic Model Interface against the interface's contract, on the example
// basin: what answers before initialize() and what must wait for it; the variables' types,
// sizes, units and grids; the grids' shapes, spacings, origins and coordinates against the
// parameter file; time in seconds stepping by an hour, update_until refusing the past, the
// part of an hour and anything past the end; the getters and setters agreeing with each other;
// and the refusals of bad names, indices, values and configuration files, each with one line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "runoff/bmi/runoff_bmi.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

const char* kDischarge = "channel_water__volume_flow_rate";
const char* kRain = "atmosphere_water__rainfall_volume_flux";
const char* kExcess = "land_surface_water__runoff_volume_flux";

// The example basin: 100 x 100 cells of 3 arc-seconds, 3 x 3 rain cells of 0.03 degrees,
// 2 days (as its parameter file says).
constexpr int kRows = 100, kCols = 100, kRainRows = 3, kRainCols = 3, kDays = 2;

void stage(const fs::path& dir) {
  copyTree(fs::path(EXAMPLES_DIR) / "sample-basin", dir);
  fs::create_directories(dir / "output");
  fs::create_directories(dir / "temp");
}

TEST(BmiContract, BeforeInitializeOnlyWhatNeedsNoRunAnswers) {
  RunoffBmi model;
  std::string text;
  double value = -1;
  int count = -1;
  EXPECT_EQ(model.get_component_name(text), kBmiSuccess);
  EXPECT_EQ(model.get_time_units(text), kBmiSuccess);
  EXPECT_EQ(text, "s");
  EXPECT_EQ(model.get_time_step(value), kBmiSuccess);
  EXPECT_EQ(value, 3600.0);
  EXPECT_EQ(model.get_start_time(value), kBmiSuccess);
  EXPECT_EQ(value, 0.0);
  EXPECT_EQ(model.get_var_units(kDischarge, text), kBmiSuccess);
  EXPECT_EQ(text, "m3 s-1");
  // What depends on the run waits for it.
  EXPECT_EQ(model.get_end_time(value), kBmiFailure);
  EXPECT_EQ(model.lastError(), "The model is not initialized.");
  EXPECT_EQ(model.get_grid_size(0, count), kBmiFailure);
  EXPECT_EQ(model.get_var_nbytes(kDischarge, count), kBmiFailure);
  EXPECT_EQ(model.update(), kBmiFailure);
  EXPECT_EQ(model.lastError(), "The model is not initialized.");
  EXPECT_EQ(model.finalize(), kBmiFailure);
  float rain[kRainRows * kRainCols] = {};
  EXPECT_EQ(model.set_value(kRain, rain), kBmiFailure);
}

TEST(BmiContract, VariablesGridsAndTimeFollowTheContract) {
  TempDir dir;
  stage(dir.path());
  RunoffBmi model;
  ASSERT_EQ(model.initializeWith(dir.path().string(), {}), kBmiSuccess) << model.lastError();

  // Names: inputs are a part of the outputs; every variable is fully described.
  int inputs = 0, outputs = 0;
  std::vector<std::string> inNames, outNames;
  ASSERT_EQ(model.get_input_item_count(inputs), kBmiSuccess);
  ASSERT_EQ(model.get_output_item_count(outputs), kBmiSuccess);
  ASSERT_EQ(model.get_input_var_names(inNames), kBmiSuccess);
  ASSERT_EQ(model.get_output_var_names(outNames), kBmiSuccess);
  EXPECT_EQ(inNames.size(), static_cast<std::size_t>(inputs));
  EXPECT_EQ(outNames.size(), static_cast<std::size_t>(outputs));
  EXPECT_EQ(inNames, std::vector<std::string>{kRain});
  EXPECT_EQ(std::set<std::string>(outNames.begin(), outNames.end()),
            (std::set<std::string>{kDischarge, kRain, kExcess}));

  struct Expected {
    const char* name;
    int grid;
    const char* type;
    int itemsize;
    const char* units;
    int cells;
  };
  const Expected expected[] = {{kDischarge, 0, "float32", 4, "m3 s-1", kRows * kCols},
                               {kRain, 1, "float32", 4, "mm h-1", kRainRows * kRainCols},
                               {kExcess, 0, "float64", 8, "mm h-1", kRows * kCols}};
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.name);
    int grid = -1, itemsize = 0, nbytes = 0, size = 0;
    std::string type, units, location;
    ASSERT_EQ(model.get_var_grid(e.name, grid), kBmiSuccess);
    ASSERT_EQ(model.get_var_type(e.name, type), kBmiSuccess);
    ASSERT_EQ(model.get_var_itemsize(e.name, itemsize), kBmiSuccess);
    ASSERT_EQ(model.get_var_nbytes(e.name, nbytes), kBmiSuccess);
    ASSERT_EQ(model.get_var_units(e.name, units), kBmiSuccess);
    ASSERT_EQ(model.get_var_location(e.name, location), kBmiSuccess);
    ASSERT_EQ(model.get_grid_size(grid, size), kBmiSuccess);
    EXPECT_EQ(grid, e.grid);
    EXPECT_EQ(type, e.type);
    EXPECT_EQ(itemsize, e.itemsize);
    EXPECT_EQ(units, e.units);
    EXPECT_EQ(location, "node");
    EXPECT_EQ(size, e.cells);
    EXPECT_EQ(nbytes, e.cells * e.itemsize);
  }

  // The grids against the parameter file: 3" topography cells from the corner
  // (-84.34125, 36.6345833333333), rain cells of 0.03 degrees centred from (-84.3296, 36.6462).
  struct GridExpected {
    int rows, cols;
    double dy, dx, south, west;
  };
  const double arcSec = 1.0 / 3600;
  const GridExpected grids[] = {{kRows, kCols, 3 * arcSec, 3 * arcSec,
                                 36.6345833333333 + 1.5 * arcSec, -84.34125 + 1.5 * arcSec},
                                {kRainRows, kRainCols, 0.03, 0.03, 36.6462, -84.3296}};
  for (int g = 0; g < 2; ++g) {
    SCOPED_TRACE("grid " + std::to_string(g));
    const GridExpected& e = grids[g];
    int rank = 0, size = 0, shape[2] = {}, nodes = 0, edges = 0, faces = 0;
    double spacing[2] = {}, origin[2] = {};
    std::string type;
    ASSERT_EQ(model.get_grid_rank(g, rank), kBmiSuccess);
    ASSERT_EQ(model.get_grid_type(g, type), kBmiSuccess);
    ASSERT_EQ(model.get_grid_shape(g, shape), kBmiSuccess);
    ASSERT_EQ(model.get_grid_spacing(g, spacing), kBmiSuccess);
    ASSERT_EQ(model.get_grid_origin(g, origin), kBmiSuccess);
    ASSERT_EQ(model.get_grid_size(g, size), kBmiSuccess);
    EXPECT_EQ(rank, 2);
    EXPECT_EQ(type, "uniform_rectilinear");
    EXPECT_EQ(shape[0], e.rows);
    EXPECT_EQ(shape[1], e.cols);
    EXPECT_EQ(size, shape[0] * shape[1]);
    EXPECT_NEAR(spacing[0], e.dy, 1e-12);
    EXPECT_NEAR(spacing[1], e.dx, 1e-12);
    EXPECT_NEAR(origin[0], e.south, 1e-9);
    EXPECT_NEAR(origin[1], e.west, 1e-9);
    // The coordinates of the nodes run from the origin by the spacing.
    std::vector<double> x(static_cast<std::size_t>(shape[1])),
        y(static_cast<std::size_t>(shape[0]));
    ASSERT_EQ(model.get_grid_x(g, x.data()), kBmiSuccess);
    ASSERT_EQ(model.get_grid_y(g, y.data()), kBmiSuccess);
    EXPECT_EQ(x.front(), origin[1]);
    EXPECT_EQ(y.front(), origin[0]);
    EXPECT_NEAR(x.back() - x.front(), (shape[1] - 1) * spacing[1], 1e-9);
    EXPECT_NEAR(y.back() - y.front(), (shape[0] - 1) * spacing[0], 1e-9);
    // Counts of a structured grid of nodes: its links along rows and columns, and its quads.
    ASSERT_EQ(model.get_grid_node_count(g, nodes), kBmiSuccess);
    ASSERT_EQ(model.get_grid_edge_count(g, edges), kBmiSuccess);
    ASSERT_EQ(model.get_grid_face_count(g, faces), kBmiSuccess);
    EXPECT_EQ(nodes, size);
    EXPECT_EQ(nodes - edges + faces,
              1);  // Euler's formula for a plane graph without the outer face
    EXPECT_EQ(faces, (e.rows - 1) * (e.cols - 1));
    // No third dimension, and no connectivity lists for this type of grid.
    double z = 0;
    int list[4] = {};
    EXPECT_EQ(model.get_grid_z(g, &z), kBmiFailure);
    EXPECT_EQ(model.get_grid_edge_nodes(g, list), kBmiFailure);
    EXPECT_EQ(model.get_grid_face_edges(g, list), kBmiFailure);
    EXPECT_EQ(model.get_grid_face_nodes(g, list), kBmiFailure);
    EXPECT_EQ(model.get_grid_nodes_per_face(g, list), kBmiFailure);
    EXPECT_EQ(model.lastError(),
              "Grid " + std::to_string(g) +
                  " is uniform rectilinear: its connectivity follows from its shape.");
  }
  int none = 0;
  EXPECT_EQ(model.get_grid_rank(2, none), kBmiFailure);
  EXPECT_EQ(model.lastError(), "No grid has the number 2 (the grids are 0 and 1).");

  // Time: from 0 to the run's end by hours.
  double start = -1, end = -1, now = -1, step = 0;
  std::string units;
  ASSERT_EQ(model.get_start_time(start), kBmiSuccess);
  ASSERT_EQ(model.get_end_time(end), kBmiSuccess);
  ASSERT_EQ(model.get_time_step(step), kBmiSuccess);
  ASSERT_EQ(model.get_time_units(units), kBmiSuccess);
  EXPECT_EQ(start, 0.0);
  EXPECT_EQ(end, kDays * 86400.0);
  EXPECT_EQ(units, "s");
  ASSERT_EQ(model.get_current_time(now), kBmiSuccess);
  EXPECT_EQ(now, start);
  ASSERT_EQ(model.update(), kBmiSuccess);
  ASSERT_EQ(model.get_current_time(now), kBmiSuccess);
  EXPECT_EQ(now, start + step);
  ASSERT_EQ(model.update_until(5 * step), kBmiSuccess);
  ASSERT_EQ(model.get_current_time(now), kBmiSuccess);
  EXPECT_EQ(now, 5 * step);
  ASSERT_EQ(model.update_until(5 * step), kBmiSuccess);  // already there: nothing to do
  EXPECT_EQ(model.update_until(4 * step), kBmiFailure);
  EXPECT_EQ(model.lastError(), "Cannot run until 14400 s: the model is at 18000 s already.");
  EXPECT_EQ(model.update_until(5.5 * step), kBmiFailure);
  EXPECT_EQ(model.lastError(), "Cannot run until 19800 s: the model steps whole hours (3600 s).");
  EXPECT_EQ(model.update_until(end + step), kBmiFailure);
  EXPECT_EQ(model.lastError(), "Cannot run until 176400 s: the run ends at 172800 s.");
  EXPECT_EQ(model.update_until(NAN), kBmiFailure);
  ASSERT_EQ(model.get_current_time(now), kBmiSuccess);
  EXPECT_EQ(now, 5 * step);  // a refused call routes nothing

  // The getters agree: by value, by pointer, at indices; the setters likewise.
  for (const char* name : {kDischarge, kExcess, kRain}) {
    SCOPED_TRACE(name);
    int nbytes = 0, itemsize = 0;
    ASSERT_EQ(model.get_var_nbytes(name, nbytes), kBmiSuccess);
    ASSERT_EQ(model.get_var_itemsize(name, itemsize), kBmiSuccess);
    std::vector<unsigned char> all(static_cast<std::size_t>(nbytes));
    ASSERT_EQ(model.get_value(name, all.data()), kBmiSuccess);
    void* ptr = nullptr;
    ASSERT_EQ(model.get_value_ptr(name, &ptr), kBmiSuccess);
    EXPECT_EQ(std::memcmp(ptr, all.data(), all.size()), 0);
    const int count = nbytes / itemsize;
    const std::vector<int> inds = {count - 1, 0, count / 2, 0};
    std::vector<unsigned char> some(inds.size() * static_cast<std::size_t>(itemsize));
    ASSERT_EQ(model.get_value_at_indices(name, some.data(), inds.data(), 4), kBmiSuccess);
    for (std::size_t i = 0; i < inds.size(); ++i) {
      EXPECT_EQ(std::memcmp(some.data() + i * itemsize, all.data() + inds[i] * itemsize,
                            static_cast<std::size_t>(itemsize)),
                0);
    }
    const int outside = count;
    EXPECT_EQ(model.get_value_at_indices(name, some.data(), &outside, 1), kBmiFailure);
    EXPECT_EQ(model.lastError(), "Index " + std::to_string(count) + " is outside the " +
                                     std::to_string(count) + " values of " + name + ".");
  }
  // The rain set at indices shows at once, through the pointer as well.
  void* rainPtr = nullptr;
  ASSERT_EQ(model.get_value_ptr(kRain, &rainPtr), kBmiSuccess);
  const int at[2] = {8, 1};
  const float set[2] = {7.5f, 0.25f};
  ASSERT_EQ(model.set_value_at_indices(kRain, at, 2, set), kBmiSuccess);
  EXPECT_EQ(static_cast<float*>(rainPtr)[8], 7.5f);
  EXPECT_EQ(static_cast<float*>(rainPtr)[1], 0.25f);
  // Refusals leave the values as they were.
  const float bad[2] = {1.0f, -0.5f};
  EXPECT_EQ(model.set_value_at_indices(kRain, at, 2, bad), kBmiFailure);
  EXPECT_EQ(model.lastError(), "The rain -0.5 mm/h at index 1 is outside 0 to 10000.");
  const float nan[1] = {NAN};
  EXPECT_EQ(model.set_value_at_indices(kRain, at, 1, nan), kBmiFailure);
  EXPECT_EQ(static_cast<float*>(rainPtr)[8], 7.5f);
  std::vector<float> cells(kRows * kCols, 1.0f);
  EXPECT_EQ(model.set_value(kDischarge, cells.data()), kBmiFailure);
  EXPECT_EQ(model.lastError(),
            std::string(kDischarge) + " is an output of the model: it cannot be set.");
  EXPECT_EQ(model.get_value("rain", cells.data()), kBmiFailure);
  EXPECT_EQ(model.lastError(), "No variable is named \"rain\".");
  // A value written through the pointer is checked before the hour takes it.
  static_cast<float*>(rainPtr)[0] = 20000.0f;
  EXPECT_EQ(model.update(), kBmiFailure);
  EXPECT_EQ(model.lastError(),
            "The rain of rain cell 0 for the next hour is 20000 mm/h, outside 0 to 10000.");
  static_cast<float*>(rainPtr)[0] = 0.0f;

  // The end: update_until the end, nothing left to set, finalize once.
  ASSERT_EQ(model.update_until(end), kBmiSuccess) << model.lastError();
  ASSERT_EQ(model.get_current_time(now), kBmiSuccess);
  EXPECT_EQ(now, end);
  EXPECT_EQ(model.update(), kBmiFailure);
  EXPECT_EQ(model.lastError(), "Cannot route 1 hours: the run has 0 of its 48 hours left.");
  EXPECT_EQ(model.set_value(kRain, set), kBmiFailure);
  ASSERT_EQ(model.finalize(), kBmiSuccess) << model.lastError();
  EXPECT_EQ(model.finalize(), kBmiFailure);
  EXPECT_EQ(model.lastError(), "The model is finalized already.");
  EXPECT_EQ(model.initializeWith(dir.path().string(), {}), kBmiFailure);
  EXPECT_TRUE(fs::exists(dir / "output/dischargeHourly.bin"));
}

// A model ended before its last hour writes no file under its final name and says so, also
// when it is simply destroyed; the caller's working directory is its own again after every call.
TEST(BmiContract, EndedEarlyItWritesNothingAndLeavesTheWorkingDirectory) {
  TempDir dir;
  stage(dir.path());
  const fs::path here = fs::current_path();
  {
    RunoffBmi model;
    ASSERT_EQ(model.initializeWith(dir.path().string(), {}), kBmiSuccess);
    EXPECT_EQ(fs::current_path(), here);
    ASSERT_EQ(model.update_until(3600 * 30), kBmiSuccess);
    EXPECT_EQ(fs::current_path(), here);
    EXPECT_EQ(model.finalize(), kBmiFailure);
    EXPECT_EQ(model.lastError(), "The run has 18 of its 48 hours left: its files are not written.");
  }
  EXPECT_EQ(entries(dir / "output"), std::vector<std::string>{});
  {
    RunoffBmi model;
    ASSERT_EQ(model.initializeWith(dir.path().string(), {}), kBmiSuccess);
    ASSERT_EQ(model.update(), kBmiSuccess);
  }
  EXPECT_EQ(entries(dir / "output"), std::vector<std::string>{});
  EXPECT_EQ(fs::current_path(), here);
}

// Configuration files and options that cannot start a run: one line each, and the model stays
// uninitialized.
TEST(BmiContract, BadConfigurationsAreRefusedWithOneLine) {
  TempDir dir;
  stage(dir / "basin");
  struct Bad {
    std::string config;  // empty: no file at all
    std::string message;
  };
  const std::string cfg = (dir / "run.cfg").string();
  const std::vector<Bad> cases = {
      {"", "The configuration file " + cfg + " cannot open."},
      {"workdir basin\n", cfg + " line 1: expected \"key = value\", found \"workdir basin\"."},
      {"# nothing\n\n", cfg + " names no workdir (a line \"workdir = PATH\")."},
      {"workdir = basin\nworkdir = basin\n", cfg + " line 2: workdir is given twice."},
      {"workdir = basin\nscheme = classic\n",
       cfg + " line 2: unknown key \"scheme\" (the keys are workdir and options)."},
      {"workdir = basin\noptions = --schema x\n", "runoff-sim: Unknown option \"--schema\""},
      {"workdir = basin\noptions = --help\n", "runoff-sim: --help is no option of a run."},
      {"workdir = nowhere\n", "The basin folder " + (dir / "nowhere").string() +
                                  " cannot be entered: No such file or directory."},
  };
  for (const Bad& bad : cases) {
    SCOPED_TRACE(bad.config);
    fs::remove(dir / "run.cfg");
    if (!bad.config.empty()) writeFile(dir / "run.cfg", bad.config);
    RunoffBmi model;
    EXPECT_EQ(model.initialize(cfg), kBmiFailure);
    EXPECT_EQ(model.lastError().substr(0, bad.message.size()), bad.message);
    EXPECT_EQ(model.lastError().find('\n'), std::string::npos);
    double end = 0;
    EXPECT_EQ(model.get_end_time(end), kBmiFailure);
  }
  // A failure of the run's own set-up is the line runoff-sim prints.
  fs::remove(dir / "basin/input/rain.dat");
  writeFile(dir / "run.cfg", "workdir = basin\n");
  RunoffBmi model;
  EXPECT_EQ(model.initialize(cfg), kBmiFailure);
  EXPECT_EQ(model.lastError(), "ROF file cannot open.");
}

}  // namespace
}  // namespace runoff::testing
