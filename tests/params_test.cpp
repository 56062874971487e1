// The parameter reader: the echo byte for byte in both scopes and any layout of the values,
// the derived sub-step count, single-precision parsing, and the one-line refusal of values
// that are missing, malformed or unusable.
#include "common/params.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "common/text_number.h"

namespace runoff {
namespace {

const std::vector<std::string> kValues = {
    "2.5", "7",   "4", "135.123456789", "35",  "3",    "2",  "0.125", "0.25", "135.0625", "35.125",
    "2",   "600", "3", "0.75",          "0.4", "0.03", "20", "1.5"};

// The same values in exponent form where the field is real.
const std::vector<std::string> kExponentValues = {
    "25e-1",  "7",           "4",        "1.35123456789E2",
    "3.5e1",  "3",           "2",        "1.25e-1",
    "2.5E-1", "1.350625e+2", "3.5125e1", "2",
    "600",    "3",           "7.5e-1",   "4e-1",
    "3e-2",   "20",          "15e-1"};

const char* kSimulationEcho =
    "1) Reading parameters for study area.\n"
    "  Topography scale : 2.5\n"
    "  Number of col : 7  Number of row : 4\n"
    " Sorth West corner Longitude (degree) : 135.123 Latitude (deg) : 35\n"
    "2) Reading parameters for input data.\n"
    "  Number of col : 3  Number of row : 2\n"
    "  Input data grid size of x-direction : 0.125\n"
    "  Input data grid size of y-direction : 0.25\n"
    "  Longitude of the center of the Southwest corner of input data (degree) : 135.062\n"
    "  Latitude of the center of the Southwest corner of input data (degree) : 35.125\n"
    "3) Reading parameters for simuration duration.\n"
    "  Simulation duration (days) : 2\n"
    "4) Reading parameters for finite difference condition.\n"
    "  Finite difference time step (sec) : 600\n"
    "  Finite difference space step : 3\n"
    "  Finite difference weight : 0.75\n"
    "5) Reading parameters for kinematic wave model.\n"
    "  Manning roughmess coefficient for slope [m/s] : 0.4\n"
    "  Manning roughmess coefficient for channel [m/s] : 0.03\n"
    "  Area to classify slope and channel : 20\n"
    "6) Reading itinial discharge for kinematic wave model.\n"
    "  Initial runoff height [mm/hr] : 1.5\n";

const char* kPostProcessorEcho =
    "1) Reading parameters for study area.\n"
    "  Topography scale : 2.5\n"
    "  Number of col : 7  Number of row : 4\n"
    " Sorth West corner Longitude (degree) : 135.123 Latitude (deg) : 35\n"
    "2) Reading parameters for input data.\n"
    "  Number of col : 3  Number of row : 2\n"
    "  Input data grid size of x-direction : 0.125\n"
    "  Input data grid size of y-direction : 0.25\n"
    "  West corner longitude of input data : 135.062\n"
    "  South corner latitude of input data : 35.125\n"
    "3) Reading parameters for simuration duration.\n"
    "  Simulation duration (days) : 2\n";

std::string joined(const std::vector<std::string>& values, const std::string& separator) {
  std::string text;
  for (const std::string& v : values) text += v + separator;
  return text;
}

struct Read {
  Result<RunParameters> result;
  std::string echo;
};

Read readText(const std::string& text, ParamScope scope = ParamScope::kSimulation) {
  std::istringstream in(text);
  std::ostringstream echo;
  Read r{readParameters(in, scope, echo), ""};
  r.echo = echo.str();
  return r;
}

using Code = Status::Code;

std::vector<std::string> with(int field, const std::string& text) {
  std::vector<std::string> v = kValues;
  v[field - 1] = text;
  return v;
}

TEST(Params, EchoIsTheSameForEveryLayoutOfTheValues) {
  for (const std::string& text :
       {joined(kValues, "\n"), joined(kValues, " "), "\t" + joined(kValues, " \t \n\n"),
        joined(kExponentValues, "\n")}) {
    Read r = readText(text);
    ASSERT_TRUE(r.result.ok()) << r.result.message();
    EXPECT_EQ(r.echo, kSimulationEcho) << text;
  }
}

TEST(Params, ValuesAreTheSameForEveryLayout) {
  const RunParameters a = readText(joined(kValues, "\n")).result.value();
  const RunParameters b = readText(joined(kExponentValues, " ")).result.value();
  EXPECT_EQ(a.topoScale, 2.5f);
  EXPECT_EQ(a.topoSwLon, 135.123456789);
  EXPECT_EQ(b.topoSwLon, a.topoSwLon);
  EXPECT_EQ(b.rainSwLon, 135.0625);
  EXPECT_EQ(b.initialRunoff, 1.5);
  EXPECT_EQ(b.channelThreshold, 20);
  EXPECT_EQ(b.fdWeight, 0.75);
}

TEST(Params, PostProcessorScopeEchoesThreeSectionsAndIgnoresTheRest) {
  std::vector<std::string> v(kValues.begin(), kValues.begin() + 12);
  for (const std::string& text :
       {joined(kValues, "\n"), joined(v, " "), joined(v, "\n") + "not numbers 60.0 -1 x\n"}) {
    Read r = readText(text, ParamScope::kPostProcessor);
    ASSERT_TRUE(r.result.ok()) << r.result.message();
    EXPECT_EQ(r.echo, kPostProcessorEcho);
    EXPECT_EQ(r.result.value().days, 2);
  }
}

TEST(Params, PostProcessorScopeStillRefusesABadValueInTheFirstThreeSections) {
  std::vector<std::string> v(kValues.begin(), kValues.begin() + 12);
  v[11] = "two";
  Read r = readText(joined(v, "\n"), ParamScope::kPostProcessor);
  EXPECT_EQ(r.result.status().code(), Code::kInvalid);
  EXPECT_EQ(r.result.message(),
            "param-ravo-event-ver300.dat: value 12 (days) is not a number: \"two\".");
}

TEST(Params, SubStepsIsTheTruncatedQuotientOfAnHour) {
  for (auto [step, expected] : {std::pair{60, 60}, {3600, 1}, {7, 514}, {1, 3600}}) {
    Read r = readText(joined(with(13, std::to_string(step)), "\n"));
    ASSERT_TRUE(r.result.ok());
    EXPECT_EQ(r.result.value().subSteps, expected) << step;
  }
}

TEST(Params, FileThatCannotBeOpenedIsReportedWithoutDirectory) {
  std::ostringstream echo;
  Result<RunParameters> r =
      readParameters(std::string("/nonexistent/dir/x.dat"), ParamScope::kSimulation, echo);
  EXPECT_EQ(r.status().code(), Code::kCannotOpen);
  EXPECT_EQ(r.message(), "param-ravo-event-ver300.dat cannot open.");
  EXPECT_EQ(echo.str(), "Reading parameters for runoff simulation.\n");
}

// A decimal just above the midpoint between 1 and the next float: read through a double it
// lands exactly on the midpoint and rounds down to 1; read straight into a float it rounds up.
TEST(Params, FloatFieldIsParsedStraightIntoSinglePrecision) {
  const char* text = "1.000000059604644775390626";
  const float viaDouble = static_cast<float>(std::strtod(text, nullptr));
  const float direct = std::strtof(text, nullptr);
  ASSERT_NE(viaDouble, direct);
  float parsed = 0;
  ASSERT_EQ(parseFloat(text, parsed), ParseStatus::kOk);
  EXPECT_EQ(parsed, direct);
  Read r = readText(joined(with(1, text), "\n"));
  ASSERT_TRUE(r.result.ok());
  EXPECT_EQ(r.result.value().topoScale, direct);
}

struct BadValue {
  int field;
  std::string text;  // "" = the file ends before this value
  std::string message;
  std::string echoCut;  // the echo stops just before this text
};

class ParamsRefuse : public ::testing::TestWithParam<BadValue> {};

TEST_P(ParamsRefuse, OneLineNamingTheValueAndEchoOnlyBeforeIt) {
  const BadValue& bad = GetParam();
  std::vector<std::string> v = kValues;
  if (bad.text.empty()) {
    v.resize(bad.field - 1);
  } else {
    v[bad.field - 1] = bad.text;
  }
  Read r = readText(joined(v, "\n"));
  EXPECT_EQ(r.result.status().code(), Code::kInvalid);
  EXPECT_EQ(r.result.message(), "param-ravo-event-ver300.dat: value " + bad.message);
  const std::string full = kSimulationEcho;
  const std::size_t cut = full.find(bad.echoCut);
  ASSERT_NE(cut, std::string::npos);
  EXPECT_EQ(r.echo, full.substr(0, cut));
}

INSTANTIATE_TEST_SUITE_P(
    Params, ParamsRefuse,
    ::testing::Values(
        BadValue{1, "abc", "1 (topoScale) is not a number: \"abc\".", "  Topography scale"},
        BadValue{1, "0", "1 (topoScale) must be above 0, not 0.", "  Topography scale"},
        BadValue{1, "-3", "1 (topoScale) must be above 0, not -3.", "  Topography scale"},
        BadValue{2, "0", "2 (topoCols) must be at least 1, not 0.", "  Number of col : 7"},
        BadValue{2, "7.5", "2 (topoCols) is not a whole integer: \"7.5\".", "  Number of col : 7"},
        BadValue{3, "-4", "3 (topoRows) must be at least 1, not -4.", "  Number of col : 7"},
        BadValue{3, "99999999999", "3 (topoRows) is out of range: \"99999999999\".",
                 "  Number of col : 7"},
        BadValue{4, "135e", "4 (topoSwLon) is not a number: \"135e\".", " Sorth West"},
        BadValue{6, "0", "6 (rainCols) must be at least 1, not 0.", "  Number of col : 3"},
        BadValue{7, "0", "7 (rainRows) must be at least 1, not 0.", "  Number of col : 3"},
        BadValue{9, "0.25x", "9 (rainDy) is not a number: \"0.25x\".", "  Input data grid size"},
        BadValue{10, "", "10 (rainSwLon) is missing.", "  Longitude of the center"},
        BadValue{12, "-1", "12 (days) must be at least 0, not -1.", "  Simulation duration"},
        BadValue{13, "60.0", "13 (timeStep) is not a whole integer: \"60.0\".",
                 "  Finite difference time step"},
        BadValue{13, "0", "13 (timeStep) must be from 1 to 3600, not 0.",
                 "  Finite difference time step"},
        BadValue{13, "3601", "13 (timeStep) must be from 1 to 3600, not 3601.",
                 "  Finite difference time step"},
        BadValue{14, "0", "14 (spaceSteps) must be at least 1, not 0.",
                 "  Finite difference space step"},
        BadValue{15, "1.5", "15 (fdWeight) must be from 0 to 1, not 1.5.",
                 "  Finite difference weight"},
        BadValue{15, "-0.1", "15 (fdWeight) must be from 0 to 1, not -0.1.",
                 "  Finite difference weight"},
        BadValue{16, "0", "16 (slopeManning) must be above 0, not 0.", "  Manning roughmess"},
        BadValue{17, "-0.03", "17 (channelManning) must be above 0, not -0.03.",
                 "  Manning roughmess coefficient for channel"},
        BadValue{18, "5.0", "18 (channelThreshold) is not a whole integer: \"5.0\".",
                 "  Area to classify"},
        BadValue{19, "-1", "19 (initialRunoff) must be at least 0, not -1.",
                 "  Initial runoff height"},
        BadValue{19, "", "19 (initialRunoff) is missing.", "  Initial runoff height"},
        BadValue{19, "nan", "19 (initialRunoff) is not a number: \"nan\".",
                 "  Initial runoff height"}));

TEST(Params, BoundaryValuesAreAccepted) {
  std::vector<std::string> v = kValues;
  v[11] = "0";     // days
  v[12] = "3600";  // timeStep
  v[13] = "1";     // spaceSteps
  v[14] = "1";     // fdWeight
  v[18] = "0";     // initialRunoff
  EXPECT_TRUE(readText(joined(v, "\n")).result.ok());
  v[14] = "0";
  EXPECT_TRUE(readText(joined(v, "\n")).result.ok());
}

}  // namespace
}  // namespace runoff
