// Every path a program reads or writes, replaced by a directory, an empty file or a file cut to
// half its length. An input gets one clear line and exit status 1, a cache is as good as
// absent (made again, the run finishing with the results of an undamaged run), an output is
// refused with nothing published; a few short inputs go on as their formats document. The text
// of the C++ library's own exceptions never reaches the console.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <map>
#include <optional>
#include <streambuf>
#include <string>
#include <vector>

#include "common/text_number.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/inputs/river_list.h"
#include "support/basin_builder.h"

namespace runoff::testing {
namespace {

enum class Kind { kDirectory, kEmpty, kCutShort };

enum class Verdict {
  kRefused,      // exit 1, `line` last; the run directory exactly as it was
  kRebuilt,      // exit 0, `line` printed; the grids of an undamaged run
  kGoesOn,       // exit 0, `line` printed: a short input the format allows
};

enum class Program { kSim, kSimMpi, kMap, kPoint, kNetcdf };

struct PathCase {
  Program program;
  std::string path;  // relative to the run directory
  Kind kind;
  Verdict verdict;
  std::string line;
  std::vector<std::string> args = {};
};

std::string programName(Program p) {
  constexpr const char* kNames[] = {"Sim", "SimMpi", "Map", "Point", "Netcdf"};
  return kNames[static_cast<int>(p)];
}

std::string kindName(Kind k) {
  return k == Kind::kDirectory ? "Directory" : k == Kind::kEmpty ? "Empty" : "CutShort";
}

std::string testName(const PathCase& c) {
  std::string name = programName(c.program) + "_";
  const std::string path = c.path.rfind("./", 0) == 0 ? c.path.substr(2) : c.path;
  for (char ch : path) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name + "_" + kindName(c.kind);
}

void PrintTo(const PathCase& c, std::ostream* os) { *os << testName(c); }

// Words of the C++ library's exceptions and of the runtime's last words on one.
const char* const kLibraryText[] = {
    "basic_filebuf", "basic_ios",      "ios_base",         "std::",
    "what()",        "Is a directory", "filesystem error", "terminate called"};

// A finished run of the valley basin: inputs, caches, the three grids and their views, a
// restart state, an image directory, a gauge list and an earlier conversion with its series.
// Made once; every case works on a copy.
const fs::path& finishedRun() {
  static TempDir dir;
  static const bool made = [] {
    valleyBasin().write(dir.path());
    const RunResult r = runProgram(RUNOFF_SIM_EXE, {"--state-out", "state.bin"}, dir.path());
    EXPECT_EQ(r.exitStatus, 0) << r.out;
    fs::create_directory(dir / "output/image");
    writeFile(dir / "output/list.csv", "name,lon,lat\nMid,140.002,36.002\n");
    writeFile(dir / "output/discharge.nc", "an earlier conversion");
    writeFile(dir / "output/gauges.csv", "an earlier gauge series");
    return true;
  }();
  (void)made;
  return dir.path();
}

const char* const kGrids[] = {"output/dischargeDaily.bin", "output/dischargeHourlyMaxInDay.bin",
                              "output/dischargeHourly.bin"};

// Every entry under `dir` with its content; a directory is marked as one.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const std::string name = fs::relative(entry.path(), dir).string();
    files[name] = entry.is_directory() ? "<directory>" : readFile(entry.path());
  }
  return files;
}

void damage(const fs::path& path, Kind kind) {
  switch (kind) {
    case Kind::kDirectory:
      fs::remove_all(path);
      fs::create_directory(path);
      break;
    case Kind::kEmpty:
      fs::resize_file(path, 0);
      break;
    case Kind::kCutShort:
      fs::resize_file(path, fs::file_size(path) / 2);
      break;
  }
}

struct Outcome {
  int exitStatus = -1;
  std::string out;  // standard output, and standard error where it is not kept apart
  std::string err;
};

Outcome run(const PathCase& c, const fs::path& dir) {
  Outcome o;
  RunResult r;
  switch (c.program) {
    case Program::kSim:
      r = runProgram(RUNOFF_SIM_EXE, c.args, dir, "", "RUNOFF_MEMORY_LIMIT=16G");
      break;
    case Program::kMap:
      r = runProgram(DISCHARGE_MAP_EXE, c.args, dir / "output", "n\n");
      break;
    case Program::kPoint:
      r = runProgram(DISCHARGE_POINT_EXE, c.args, dir / "output", "3\n2\n");
      break;
    case Program::kNetcdf:
#ifdef DISCHARGE_NETCDF_EXE
      r = runProgram(DISCHARGE_NETCDF_EXE, c.args, dir / "output");
#endif
      break;
    case Program::kSimMpi: {
#ifdef RUNOFF_SIM_MPI_EXE
      // mpirun adds its own lines on standard error when a process fails: kept apart. Open MPI
      // leaves allocations behind at finalize, which a sanitized build must not count.
      TempDir io;
      int status = 0;
      shellOutput("(cd '" + dir.string() +
                      "' && ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" "
                      "OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 "
                      "OMP_NUM_THREADS=1 timeout 300 " MPIRUN_EXE
                      " --oversubscribe -np 2 " RUNOFF_SIM_MPI_EXE " > '" +
                      (io / "out").string() + "' 2> '" + (io / "err").string() + "')",
                  status);
      o.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      o.out = readFile(io / "out");
      o.err = readFile(io / "err");
#endif
      return o;
    }
  }
  o.exitStatus = r.exitStatus;
  o.out = r.out;
  return o;
}

bool available(Program p) {
#ifndef DISCHARGE_NETCDF_EXE
  if (p == Program::kNetcdf) return false;
#endif
#ifndef RUNOFF_SIM_MPI_EXE
  if (p == Program::kSimMpi) return false;
#endif
  (void)p;
  return true;
}

class PathKinds : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathKinds, GetOneClearLineOrGoOnAsDocumented) {
  const PathCase& c = GetParam();
  if (!available(c.program)) GTEST_SKIP() << "program not built";
  TempDir dir;
  copyTree(finishedRun(), dir.path());
  const bool simulator = c.program == Program::kSim || c.program == Program::kSimMpi;
  // The simulator finds the files of an earlier run in ./output, which a refused run must
  // neither replace nor remove.
  if (simulator) {
    for (const std::string& name : entries(dir / "output")) {
      if (fs::is_regular_file(dir / "output" / name)) writeFile(dir / "output" / name, "earlier");
    }
  }
  damage(dir / c.path, c.kind);
  const std::map<std::string, std::string> before = snapshot(dir.path());

  const Outcome o = run(c, dir.path());
  for (const char* text : kLibraryText) {
    EXPECT_FALSE(contains(o.out, text)) << text << " in\n" << o.out;
    EXPECT_FALSE(contains(o.err, text)) << text << " in\n" << o.err;
  }
  const std::map<std::string, std::string> after = snapshot(dir.path());
  for (const auto& [name, content] : after) EXPECT_FALSE(contains(name, ".tmp-")) << name;

  switch (c.verdict) {
    case Verdict::kRefused:
      EXPECT_EQ(o.exitStatus, 1) << o.out;
      EXPECT_EQ(lastLine(o.out), c.line) << o.out;
      EXPECT_TRUE(before == after) << "a refused run changed its directory";
      break;
    case Verdict::kRebuilt:
      EXPECT_EQ(o.exitStatus, 0) << o.out;
      EXPECT_TRUE(contains(o.out, c.line + "\n")) << o.out;
      for (const char* grid : kGrids) {
        EXPECT_EQ(readFile(dir / grid), readFile(finishedRun() / grid)) << grid;
      }
      // A file cache is made again whole; a directory stays as it was left.
      if (c.kind == Kind::kDirectory) {
        EXPECT_TRUE(fs::is_directory(dir / c.path));
      } else {
        EXPECT_EQ(readFile(dir / c.path), readFile(finishedRun() / c.path));
      }
      break;
    case Verdict::kGoesOn:
      EXPECT_EQ(o.exitStatus, 0) << o.out;
      EXPECT_TRUE(contains(o.out, c.line + "\n")) << o.out;
      break;
  }
}

const std::string kParam = "param-ravo-event-ver300.dat";

std::vector<PathCase> simulatorCases() {
  using enum Kind;
  using enum Verdict;
  const Program sim = Program::kSim;
  std::vector<PathCase> cases = {
      {sim, kParam, kDirectory, kRefused, kParam + " cannot open."},
      {sim, kParam, kEmpty, kRefused, kParam + ": value 1 (topoScale) is missing."},
      {sim, kParam, kCutShort, kRefused, kParam + ": value 11 (rainSwLat) is missing."},
      {sim, "topoData/riverNumList.dat", kDirectory, kRefused, "riverNumList.dat cannot open."},
      // An empty list selects no river: every cell keeps the missing value.
      {sim, "topoData/riverNumList.dat", kEmpty, kGoesOn, "Number of rivers for simulation : 0"},
      {sim, "topoData/riverNumList.dat", kCutShort, kRefused,
       "riverNumList.dat: record 1 has 5 of its 8 numbers (six integers, then two reals)."},
      {sim, "input/rain.dat", kDirectory, kRefused, "ROF file cannot open."},
      // A rainfall file that ends early leaves the hours it does not reach dry.
      {sim, "input/rain.dat", kEmpty, kGoesOn, "Runoff simulation ends."},
      {sim, "input/rain.dat", kCutShort, kGoesOn, "Runoff simulation ends."},
      {sim,
       "state.bin",
       kDirectory,
       kRefused,
       "State file state.bin cannot be opened.",
       {"--state-in", "state.bin"}},
      {sim,
       "state.bin",
       kEmpty,
       kRefused,
       "state.bin is not a state file of this model.",
       {"--state-in", "state.bin"}},
      {sim,
       "state.bin",
       kCutShort,
       kRefused,
       "State file state.bin is damaged or cut short: its checksum does not match.",
       {"--state-in", "state.bin"}},
      {sim,
       "next.bin",
       kDirectory,
       kRefused,
       "State file next.bin cannot be written: it is a directory.",
       {"--state-out", "next.bin"}},
  };
  for (const char* name : {"modDem.bin", "flowDir.bin", "flowAcc.bin", "riverNum.bin"}) {
    const std::string path = std::string("./topoData/") + name;
    cases.push_back({sim, path, kDirectory, kRefused, path + " is a directory, not a file."});
    for (Kind kind : {kEmpty, kCutShort}) {
      cases.push_back(
          {sim, path, kind, kRefused, path + " is too short: it must hold 25 records of 4 bytes."});
    }
  }
  const std::pair<const char*, const char*> caches[] = {
      {"./temp/setROFCell.dat", "Make ROF data ./temp/setROFCell.dat"},
      {"./temp/numOfBasin.dat", "Make basinList data ./temp/numOfBasin.dat"},
      {"./temp/orderedCell.dat", "Make basinList data ./temp/numOfBasin.dat"}};
  for (const auto& [path, made] : caches) {
    cases.push_back({sim, path, kDirectory, kRebuilt, std::string(path) + " cannot be written."});
    cases.push_back({sim, path, kEmpty, kRebuilt, made});
    cases.push_back({sim, path, kCutShort, kRebuilt, made});
  }
  for (const char* grid : kGrids) {
    const std::string path = std::string("./") + grid;
    cases.push_back(
        {sim, path, kDirectory, kRefused, path + " cannot be written: it is a directory."});
    const std::string view = path.substr(0, path.size() - 4) + ".vrt";
    cases.push_back(
        {sim, view, kDirectory, kRefused, view + " cannot be written: it is a directory."});
  }
  // The parallel simulator reads and writes through the same code: one case of each kind.
  cases.push_back({Program::kSimMpi, "./temp/setROFCell.dat", kDirectory, kRebuilt,
                   "./temp/setROFCell.dat cannot be written."});
  cases.push_back({Program::kSimMpi, "./topoData/modDem.bin", kDirectory, kRefused,
                   "./topoData/modDem.bin is a directory, not a file."});
  cases.push_back({Program::kSimMpi, "./output/dischargeHourly.bin", kDirectory, kRefused,
                   "./output/dischargeHourly.bin cannot be written: it is a directory."});
  return cases;
}

std::vector<PathCase> postProcessorCases() {
  using enum Kind;
  using enum Verdict;
  const std::string hourly = "output/dischargeHourly.bin";
  const std::string missing = ": value 1 (topoScale) is missing.";
  const std::string cut = ": value 11 (rainSwLat) is missing.";
  std::vector<PathCase> cases = {
      {Program::kMap, kParam, kDirectory, kRefused, "Program ends. Hit any key!"},
      {Program::kPoint, kParam, kDirectory, kRefused, kParam + " cannot open."},
      {Program::kMap, "output/image/   2_discharge.ppm", kDirectory, kRefused,
       "Image output file cannot open."},
      {Program::kPoint, "output/3-2_discharge.dat", kDirectory, kRefused,
       "Time series discharge output file cannot open."},
  };
  for (Program p : {Program::kMap, Program::kPoint}) {
    cases.push_back({p, kParam, kEmpty, kRefused, kParam + missing});
    cases.push_back({p, kParam, kCutShort, kRefused, kParam + cut});
    cases.push_back(
        {p, hourly, kDirectory, kRefused,
         "Discharge data cannot be used: ./dischargeHourly.bin is not a regular file."});
    cases.push_back({p, hourly, kEmpty, kRefused,
                     "Discharge data is too short: ./dischargeHourly.bin holds 0 values, 24 hours "
                     "of 5 x 5 cells need 600."});
    cases.push_back({p, hourly, kCutShort, kRefused,
                     "Discharge data is too short: ./dischargeHourly.bin holds 300 values, 24 "
                     "hours of 5 x 5 cells need 600."});
  }
  return cases;
}

std::vector<PathCase> netcdfCases() {
  using enum Kind;
  using enum Verdict;
  const Program nc = Program::kNetcdf;
  const std::vector<std::string> gauges = {"--gauges", "list.csv"};
  const std::string advice = "; give the start of the run with --start YYYY-MM-DDThh:mm:ss.";
  std::vector<PathCase> cases = {
      {nc, kParam, kDirectory, kRefused, "../" + kParam + " is a directory, not a file.", gauges},
      {nc, kParam, kEmpty, kRefused, kParam + ": value 1 (topoScale) is missing.", gauges},
      {nc, kParam, kCutShort, kRefused, kParam + ": value 11 (rainSwLat) is missing.", gauges},
      {nc, "input/rain.dat", kDirectory, kRefused,
       "No start time: ../input/rain.dat is a directory, not a file" + advice, gauges},
      {nc, "input/rain.dat", kEmpty, kRefused, "No start time: ../input/rain.dat is empty" + advice,
       gauges},
      // Only the first time stamp is read.
      {nc, "input/rain.dat", kCutShort, kGoesOn, "Write gauges.csv", gauges},
      {nc, "output/list.csv", kDirectory, kRefused, "list.csv is a directory, not a file.", gauges},
      {nc, "output/list.csv", kEmpty, kRefused, "list.csv lists no gauge.", gauges},
      {nc, "output/list.csv", kCutShort, kRefused, "list.csv line 2 has 1 fields, not 3.", gauges},
      {nc, "topoData/flowAcc.bin", kDirectory, kRefused,
       "../topoData/flowAcc.bin is a directory, not a file.", gauges},
      {nc, "output/discharge.nc", kDirectory, kRefused,
       "--out discharge.nc is a folder; give a file name.", gauges},
      {nc, "output/gauges.csv", kDirectory, kRefused,
       "gauges.csv cannot be written: it is a directory.", gauges},
  };
  for (Kind kind : {kEmpty, kCutShort}) {
    cases.push_back({nc, "topoData/flowAcc.bin", kind, kRefused,
                     "../topoData/flowAcc.bin is too short: 5 x 5 cells need 100 bytes.", gauges});
  }
  const std::pair<const char*, const char*> grids[] = {
      {"dischargeDaily.bin", "1 days of 5 x 5 cells need 25."},
      {"dischargeHourlyMaxInDay.bin", "1 days of 5 x 5 cells need 25."},
      {"dischargeHourly.bin", "24 hours of 5 x 5 cells need 600."}};
  for (const auto& [name, need] : grids) {
    const std::string path = std::string("./") + name;
    const std::string file = std::string("output/") + name;
    const int values = std::string(name) == "dischargeHourly.bin" ? 600 : 25;
    cases.push_back({nc, file, kDirectory, kRefused,
                     "Discharge data cannot be used: " + path + " is not a regular file.", gauges});
    cases.push_back({nc, file, kEmpty, kRefused,
                     "Discharge data is too short: " + path + " holds 0 values, " + need, gauges});
    cases.push_back({nc, file, kCutShort, kRefused,
                     "Discharge data is too short: " + path + " holds " +
                         std::to_string(values / 2) + " values, " + need,
                     gauges});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Simulator, PathKinds, ::testing::ValuesIn(simulatorCases()),
                         [](const auto& info) { return testName(info.param); });
INSTANTIATE_TEST_SUITE_P(PostProcessors, PathKinds, ::testing::ValuesIn(postProcessorCases()),
                         [](const auto& info) { return testName(info.param); });
INSTANTIATE_TEST_SUITE_P(Converter, PathKinds, ::testing::ValuesIn(netcdfCases()),
                         [](const auto& info) { return testName(info.param); });

// A read that the system refuses part way (a failing disk) makes the file buffer throw. The
// text readers take it as a failed read, never as the end of the file nor as an exception.
class RefusingBuffer : public std::streambuf {
 public:
  explicit RefusingBuffer(std::string text) : text_(std::move(text)) {
    setg(text_.data(), text_.data(), text_.data() + text_.size());
  }

 protected:
  int_type underflow() override { throw std::ios::failure("read refused"); }

 private:
  std::string text_;
};

TEST(ReadFailure, IsReportedAsSuchByTheTextReaders) {
  {
    RefusingBuffer buffer("1 0 0 ");
    std::istream in(&buffer);
    const Result<std::vector<std::int32_t>> rivers = readRiverRecords(in, 1);
    EXPECT_EQ(rivers.message(), "riverNumList.dat cannot be read to its end.");
  }
  {
    RefusingBuffer buffer("2020 7 1 0 0 0\n1 1\n");
    std::istream in(&buffer);
    RainReader reader(in, 2, 2);
    const Status day = reader.readDay([](std::int32_t, std::int32_t, float) {});
    EXPECT_EQ(day.message(), "./input/rain.dat cannot be read to its end.");
  }
  {
    RefusingBuffer buffer("12");
    std::istream in(&buffer);
    EXPECT_EQ(nextToken(in), std::nullopt);
    EXPECT_TRUE(in.bad());
  }
}

}  // namespace
}  // namespace runoff::testing
