#include "runoff_calibrate/calibrate_options.h"

#include <charconv>
#include <map>

#include "common/command_options.h"
#include "common/text_number.h"
#include "runoff/run/sim_options.h"

namespace runoff {
namespace {

// A whole number of at least `lowest`; nullopt for anything else.
std::optional<std::int64_t> wholeNumber(const std::string& text, std::int64_t lowest) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < lowest) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::string calibrateUsage() {
  return "Usage: runoff-calibrate --observed FILE --gauges FILE --parameters FILE\n"
         "       [--objective kge|kge_2012|nse|log_nse] [--evaluations N] [--seed S]\n"
         "       [--batch N] [--warm-up HOURS] [--snap N] [--start TIME]\n"
         "       [--scheme classic|conservative] [--power libm|fast]\n"
         "       [--losses METHOD [--ia-ratio R] [--event-gap HOURS]]\n"
         "       [--soil [--et-threshold LP] [--soil-start FRACTION]\n"
         "       [--baseflow-start MM_PER_H] [--pet MM_PER_DAY]]\n"
         "       [--lakes FILE.csv [--releases FILE.csv]]\n"
         "\n"
         "Fits parameters of the working directory's model to observed discharge: a\n"
         "dynamically dimensioned search started from the parameter file's own values, then a\n"
         "local search (BOBYQA) from the best point, maximising the mean over the gauges of\n"
         "the objective. Run it in the working directory, as runoff-sim. Writes, in\n"
         "calibration/, the best parameter file, the scaled loss grids (topoData/) where any\n"
         "were fitted, trace.csv, scores.csv and a hydrograph per gauge.\n"
         "\n"
         "Options:\n"
         "  --observed FILE    observed discharge, time,gauge,discharge (as gauges.csv)\n"
         "  --gauges FILE      the gauges, name,lon,lat (as discharge-netcdf --gauges)\n"
         "  --parameters FILE  the parameters to fit, name,min,max[,log]: a value of the\n"
         "                     parameter file (fdWeight, slopeManning, channelManning,\n"
         "                     channelThreshold, initialRunoff) or a factor on every cell of\n"
         "                     a loss grid the method reads, named after it (curveNumber,\n"
         "                     ksat, initialLoss, ...), its values kept in the grid's range;\n"
         "                     with --soil also a factor on soilCapacity, percolation or\n"
         "                     baseflowTime, and soilStart, baselineBaseflow or etThreshold,\n"
         "                     the values of --soil-start, --baseflow-start, --et-threshold;\n"
         "                     or a constant of a lake of --lakes, lake:NAME:a or\n"
         "                     lake:NAME:b (a weir's exponent), kept above 0\n"
         "  --objective NAME   kge (default), kge_2012, nse or log_nse\n"
         "  --evaluations N    runs of the model in all (default 500): a quarter by the\n"
         "                     global search, three quarters by the local one\n"
         "  --seed S           seed of the search's random numbers (default 1)\n"
         "  --batch N          candidates evaluated together, on the threads there are\n"
         "                     (default 4); the result depends on it, never on the threads\n"
         "  --warm-up HOURS    leave the run's first HOURS hours out of every score\n"
         "  --snap N           each gauge moves to the routed cell of largest flow\n"
         "                     accumulation within N cells (default 2)\n"
         "  --start TIME       start of the run, YYYY-MM-DDThh:mm:ss (default: the stamp of\n"
         "                     the first record of input/rain.dat)\n"
         "  --scheme classic|conservative\n"
         "                     the routing scheme, as runoff-sim's (default classic)\n"
         "  --power libm|fast  the routing step's power function, as runoff-sim's (default\n"
         "                     libm)\n"
         "  --losses METHOD    the rainfall losses, as runoff-sim's: none (default),\n"
         "                     constant, scs-cn or green-ampt\n"
         "  --ia-ratio R       scs-cn: initial abstraction Ia = R x S (default 0.2)\n"
         "  --event-gap HOURS  scs-cn and green-ampt: dry hours that end an event\n"
         "  --soil             soil and groundwater stores, as runoff-sim's, with its\n"
         "                     --et-threshold, --soil-start, --baseflow-start and --pet\n"
         "  --lakes FILE.csv   the lakes and reservoirs, as runoff-sim's; with a lake's\n"
         "                     constant fitted, calibration/lakes.csv holds the best ones\n"
         "  --releases FILE.csv\n"
         "                     the reservoirs' releases, as runoff-sim's\n"
         "  --help             print this text and exit\n"
         "\n"
         "Environment:\n"
         "  OMP_NUM_THREADS    threads to evaluate on (default: every core)\n";
}

Result<CalibrateOptions> parseCalibrateOptions(std::span<const std::string> args) {
  static constexpr KnownOption kKnown[] = {
      {"--observed"},     {"--gauges"},     {"--parameters"},     {"--objective"},
      {"--evaluations"},  {"--seed"},       {"--batch"},          {"--warm-up"},
      {"--snap"},         {"--start"},      {"--scheme"},         {"--losses"},
      {"--ia-ratio"},     {"--event-gap"},  {"--power"},          {"--soil", {}, true},
      {"--et-threshold"}, {"--soil-start"}, {"--baseflow-start"}, {"--pet"},
      {"--lakes"},        {"--releases"}};
  Result<CommandOptions> read =
      readCommandOptions(args, kKnown, "runoff-calibrate", Positional::kRefused);
  if (!read.ok()) return read.status();
  CalibrateOptions options;
  options.help = read->help;
  std::map<std::string, std::string>& values = read->values;
  if (options.help) return options;
  for (const char* required : {"--observed", "--gauges", "--parameters"}) {
    if (!values.count(required)) {
      return Status::invalid(std::string("Option ") + required + " is required" +
                             seeHelp("runoff-calibrate"));
    }
  }
  options.run.observedPath = values["--observed"];
  options.run.gaugesPath = values["--gauges"];
  options.parameters = values["--parameters"];
  if (values.count("--objective")) {
    const std::optional<Objective> objective = objectiveNamed(values["--objective"]);
    if (!objective) {
      return Status::invalid("Option --objective takes kge, kge_2012, nse or log_nse, not \"" +
                             values["--objective"] + "\".");
    }
    options.objective = *objective;
  }
  // Whole numbers, each with its least value.
  const struct {
    const char* name;
    std::int64_t lowest;
    std::int64_t* target;
  } counts[] = {{"--evaluations", 1, &options.evaluations},
                {"--batch", 1, &options.batch},
                {"--warm-up", 0, &options.run.warmUpHours}};
  for (const auto& count : counts) {
    if (!values.count(count.name)) continue;
    const std::optional<std::int64_t> n = wholeNumber(values[count.name], count.lowest);
    if (!n) {
      return Status::invalid(std::string("Option ") + count.name + " takes a whole number of " +
                             std::to_string(count.lowest) + " or more, not \"" +
                             values[count.name] + "\".");
    }
    *count.target = *n;
  }
  if (values.count("--snap")) {
    if (parseInt32(values["--snap"], options.run.snap) != ParseStatus::kOk ||
        options.run.snap < 0) {
      return Status::invalid("Option --snap takes a whole number of cells, 0 or more, not \"" +
                             values["--snap"] + "\".");
    }
  }
  if (values.count("--seed")) {
    const std::string& text = values["--seed"];
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), options.seed);
    if (error != std::errc() || end != text.data() + text.size()) {
      return Status::invalid("Option --seed takes a whole number from 0 to " +
                             std::to_string(UINT64_MAX) + ", not \"" + text + "\".");
    }
  }
  if (values.count("--start")) options.run.start = values["--start"];
  if (values.count("--lakes")) options.run.lakes = values["--lakes"];
  if (values.count("--releases")) {
    if (!options.run.lakes) {
      return Status::invalid(
          "Option --releases gives the releases of the reservoirs of a lake list: give it with "
          "--lakes FILE.csv.");
    }
    options.run.releases = values["--releases"];
  }
  if (values.count("--scheme")) {
    const std::optional<Scheme> scheme = schemeNamed(values["--scheme"]);
    if (!scheme) {
      return Status::invalid("Option --scheme takes classic or conservative, not \"" +
                             values["--scheme"] + "\".");
    }
    options.run.scheme = *scheme;
  }
  if (values.count("--power")) {
    const std::optional<PowerFunction> power = powerFunctionNamed(values["--power"]);
    if (!power) {
      return Status::invalid("Option --power takes libm or fast, not \"" + values["--power"] +
                             "\".");
    }
    options.run.power = *power;
  }
  auto given = [&](const char* name) {
    return values.count(name) ? std::optional<std::string>(values[name]) : std::nullopt;
  };
  if (Status losses = parseLossOptions(given("--losses"), given("--ia-ratio"), given("--event-gap"),
                                       options.run.losses);
      !losses.ok()) {
    return losses;
  }
  options.run.soil = values.count("--soil") > 0;
  if (Status soil = parseSoilOptions(options.run.soil, given("--et-threshold"),
                                     given("--soil-start"), given("--baseflow-start"),
                                     given("--pet"), options.run.soilRule, options.run.petMmPerDay);
      !soil.ok()) {
    return soil;
  }
  return options;
}

}  // namespace runoff
