// runoff-sim on hostile input: every input file missing, empty, short, cut inside a number,
// holding garbage or non-finite values; counts that overflow or exceed memory; damaged caches;
// "./temp" and "./output" that cannot take files; a full disk. Each run either ends with one
// clear line and exit status 1, or (for caches, which are only a shortcut) goes on and gives
// exactly the results of an undamaged run.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/bad_input_basin.h"
#include "support/test_support.h"

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
Damage setsParam(int field, const std::string& text) {
  return [=](const fs::path& d) {
    HostileBasin b;
    b.params[field - 1] = text;
    writeFile(d / "param-ravo-event-ver300.dat", b.paramText());
  };
}
Damage setsParams(std::vector<std::pair<int, std::string>> fields) {
  return [=](const fs::path& d) {
    HostileBasin b;
    for (const auto& [field, text] : fields) b.params[field - 1] = text;
    writeFile(d / "param-ravo-event-ver300.dat", b.paramText());
  };
}
Damage setsElevation(int row, int col, float value) {
  return [=](const fs::path& d) {
    HostileBasin b;
    b.elev[static_cast<std::size_t>(row) * b.cols + col] = value;
    writeFile(d / "topoData/modDem.bin", southFirstBytes(b.elev, b.rows, b.cols));
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
  HostileBasin().write(dir.path());
  GetParam().damage(dir.path());
  RunResult r = runProgram(RUNOFF_SIM_EXE, dir.path());
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  EXPECT_EQ(lastLine(r.out), GetParam().line) << r.out;
  // Nothing half made is left for a later run or a post-processor to trust.
  if (fs::is_directory(dir / "output")) {
    EXPECT_EQ(entries(dir / "output"), std::vector<std::string>{});
  }
}

std::vector<FailCase> parameterCases() {
  const std::string p = kParamPrefix;
  std::string full = HostileBasin().paramText();
  std::string twelve;
  {
    HostileBasin b;
    for (int i = 0; i < 12; ++i) twelve += b.params[i] + "\n";
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
       "The run's grids needs about 137 GiB, more than the memory of this machine."},
      {"DaysBeyondMemory", setsParam(12, "2000000000"),
       "The run's grids needs about 715 GiB, more than the memory of this machine."},
      {"HistoriesBeyondMemory", setsParams({{12, "100000"}, {13, "1"}}),
       "Routing needs about 2.06e+03 GiB, more than the memory of this machine."},
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
                     tooShort});
    cases.push_back({stem + "Empty", writes(file, ""), tooShort});
    cases.push_back({stem + "OneRecordShort", cutsTo(file, 96), tooShort});
    cases.push_back({stem + "CutInsideARecord", cutsTo(file, 98), tooShort});
  }
  const std::string badElev = "./topoData/modDem.bin: the elevation at column 3, row 3 (counted "
                              "from 1 at the south-west) is not a finite number.";
  cases.push_back({"ElevationNaN", setsElevation(2, 2, std::numeric_limits<float>::quiet_NaN()),
                   badElev});
  cases.push_back({"ElevationInfinite",
                   setsElevation(2, 2, std::numeric_limits<float>::infinity()), badElev});
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
      {"RainCutInNumber", writes(f, "2020 7 1 0 0 0\n1.5 2e"), at + "\"2e\", which is not a number."},
      {"RainStampNotInteger", writes(f, "2020 7 1 0.5 0 0\n1 1\n1 1\n"),
       at + "\"0.5\", which is not a whole integer."},
      {"RainBinaryGarbage", writes(f, std::string("2020 7 1 0 0 0\n\x01\x02\x03 1\n", 20)),
       at + "\"\x01\x02\x03\", which is not a number."},
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

}  // namespace
}  // namespace runoff::testing
