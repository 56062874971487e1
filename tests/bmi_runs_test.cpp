// The model stepped through its Basic Model Interface on the example basin, an hour at a time,
// against runoff-sim: the discharge shown after each hour is that hour of runoff-sim's hourly
// file, byte for byte, and the run leaves runoff-sim's files; the file's own rain set back
// through set_value changes nothing; other rain set through set_value gives the bytes of
// runoff-sim on a rain file holding it. The shared library is loaded as a coupler loads it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "runoff/bmi/bmi_c_api.h"
#include "runoff/bmi/runoff_bmi.h"
#include "support/basin_builder.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

const char* kDischarge = "channel_water__volume_flow_rate";
const char* kRain = "atmosphere_water__rainfall_volume_flux";
const char* kExcess = "land_surface_water__runoff_volume_flux";

// The example basin with the folders a run writes into.
void stageExample(const fs::path& dir) {
  copyTree(fs::path(EXAMPLES_DIR) / "sample-basin", dir);
  fs::create_directories(dir / "output");
  fs::create_directories(dir / "temp");
}

fs::path stageExample(const TempDir& dir) {
  stageExample(dir.path());
  return dir.path();
}

// The rain file as numbers: per hour, six stamp values and the rows from the north.
struct RainFile {
  std::vector<std::vector<std::string>> stamps;
  std::vector<std::vector<float>> hours;  // as the file holds them, rows from the north
};

RainFile readRainFile(const fs::path& path, std::size_t cells) {
  std::istringstream in(readFile(path));
  RainFile file;
  for (std::string word; in >> word;) {
    std::vector<std::string> stamp{word};
    for (int i = 0; i < 5; ++i) in >> word, stamp.push_back(word);
    std::vector<float> values(cells);
    for (float& v : values) in >> v;
    file.stamps.push_back(stamp);
    file.hours.push_back(values);
  }
  return file;
}

void writeRainFile(const fs::path& path, const RainFile& file) {
  std::ostringstream out;
  out.precision(9);
  for (std::size_t h = 0; h < file.hours.size(); ++h) {
    for (const std::string& s : file.stamps[h]) out << s << ' ';
    out << '\n';
    for (float v : file.hours[h]) out << v << ' ';
    out << '\n';
  }
  writeFile(path, out.str());
}

// The rain a case sets before hour `hour` (from 0), in the interface's order (rows from the
// south), given what the model shows; nothing to leave the hour alone.
using RainChoice =
    std::function<std::optional<std::vector<float>>(int hour, const std::vector<float>& shown)>;

struct BmiCase {
  std::string name;
  std::vector<std::string> args;
  RainChoice rain;
  bool losses = false;  // the loss grids in topoData/
};

void PrintTo(const BmiCase& c, std::ostream* os) { *os << c.name; }

std::vector<char> bytesOf(const std::vector<float>& values) {
  std::vector<char> bytes(values.size() * sizeof(float));
  std::memcpy(bytes.data(), values.data(), bytes.size());
  return bytes;
}

class BmiRun : public ::testing::TestWithParam<BmiCase> {};

TEST_P(BmiRun, HourByHourGivesTheBytesOfRunoffSimOnTheRainSet) {
  const BmiCase& c = GetParam();
  TempDir stepped;
  const fs::path dir = stageExample(stepped);
  if (c.losses) writeLossGrids(dir, 100, 100);
  RunoffBmi model;
  ASSERT_EQ(model.initializeWith(dir.string(), c.args), kBmiSuccess) << model.lastError();
  int rainCells = 0, cells = 0;
  ASSERT_EQ(model.get_grid_size(1, rainCells), kBmiSuccess);
  ASSERT_EQ(model.get_grid_size(0, cells), kBmiSuccess);
  int shape[2] = {0, 0};
  ASSERT_EQ(model.get_grid_shape(1, shape), kBmiSuccess);

  // The rain file runoff-sim is to read: the example's, with every hour the case sets.
  RainFile rain = readRainFile(dir / "input/rain.dat", static_cast<std::size_t>(rainCells));
  std::vector<float> hourly;  // every hour's discharge, one grid after another
  bool lossesTook = false;    // some cell's excess was part of some rain
  double end = 0, now = -1;
  ASSERT_EQ(model.get_end_time(end), kBmiSuccess);
  for (int hour = 0; model.get_current_time(now) == kBmiSuccess && now < end; ++hour) {
    ASSERT_EQ(now, hour * 3600.0);
    std::vector<float> shown(static_cast<std::size_t>(rainCells));
    ASSERT_EQ(model.get_value(kRain, shown.data()), kBmiSuccess);
    // What the model shows is the file's hour, its rows turned to the south first.
    for (int r = 0; r < shape[0]; ++r) {
      for (int col = 0; col < shape[1]; ++col) {
        ASSERT_EQ(shown[r * shape[1] + col], rain.hours[hour][(shape[0] - 1 - r) * shape[1] + col])
            << "hour " << hour;
      }
    }
    if (const auto set = c.rain(hour, shown)) {
      ASSERT_EQ(model.set_value(kRain, set->data()), kBmiSuccess) << model.lastError();
      for (int r = 0; r < shape[0]; ++r) {
        for (int col = 0; col < shape[1]; ++col) {
          rain.hours[hour][(shape[0] - 1 - r) * shape[1] + col] = (*set)[r * shape[1] + col];
        }
      }
    }
    ASSERT_EQ(model.update(), kBmiSuccess) << model.lastError();
    std::vector<float> discharge(static_cast<std::size_t>(cells));
    ASSERT_EQ(model.get_value(kDischarge, discharge.data()), kBmiSuccess);
    hourly.insert(hourly.end(), discharge.begin(), discharge.end());
    // Without losses the excess of a simulated cell is the rain of one rain cell of the hour;
    // with them, never below 0 nor above the hour's heaviest rain.
    std::vector<double> excess(static_cast<std::size_t>(cells));
    ASSERT_EQ(model.get_value(kExcess, excess.data()), kBmiSuccess);
    const float heaviest = *std::max_element(rain.hours[hour].begin(), rain.hours[hour].end());
    for (int p = 0; p < cells; ++p) {
      if (discharge[p] == -9999.0f) {
        ASSERT_EQ(excess[p], -9999.0) << p;
      } else if (c.losses) {
        ASSERT_GE(excess[p], 0.0) << p;
        ASSERT_LE(excess[p], heaviest * (1 + 1e-12)) << p;
        lossesTook = lossesTook || (excess[p] > 0 && excess[p] < heaviest * 0.99);
      } else if (excess[p] != 0) {
        ASSERT_NE(std::find(rain.hours[hour].begin(), rain.hours[hour].end(),
                            static_cast<float>(excess[p])),
                  rain.hours[hour].end())
            << "hour " << hour << " cell " << p;
      }
    }
  }
  ASSERT_EQ(model.finalize(), kBmiSuccess) << model.lastError();
  EXPECT_EQ(lossesTook, c.losses);

  TempDir file;
  const fs::path simDir = stageExample(file);
  if (c.losses) writeLossGrids(simDir, 100, 100);
  writeRainFile(simDir / "input/rain.dat", rain);
  const RunResult sim = runProgram(RUNOFF_SIM_EXE, c.args, simDir);
  ASSERT_EQ(sim.exitStatus, 0) << sim.out;
  const std::string expected = readFile(simDir / "output/dischargeHourly.bin");
  const std::vector<char> got = bytesOf(hourly);
  EXPECT_EQ(std::string(got.begin(), got.end()), expected);
  // The stepped run wrote runoff-sim's files and said what it says.
  for (const std::string& name : entries(simDir / "output")) {
    EXPECT_EQ(readFile(dir / "output" / name), readFile(simDir / "output" / name)) << name;
  }
  EXPECT_EQ(model.console(), sim.out);
}

std::optional<std::vector<float>> fileRain(int, const std::vector<float>&) { return std::nullopt; }

std::optional<std::vector<float>> sameRain(int, const std::vector<float>& shown) { return shown; }

// Hours 3 to 6 and 30: each rain cell a rain of its own, so that a turned row would show.
std::optional<std::vector<float>> otherRain(int hour, const std::vector<float>& shown) {
  if (!((hour >= 3 && hour <= 6) || hour == 30)) return std::nullopt;
  std::vector<float> set(shown.size());
  for (std::size_t cell = 0; cell < set.size(); ++cell) {
    set[cell] = 2.5f * static_cast<float>(cell + 1) + static_cast<float>(hour) * 0.125f;
  }
  return set;
}

// The wettest hours of the file dried out, the rest kept.
std::optional<std::vector<float>> drought(int, const std::vector<float>& shown) {
  std::vector<float> set = shown;
  for (float& v : set) v = v > 5 ? 0.0f : v;
  return set;
}

INSTANTIATE_TEST_SUITE_P(
    ExampleBasin, BmiRun,
    ::testing::Values(BmiCase{"FileRain", {}, fileRain}, BmiCase{"FileRainSetBack", {}, sameRain},
                      BmiCase{"OtherRain", {}, otherRain},
                      BmiCase{"DroughtConservative", {"--scheme", "conservative"}, drought},
                      BmiCase{"LossesOtherRain", {"--losses", "constant"}, otherRain, true}),
    [](const auto& info) { return info.param.name; });

// The soil's stores are variables of a run with --soil only. With no rain taken in and no PET,
// a cell's soil drains by percolation alone, dS/dt = -kS with k = percolation / capacity:
// S(t) = S0 e^(-kt). The groundwater store, a linear reservoir of time constant T, takes each
// hour's percolated depth P as a constant rate over the hour:
// G(n + 1) = G(n) e^(-1/T) + P T (1 - e^(-1/T)).
TEST(BmiSoil, TheStoresFollowTheDryDownsClosedForm) {
  TempDir dir;
  valleyBasin(7, 5, 2).write(dir.path());
  const double capacity = 80, percolation = 0.5, time = 20;
  for (const auto& [grid, value] : {std::pair{"soilCapacity.bin", capacity},
                                    {"percolation.bin", percolation},
                                    {"baseflowTime.bin", time}}) {
    writeFloats(dir / "topoData" / grid, std::vector<float>(35, static_cast<float>(value)));
  }
  const char* kSoil = "soil_water__depth";
  const char* kGround = "groundwater__depth";
  {
    RunoffBmi plain;
    ASSERT_EQ(plain.initializeWith(dir.path().string(), {}), kBmiSuccess) << plain.lastError();
    std::vector<std::string> names;
    ASSERT_EQ(plain.get_output_var_names(names), kBmiSuccess);
    EXPECT_EQ(std::count(names.begin(), names.end(), kSoil), 0);
    std::string units;
    EXPECT_EQ(plain.get_var_units(kSoil, units), kBmiFailure);
  }
  RunoffBmi model;
  ASSERT_EQ(model.initializeWith(dir.path().string(),
                                 {"--soil", "--soil-start", "0.5", "--baseflow-start", "0.1"}),
            kBmiSuccess)
      << model.lastError();
  std::string units;
  ASSERT_EQ(model.get_var_units(kGround, units), kBmiSuccess);
  EXPECT_EQ(units, "mm");
  const double s0 = 0.5 * capacity, g0 = 0.1 * time, k = percolation / capacity;
  std::vector<double> soil(35), ground(35);
  int routed = 0;
  double expectedGround = g0;
  for (int hour = 0; hour <= 48; ++hour) {
    ASSERT_EQ(model.get_value(kSoil, soil.data()), kBmiSuccess);
    ASSERT_EQ(model.get_value(kGround, ground.data()), kBmiSuccess);
    const double expectedSoil = s0 * std::exp(-k * hour);
    if (hour > 0) {
      const double percolated = s0 * (std::exp(-k * (hour - 1)) - std::exp(-k * hour));
      expectedGround =
          expectedGround * std::exp(-1 / time) + percolated * time * (1 - std::exp(-1 / time));
    }
    routed = 0;
    for (std::size_t c = 0; c < soil.size(); ++c) {
      if (soil[c] == -9999.0) continue;
      ++routed;
      EXPECT_NEAR(soil[c], expectedSoil, 1e-12 * s0) << "hour " << hour << " cell " << c;
      EXPECT_NEAR(ground[c], expectedGround, 1e-12 * s0) << "hour " << hour << " cell " << c;
    }
    if (hour < 48) {
      ASSERT_EQ(model.update(), kBmiSuccess) << model.lastError();
    }
  }
  EXPECT_GT(routed, 0);
  ASSERT_EQ(model.finalize(), kBmiSuccess) << model.lastError();
}

#ifdef RUNOFF_HAVE_NETCDF
// The NetCDF file of a run behind the interface is runoff-sim's, but for the record of who made
// it and when.
TEST(BmiNetcdf, TheRunWritesRunoffSimsNetcdfFile) {
  TempDir stepped, file;
  const std::vector<std::string> args = {"--netcdf", "--outputs", "hourly,max"};
  RunoffBmi model;
  ASSERT_EQ(model.initializeWith(stageExample(stepped).string(), args), kBmiSuccess)
      << model.lastError();
  ASSERT_EQ(model.update_until(2 * 86400), kBmiSuccess) << model.lastError();
  ASSERT_EQ(model.finalize(), kBmiSuccess) << model.lastError();
  const RunResult sim = runProgram(RUNOFF_SIM_EXE, args, stageExample(file));
  ASSERT_EQ(sim.exitStatus, 0) << sim.out;
  const std::string expected = netcdfDumpWithoutProvenance(file / "output/discharge.nc");
  ASSERT_TRUE(contains(expected, "float discharge(time, lat, lon)")) << expected;
  EXPECT_EQ(netcdfDumpWithoutProvenance(stepped / "output/discharge.nc"), expected);
}
#endif

// A coupler loads the shared library, makes an instance through its C symbols, runs it from a
// configuration file to the end and ends it; the run leaves runoff-sim's hourly file.
TEST(BmiSharedLibrary, CreatedThroughTheCSymbolsRunsFromAConfigurationFile) {
  void* library = dlopen(RUNOFF_BMI_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  using Create = Bmi* (*)();
  using Destroy = void (*)(Bmi*);
  auto create = reinterpret_cast<Create>(dlsym(library, "runoff_bmi_create"));
  auto destroy = reinterpret_cast<Destroy>(dlsym(library, "runoff_bmi_destroy"));
  ASSERT_NE(create, nullptr);
  ASSERT_NE(destroy, nullptr);

  TempDir dir;
  const fs::path basin = dir / "basin";
  stageExample(basin);
  // The basin named relative to the configuration file's folder.
  writeFile(dir / "run.cfg", "# the example\nworkdir = basin\noptions = --outputs hourly\n");
  Bmi* model = create();
  ASSERT_NE(model, nullptr);
  ASSERT_EQ(model->initialize((dir / "run.cfg").string()), kBmiSuccess) << model->lastError();
  std::string name;
  EXPECT_EQ(model->get_component_name(name), kBmiSuccess);
  EXPECT_FALSE(name.empty());
  double end = 0;
  ASSERT_EQ(model->get_end_time(end), kBmiSuccess);
  ASSERT_EQ(model->update_until(end), kBmiSuccess) << model->lastError();
  ASSERT_EQ(model->finalize(), kBmiSuccess) << model->lastError();
  destroy(model);
  destroy(nullptr);

  TempDir sim;
  stageExample(sim.path());
  ASSERT_EQ(runProgram(RUNOFF_SIM_EXE, {"--outputs", "hourly"}, sim.path()).exitStatus, 0);
  EXPECT_EQ(entries(basin / "output"), entries(sim / "output"));
  EXPECT_EQ(readFile(basin / "output/dischargeHourly.bin"),
            readFile(sim / "output/dischargeHourly.bin"));
  dlclose(library);
}

}  // namespace
}  // namespace runoff::testing
