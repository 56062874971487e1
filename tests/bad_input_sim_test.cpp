// runoff-sim on hostile input: every input file missing, empty, short, cut inside a number,
// holding garbage or non-finite values; counts that overflow or exceed memory; damaged caches;
// "./temp" and "./output" that cannot take files; a full disk. Each run either ends with one
// clear line and exit status 1, or (for caches, which are only a shortcut) goes on and gives
// exactly the results of an undamaged run.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "support/basin_builder.h"

namespace runoff::testing {
namespace {

using Damage = std::function<void(const fs::path&)>;

struct FailCase {
  std::string name;
  Damage damage;
  std::string line;  // the last console line
};

void PrintTo(const FailCase& c, std::ostream* os) { *os << c.name; }

Damage writes(const std::string& file, const std::string& content) {
  return [=](const fs::path& d) { writeFile(d / file, content); };
}
Damage removes(const std::string& file) {
  return [=](const fs::path& d) { fs::remove(d / file); };
}
Damage cutsTo(const std::string& file, std::uintmax_t bytes) {
  return [=](const fs::path& d) { fs::resize_file(d / file, bytes); };
}
// Parameter fields are given by their number in the file, counted from 1.
Damage setsParam(int field, const std::string& text) {
  return [=](const fs::path& d) {
    Basin b = valleyBasin();
    b.param(static_cast<ParamField>(field), text);
    writeFile(d / "param-ravo-event-ver300.dat", b.paramText());
  };
}
Damage setsParams(std::vector<std::pair<int, std::string>> fields) {
  return [=](const fs::path& d) {
    Basin b = valleyBasin();
    for (const auto& [field, text] : fields) b.param(static_cast<ParamField>(field), text);
    writeFile(d / "param-ravo-event-ver300.dat", b.paramText());
  };
}
// Writes the basin again with one elevation changed: only the elevation file differs.
Damage setsElevation(int row, int col, float value) {
  return [=](const fs::path& d) {
    Basin b = valleyBasin();
    b.elev[static_cast<std::size_t>(row) * b.cols() + col] = value;
    b.write(d);
  };
}
Damage setsRainValue(const std::string& value) {
  // The first rainfall value of day 1, hour 0 (north-west cell).
  return writes("input/rain.dat", "2020 7 1 0 0 0\n" + value + " 1\n2 3\n");
}

const std::string kParam = "param-ravo-event-ver300.dat";
const std::string kParamPrefix = kParam + ": ";

class SimulatorRefuses : public ::testing::TestWithParam<FailCase> {};

TEST_P(SimulatorRefuses, WithOneLineAndStatusOne) {
  TempDir dir;
  valleyBasin().write(dir.path());
  GetParam().damage(dir.path());
  // A fixed memory limit, so that every verdict on memory is the same on any machine.
  RunResult r = runProgram(RUNOFF_SIM_EXE, dir.path(), "", "RUNOFF_MEMORY_LIMIT=16G");
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  EXPECT_EQ(lastLine(r.out), GetParam().line) << r.out;
  // Nothing half made is left for a later run or a post-processor to trust.
  if (fs::is_directory(dir / "output")) {
    EXPECT_EQ(entries(dir / "output"), std::vector<std::string>{});
  }
}

std::vector<FailCase> parameterCases() {
  const std::string p = kParamPrefix;
  const Basin basin = valleyBasin();
  const std::string full = basin.paramText();
  std::string twelve;
  for (int field = kTopoScale; field <= kDays; ++field) {
    twelve += basin.param(static_cast<ParamField>(field)) + "\n";
  }
  std::string cutInNumber = full.substr(0, full.rfind('\n', full.size() - 2) + 1) + "1e";
  return {
      {"ParamMissing", removes(kParam), kParam + " cannot open."},
      {"ParamEmpty", writes(kParam, ""), p + "value 1 (topoScale) is missing."},
      {"ParamOnlyBlanks", writes(kParam, " \n\t\n"), p + "value 1 (topoScale) is missing."},
      {"ParamShort", writes(kParam, twelve), p + "value 13 (timeStep) is missing."},
      {"ParamCutInNumber", writes(kParam, cutInNumber),
       p + "value 19 (initialRunoff) is not a number: \"1e\"."},
      {"ParamGarbage", setsParam(2, "abc"), p + "value 2 (topoCols) is not a number: \"abc\"."},
      {"ParamNumberWithTail", setsParam(3, "5x"),
       p + "value 3 (topoRows) is not a number: \"5x\"."},
      {"ParamNaN", setsParam(5, "nan"), p + "value 5 (topoSwLat) is not a number: \"nan\"."},
      {"ParamInfinity", setsParam(16, "inf"),
       p + "value 16 (slopeManning) is not a number: \"inf\"."},
      {"ParamNegativeInfinity", setsParam(19, "-Infinity"),
       p + "value 19 (initialRunoff) is not a number: \"-Infinity\"."},
      {"ParamIntegerBeyond32Bits", setsParam(12, "3000000000"),
       p + "value 12 (days) is out of range: \"3000000000\"."},
      {"ParamRealBeyondDouble", setsParam(4, "1e400"),
       p + "value 4 (topoSwLon) is out of range: \"1e400\"."},
      {"ParamDecimalInteger", setsParam(13, "60.0"),
       p + "value 13 (timeStep) is not a whole integer: \"60.0\"."},
      {"ParamZeroColumns", setsParam(2, "0"), p + "value 2 (topoCols) must be at least 1, not 0."},
      {"ParamNegativeDays", setsParam(12, "-1"), p + "value 12 (days) must be at least 0, not -1."},
      {"ParamTimeStepZero", setsParam(13, "0"),
       p + "value 13 (timeStep) must be from 1 to 3600, not 0."},
      {"TopoCountsOverflow", setsParams({{2, "100000"}, {3, "100000"}}),
       "The topography grid of 100000 x 100000 cells is too large."},
      {"RainCountsOverflow", setsParams({{6, "65536"}, {7, "65536"}}),
       "The input data grid of 65536 x 65536 cells is too large."},
      {"TopoBeyondMemory", setsParams({{2, "40000"}, {3, "40000"}}),
       "The run's grids need about 137 GiB, more than the RUNOFF_MEMORY_LIMIT of 16G."},
      {"NodesBeyondMemory", setsParam(14, "2000000000"),
       "Routing needs about 268 GiB, more than the RUNOFF_MEMORY_LIMIT of 16G."},
  };
}

std::vector<FailCase> riverListCases() {
  const std::string f = "topoData/riverNumList.dat";
  const std::string m = "riverNumList.dat: ";
  return {
      {"RiverListMissing", removes(f), "riverNumList.dat cannot open."},
      {"RiverListGarbage", writes(f, "one 0 0 0 0 0 0.0 0.0\n"),
       m + "number 1 of record 1 is not a number: \"one\"."},
      {"RiverListShortRecord", writes(f, "1 0 0\n"),
       m + "record 1 has 3 of its 8 numbers (six integers, then two reals)."},
      {"RiverListCutInNumber", writes(f, "1 0 0 0 0 0 0.0 1e"),
       m + "number 8 of record 1 is not a number: \"1e\"."},
      {"RiverListNaN", writes(f, "1 0 0 0 0 0 nan 0.0\n"),
       m + "number 7 of record 1 is not a number: \"nan\"."},
      {"RiverListInfinity", writes(f, "1 0 0 0 0 0 0.0 inf\n"),
       m + "number 8 of record 1 is not a number: \"inf\"."},
      {"RiverNumberBeyond32Bits", writes(f, "99999999999 0 0 0 0 0 0.0 0.0\n"),
       m + "number 1 of record 1 is out of range: \"99999999999\"."},
      {"RiverListSecondRecordGarbage", writes(f, "1 0 0 0 0 0 0.0 0.0\n2 0 0 0 0 0 0.0 #\n"),
       m + "number 8 of record 2 is not a number: \"#\"."},
  };
}

std::vector<FailCase> topographyCases() {
  std::vector<FailCase> cases;
  for (const std::string name : {"modDem.bin", "flowDir.bin", "flowAcc.bin", "riverNum.bin"}) {
    const std::string file = "topoData/" + name;
    const std::string stem = name.substr(0, name.find('.'));
    const std::string tooShort =
        "./topoData/" + name + " is too short: it must hold 25 records of 4 bytes.";
    cases.push_back({stem + "Missing", removes(file), name + " cannot open."});
    cases.push_back({stem + "IsDirectory",
                     [=](const fs::path& d) {
                       fs::remove(d / file);
                       fs::create_directory(d / file);
                     },
                     "./topoData/" + name + " is a directory, not a file."});
    cases.push_back({stem + "Empty", writes(file, ""), tooShort});
    cases.push_back({stem + "OneRecordShort", cutsTo(file, 96), tooShort});
    cases.push_back({stem + "CutInsideARecord", cutsTo(file, 98), tooShort});
  }
  const std::string badElev =
      "./topoData/modDem.bin: the elevation at column 3, row 3 (counted "
      "from 1 at the south-west) is not a finite number.";
  cases.push_back(
      {"ElevationNaN", setsElevation(2, 2, std::numeric_limits<float>::quiet_NaN()), badElev});
  cases.push_back(
      {"ElevationInfinite", setsElevation(2, 2, std::numeric_limits<float>::infinity()), badElev});
  // The outlet on the southern edge is not routed, but the cell above drains into it.
  cases.push_back({"OutletElevationNaN",
                   setsElevation(4, 2, std::numeric_limits<float>::quiet_NaN()),
                   "./topoData/modDem.bin: the elevation at column 3, row 1 (counted from 1 at "
                   "the south-west) is not a finite number."});
  return cases;
}

std::vector<FailCase> rainfallCases() {
  const std::string f = "input/rain.dat";
  const std::string at = "./input/rain.dat: the record of day 1 hour 0 holds ";
  return {
      {"RainMissing", removes(f), "ROF file cannot open."},
      {"RainGarbage", setsRainValue("heavy"), at + "\"heavy\", which is not a number."},
      {"RainNaN", setsRainValue("NaN"), at + "\"NaN\", which is not a number."},
      {"RainInfinity", setsRainValue("inf"), at + "\"inf\", which is not a number."},
      {"RainBeyondFloat", setsRainValue("1e39"), at + "\"1e39\", which is out of range."},
      {"RainNegative", setsRainValue("-1"),
       at + "\"-1\", which is not a rainfall intensity (0 to 10000 mm/h)."},
      {"RainMissingMarker", setsRainValue("-9999"),
       at + "\"-9999\", which is not a rainfall intensity (0 to 10000 mm/h)."},
      {"RainAbsurd", setsRainValue("1e30"),
       at + "\"1e30\", which is not a rainfall intensity (0 to 10000 mm/h)."},
      {"RainCutInNumber", writes(f, "2020 7 1 0 0 0\n1.5 2e"),
       at + "\"2e\", which is not a number."},
      {"RainStampNotInteger", writes(f, "2020 7 1 0.5 0 0\n1 1\n1 1\n"),
       at + "\"0.5\", which is not a whole integer."},
      {"RainBinaryGarbage", writes(f, std::string("2020 7 1 0 0 0\n\x01\x02\x03 1\n", 20)),
       at + "\"\x01\x02\x03\", which is not a number."},
  };
}

// A directory where an input file should be opens as an empty stream; it is no file.
Damage replacedByDirectory(const std::string& file) {
  return [=](const fs::path& d) {
    fs::remove(d / file);
    fs::create_directory(d / file);
  };
}

std::vector<FailCase> directoryCases() {
  const std::string lost =
      "./output cannot be written: create the directory (writable) before the run, or its "
      "results would be lost.";
  return {
      {"OutputIsAFile",
       [](const fs::path& d) {
         fs::remove(d / "output");
         writeFile(d / "output", "");
       },
       lost},
      {"OutputMissing", [](const fs::path& d) { fs::remove(d / "output"); }, lost},
      {"ParamIsADirectory", replacedByDirectory(kParam), kParam + " cannot open."},
      {"RiverListIsADirectory", replacedByDirectory("topoData/riverNumList.dat"),
       "riverNumList.dat cannot open."},
      {"RainIsADirectory", replacedByDirectory("input/rain.dat"), "ROF file cannot open."},
      {"OutputDanglingLink",
       [](const fs::path& d) {
         fs::remove(d / "output");
         fs::create_directory_symlink(d / "nowhere", d / "output");
       },
       lost},
  };
}

INSTANTIATE_TEST_SUITE_P(ParameterFile, SimulatorRefuses, ::testing::ValuesIn(parameterCases()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(RiverList, SimulatorRefuses, ::testing::ValuesIn(riverListCases()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Topography, SimulatorRefuses, ::testing::ValuesIn(topographyCases()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Rainfall, SimulatorRefuses, ::testing::ValuesIn(rainfallCases()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Directories, SimulatorRefuses, ::testing::ValuesIn(directoryCases()),
                         [](const auto& info) { return info.param.name; });

// ---- Caches, unwritable directories and a full disk: the run goes on or fails whole. ----

const char* const kOutputs[] = {"output/dischargeDaily.bin", "output/dischargeHourlyMaxInDay.bin",
                                "output/dischargeHourly.bin"};
const char* const kCaches[] = {"temp/setROFCell.dat", "temp/numOfBasin.dat",
                               "temp/orderedCell.dat"};

// The results and caches of the undamaged basin, made once.
struct Reference {
  std::vector<std::string> outputs, caches;
};
const Reference& reference() {
  static const Reference ref = [] {
    TempDir dir;
    valleyBasin().write(dir.path());
    RunResult r = runProgram(RUNOFF_SIM_EXE, dir.path());
    EXPECT_EQ(r.exitStatus, 0) << r.out;
    Reference out;
    for (const char* f : kOutputs) out.outputs.push_back(readFile(dir / f));
    for (const char* f : kCaches) out.caches.push_back(readFile(dir / f));
    return out;
  }();
  return ref;
}

void expectReferenceOutputs(const fs::path& dir) {
  for (int i = 0; i < 3; ++i) EXPECT_EQ(readFile(dir / kOutputs[i]), reference().outputs[i]) << i;
}

std::vector<std::string> tokens(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string t; in >> t;) out.push_back(t);
  return out;
}

// The cache text with token `index` replaced; line structure kept.
std::string replaceToken(const std::string& text, std::size_t index, const std::string& by) {
  std::string out;
  std::size_t seen = 0, i = 0;
  while (i < text.size()) {
    if (std::isspace(static_cast<unsigned char>(text[i]))) {
      out += text[i++];
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
    out += seen++ == index ? by : text.substr(i, end - i);
    i = end;
  }
  return out;
}

// Runs the basin with cache file `which` replaced by `content` (the other caches intact) and
// checks that the damaged cache is rebuilt and the results are those of an undamaged run.
void expectRebuilt(int which, const std::string& content, const std::string& rebuildLine,
                   const std::string& what) {
  SCOPED_TRACE(what);
  TempDir dir;
  valleyBasin().write(dir.path());
  for (int i = 0; i < 3; ++i) writeFile(dir / kCaches[i], reference().caches[i]);
  writeFile(dir / kCaches[which], content);
  RunResult r = runProgram(RUNOFF_SIM_EXE, dir.path());
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_NE(r.out.find(rebuildLine + "\n"), std::string::npos) << r.out;
  expectReferenceOutputs(dir.path());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(readFile(dir / kCaches[i]), reference().caches[i]) << i;
  EXPECT_EQ(entries(dir / "temp").size(), 3u);
}

// Every field of the cache, one at a time: not a number, cut in the middle, and a value that
// is a number but wrong (the key of another grid, a cell outside the grids).
void corruptEveryField(int which, const std::string& rebuildLine) {
  const std::string good = reference().caches[which];
  const std::vector<std::string> all = tokens(good);
  ASSERT_GT(all.size(), 6u);
  for (std::size_t t = 0; t < all.size(); ++t) {
    // Every field of the key and of the first and last records; a sample of the rest.
    if (t >= 12 && t + 8 < all.size() && t % 7 != 0) continue;
    expectRebuilt(which, replaceToken(good, t, "x" + all[t]), rebuildLine,
                  "field " + std::to_string(t) + " garbage");
    expectRebuilt(which, replaceToken(good, t, "nan"), rebuildLine,
                  "field " + std::to_string(t) + " NaN");
    expectRebuilt(which, replaceToken(good, t, all[t] == "99" ? "98" : "99"), rebuildLine,
                  "field " + std::to_string(t) + " wrong value");
    expectRebuilt(which, replaceToken(good, t, "-2147483649"), rebuildLine,
                  "field " + std::to_string(t) + " beyond 32 bits");
  }
  expectRebuilt(which, "", rebuildLine, "empty");
  expectRebuilt(which, good.substr(0, good.size() / 2), rebuildLine, "cut in half");
  expectRebuilt(which, good.substr(0, good.size() - 3), rebuildLine, "last record cut");
  expectRebuilt(which, std::string("\0\xff\x7f garbage", 11), rebuildLine, "binary garbage");
}

TEST(DamagedCache, MappingCacheIsRebuiltForEveryDamagedField) {
  corruptEveryField(0, "Make ROF data ./temp/setROFCell.dat");
}

TEST(DamagedCache, GroupCacheIsRebuiltForEveryDamagedField) {
  corruptEveryField(1, "Make basinList data ./temp/numOfBasin.dat");
}

TEST(DamagedCache, OrderCacheIsRebuiltForEveryDamagedField) {
  corruptEveryField(2, "Make basinList data ./temp/numOfBasin.dat");
}

TEST(DamagedCache, MissingOrderListBesideValidKeyEndsTheRun) {
  TempDir dir;
  valleyBasin().write(dir.path());
  for (int i = 0; i < 2; ++i) writeFile(dir / kCaches[i], reference().caches[i]);
  RunResult r = runProgram(RUNOFF_SIM_EXE, dir.path());
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(lastLine(r.out), "./temp/orderedCell.dat cannot open.");
}

void expectRunsWithoutCaches(const Damage& damage) {
  TempDir dir;
  valleyBasin().write(dir.path());
  damage(dir.path());
  RunResult r = runProgram(RUNOFF_SIM_EXE, dir.path());
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  for (const char* cache : kCaches) {
    EXPECT_NE(r.out.find("./" + std::string(cache) + " cannot open.\n"), std::string::npos)
        << r.out;
  }
  expectReferenceOutputs(dir.path());
}

TEST(UnwritableTemp, TempAsAFileLosesOnlyTheCaches) {
  expectRunsWithoutCaches([](const fs::path& d) {
    fs::remove(d / "temp");
    writeFile(d / "temp", "not a directory");
  });
}

TEST(UnwritableTemp, TempAsADanglingLinkLosesOnlyTheCaches) {
  expectRunsWithoutCaches([](const fs::path& d) {
    fs::remove(d / "temp");
    fs::create_directory_symlink(d / "gone", d / "temp");
  });
}

// A file size limit stands in for a full disk: a write beyond it fails (SIGXFSZ ignored).
// The shell counts the limit in blocks of 512 bytes.
const std::string kFullDiskAt32K = "ulimit -f 64; trap '' XFSZ;";

TEST(FullDisk, OutputGridsAreNeitherTornNorReplaced) {
  TempDir dir;
  Basin basin = valleyBasin(5, 5, 30);  // hourly grid 72000 bytes, daily grids 3000 bytes
  basin.write(dir.path());
  for (const char* f : kOutputs) writeFile(dir / f, "the results of an earlier run");
  RunResult r = runProgram(RUNOFF_SIM_EXE, dir.path(), "", kFullDiskAt32K);
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  EXPECT_EQ(lastLine(r.out), "./output/dischargeHourly.bin cannot be written.");
  // The earlier results stay whole, the complete daily grids are not published beside a
  // missing hourly grid, and no temporary is left behind.
  for (const char* f : kOutputs) EXPECT_EQ(readFile(dir / f), "the results of an earlier run");
  EXPECT_EQ(entries(dir / "output"),
            (std::vector<std::string>{"dischargeDaily.bin", "dischargeHourly.bin",
                                      "dischargeHourlyMaxInDay.bin"}));
}

TEST(FullDisk, CachesThatDoNotFitAreReportedAndNotLeftTorn) {
  TempDir dir;
  Basin basin = valleyBasin(80, 80, 1);  // mapping cache about 80 kB, order list about 55 kB
  basin.write(dir.path());
  RunResult r = runProgram(RUNOFF_SIM_EXE, dir.path(), "", kFullDiskAt32K);
  EXPECT_NE(r.out.find("./temp/setROFCell.dat cannot be written.\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("./temp/orderedCell.dat cannot be written.\n"), std::string::npos) << r.out;
  EXPECT_EQ(lastLine(r.out), "./output/dischargeHourly.bin cannot be written.");
  EXPECT_EQ(r.exitStatus, 1);
  // No cache at all: in particular no order key that would vouch for a missing list.
  EXPECT_EQ(entries(dir / "temp"), std::vector<std::string>{});
  EXPECT_EQ(entries(dir / "output"), std::vector<std::string>{});

  RunResult again = runProgram(RUNOFF_SIM_EXE, dir.path());
  EXPECT_EQ(again.exitStatus, 0) << again.out;
  EXPECT_NE(again.out.find("Make ROF data ./temp/setROFCell.dat\n"), std::string::npos);
  EXPECT_NE(again.out.find("Make basinList data ./temp/numOfBasin.dat\n"), std::string::npos);
}

TEST(WholeFiles, SuccessfulRunLeavesExactlyTheFinalNames) {
  TempDir dir;
  valleyBasin().write(dir.path());
  RunResult r = runProgram(RUNOFF_SIM_EXE, dir.path());
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_EQ(entries(dir / "temp"),
            (std::vector<std::string>{"numOfBasin.dat", "orderedCell.dat", "setROFCell.dat"}));
  for (const std::string& name : entries(dir / "output")) {
    EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
  }
  expectReferenceOutputs(dir.path());
}

TEST(DamagedInputThatIsNotUsed, NaNElevationOutsideTheBasinsIsHarmless) {
  TempDir dir;
  Basin basin = valleyBasin();
  basin.elev[0] = std::numeric_limits<float>::quiet_NaN();  // north-west corner, no river
  basin.write(dir.path());
  RunResult r = runProgram(RUNOFF_SIM_EXE, dir.path());
  EXPECT_EQ(r.exitStatus, 0) << r.out;
  expectReferenceOutputs(dir.path());
}

}  // namespace
}  // namespace runoff::testing
