#include "runoff/run/sim_options.h"

#include "common/command_options.h"
#include "common/text_number.h"
#include "runoff/inputs/pet_grid.h"

namespace runoff {
namespace {

// The files of an --outputs list ("daily,hourly"); nullopt for any other text.
std::optional<DischargeFileSet> outputList(const std::string& text) {
  DischargeFileSet files = DischargeFileSet::none();
  std::size_t from = 0;
  while (true) {
    const std::size_t comma = text.find(',', from);
    const std::string name = text.substr(from, comma == std::string::npos ? comma : comma - from);
    if (name == "daily") {
      files.add(DischargeFile::kDaily);
    } else if (name == "max") {
      files.add(DischargeFile::kDailyMax);
    } else if (name == "hourly") {
      files.add(DischargeFile::kHourly);
    } else {
      return std::nullopt;
    }
    if (comma == std::string::npos) return files;
    from = comma + 1;
  }
}

}  // namespace

Status parseLossOptions(const std::optional<std::string>& method,
                        const std::optional<std::string>& iaRatio,
                        const std::optional<std::string>& eventGap, LossRule& rule) {
  if (method) {
    const std::optional<LossMethod> named = lossMethodNamed(*method);
    if (!named) {
      return Status::invalid("Option --losses takes none, constant, scs-cn or green-ampt, not \"" +
                             *method + "\".");
    }
    rule.method = *named;
  }
  if (iaRatio) {
    double ratio = 0;
    if (parseDouble(*iaRatio, ratio) != ParseStatus::kOk || !(ratio > 0 && ratio <= 1)) {
      return Status::invalid("Option --ia-ratio takes a number above 0 and at most 1, not \"" +
                             *iaRatio + "\".");
    }
    if (rule.method != LossMethod::kScsCurveNumber) {
      return Status::invalid("Option --ia-ratio applies to --losses scs-cn only.");
    }
    rule.iaRatio = ratio;
  }
  if (eventGap) {
    std::int32_t hours = 0;
    if (parseInt32(*eventGap, hours) != ParseStatus::kOk || hours < 1) {
      return Status::invalid("Option --event-gap takes a whole number of hours, 1 or more, not \"" +
                             *eventGap + "\".");
    }
    if (rule.method != LossMethod::kScsCurveNumber && rule.method != LossMethod::kGreenAmpt) {
      return Status::invalid("Option --event-gap applies to --losses scs-cn and green-ampt only.");
    }
    rule.eventGapHours = hours;
  }
  return {};
}

Status parseSoilOptions(bool soil, const std::optional<std::string>& etThreshold,
                        const std::optional<std::string>& soilStart,
                        const std::optional<std::string>& baseflowStart,
                        const std::optional<std::string>& pet, SoilRule& rule,
                        std::optional<double>& petMmPerDay) {
  struct Checked {
    const char* option;
    const std::optional<std::string>& text;
    double low, high;
    bool lowOpen;
    const char* takes;
    double* into;
  };
  double petValue = 0;
  const Checked checked[] = {
      {"--et-threshold", etThreshold, 0, 1, true,
       "a share of the soil's capacity above 0 and at most 1", &rule.etThreshold},
      {"--soil-start", soilStart, 0, 1, false, "a share of the soil's capacity from 0 to 1",
       &rule.soilStart},
      {"--baseflow-start", baseflowStart, 0, 1000, false, "a baseflow in mm/h from 0 to 1000",
       &rule.baseflowStart},
      {"--pet", pet, 0, 24.0 * static_cast<double>(kMaxPet), false,
       "a rate in mm/day from 0 to 2400", &petValue},
  };
  for (const Checked& c : checked) {
    if (!c.text) continue;
    double value = 0;
    if (parseDouble(*c.text, value) != ParseStatus::kOk ||
        !(c.lowOpen ? value > c.low : value >= c.low) || !(value <= c.high)) {
      return Status::invalid(std::string("Option ") + c.option + " takes " + c.takes + ", not \"" +
                             *c.text + "\".");
    }
    if (!soil)
      return Status::invalid(std::string("Option ") + c.option + " applies to --soil only.");
    *c.into = value;
  }
  if (pet) petMmPerDay = petValue;
  return {};
}

Result<SimOptions> parseSimOptions(const std::vector<std::string>& args) {
  // The refusals point to "--help" alone: the program's name begins the line already.
  static constexpr KnownOption kKnown[] = {
      {"--budget", {}, true},
      {"--netcdf", {}, true},
      {"--state-in", "a file name"},
      {"--state-out", "a file name"},
      {"--scheme", "classic or conservative"},
      {"--power", "libm or fast"},
      {"--losses", "none, constant, scs-cn or green-ampt"},
      {"--ia-ratio", "a ratio"},
      {"--event-gap", "a number of hours"},
      {"--soil", {}, true},
      {"--et-threshold", "a share of the soil's capacity"},
      {"--soil-start", "a share of the soil's capacity"},
      {"--baseflow-start", "a baseflow in mm/h"},
      {"--pet", "a rate in mm/day"},
      {"--outputs", "a list of daily, max and hourly"},
      {"--gauges", "a file name"},
      {"--snap", "a number of cells"},
      {"--start", "a date and time"},
      {"--lakes", "a file name"},
      {"--releases", "a file name"},
  };
  Result<CommandOptions> read = readCommandOptions(args, kKnown, "", Positional::kRefused);
  if (!read.ok()) return read.status();
  const CommandOptions& given = *read;
  SimOptions options;
  options.help = given.help;
  options.waterBudget = given.has("--budget");
  options.netcdf = given.has("--netcdf");
  options.stateIn = given.value("--state-in");
  options.stateOut = given.value("--state-out");
  options.gauges = given.value("--gauges");
  options.start = given.value("--start");
  options.lakes = given.value("--lakes");
  options.releases = given.value("--releases");
  const std::optional<std::string> schemeText = given.value("--scheme");
  const std::optional<std::string> outputsText = given.value("--outputs");
  const std::optional<std::string> snapText = given.value("--snap");
  const std::optional<std::string> powerText = given.value("--power");
  if (schemeText) {
    const std::optional<Scheme> scheme = schemeNamed(*schemeText);
    if (!scheme) {
      return Status::invalid("Option --scheme takes classic or conservative, not \"" + *schemeText +
                             "\".");
    }
    options.scheme = *scheme;
  }
  if (powerText) {
    const std::optional<PowerFunction> power = powerFunctionNamed(*powerText);
    if (!power) {
      return Status::invalid("Option --power takes libm or fast, not \"" + *powerText + "\".");
    }
    options.power = *power;
  }
  if (Status losses = parseLossOptions(given.value("--losses"), given.value("--ia-ratio"),
                                       given.value("--event-gap"), options.losses);
      !losses.ok()) {
    return losses;
  }
  options.soil = given.has("--soil");
  if (Status soil = parseSoilOptions(options.soil, given.value("--et-threshold"),
                                     given.value("--soil-start"), given.value("--baseflow-start"),
                                     given.value("--pet"), options.soilRule, options.petMmPerDay);
      !soil.ok()) {
    return soil;
  }
  if (outputsText) {
    const std::optional<DischargeFileSet> files = outputList(*outputsText);
    if (!files) {
      return Status::invalid(
          "Option --outputs takes daily, max and hourly, separated by commas, not \"" +
          *outputsText + "\".");
    }
    options.outputs = *files;
    options.outputsGiven = true;
  }
  if (snapText) {
    if (parseInt32(*snapText, options.snap) != ParseStatus::kOk || options.snap < 0) {
      return Status::invalid("Option --snap takes a whole number of cells, 0 or more, not \"" +
                             *snapText + "\".");
    }
    if (!options.gauges && !options.lakes) {
      return Status::invalid(
          "Option --snap applies to gauges only: give them with --gauges "
          "FILE.csv.");
    }
  }
  if (options.start && !options.gauges && !options.netcdf && !options.lakes) {
    return Status::invalid(
        "Option --start dates the gauge series and the NetCDF file: give it "
        "with --gauges or --netcdf.");
  }
  if (options.releases && !options.lakes) {
    return Status::invalid(
        "Option --releases gives the releases of the reservoirs of a lake list: give it with "
        "--lakes FILE.csv.");
  }
  return options;
}

std::string simHelpText(const std::string& program) {
  return "Usage: " + program +
         " [--scheme classic|conservative] [--power libm|fast] [--budget]\n"
         "       [--state-in FILE]"
         " [--state-out FILE] [--losses METHOD [--ia-ratio R] [--event-gap HOURS]]\n"
         "       [--soil [--et-threshold LP] [--soil-start FRACTION] [--baseflow-start MM_PER_H]\n"
         "       [--pet MM_PER_DAY]]\n"
         "       [--outputs LIST] [--gauges FILE.csv [--snap N]] [--netcdf] [--start TIME]\n"
         "       [--lakes FILE.csv [--releases FILE.csv]]\n"
         "\n"
         "Routes the hourly rainfall of input/rain.dat through every cell of the rivers listed in\n"
         "topoData/riverNumList.dat and writes the daily mean, daily maximum and hourly discharge\n"
         "grids under output/. Run it in the working directory that holds\n"
         "param-ravo-event-ver300.dat, topoData/, input/, temp/ and output/.\n"
         "\n"
         "Options:\n"
         "  --scheme classic|conservative\n"
         "                    the routing scheme. classic (the default): the weighted implicit\n"
         "                    scheme on discharge, which does not conserve volume exactly.\n"
         "                    conservative: the implicit box scheme of the continuity equation\n"
         "                    in storage form, solved by Newton's method, whose water budget\n"
         "                    closes to rounding; its results differ from the classic ones\n"
         "  --power libm|fast the power function of the routing step. libm (the default): the\n"
         "                    C library's pow. fast: the model's own, four cells at a time,\n"
         "                    with the same results on every processor; they differ from\n"
         "                    libm's in the last bits\n"
         "  --budget          after the run, print the water budget of every listed basin and\n"
         "                    in total: rain, loss (with --losses), inflow from other basins,\n"
         "                    outflow at the outlets, storage at the start and the end, and the\n"
         "                    closure error; with --soil also the evapotranspiration, the\n"
         "                    baseflow and the soil's and groundwater's storage\n"
         "  --losses METHOD   take the rainfall losses of every routed cell from each hour's\n"
         "                    rain before it runs off; METHOD is none (the default: all rain\n"
         "                    runs off), constant (topoData/initialLoss.bin, mm, and\n"
         "                    constantLoss.bin, mm/h; lossRecovery.bin, mm/day, optional),\n"
         "                    scs-cn (topoData/curveNumber.bin) or green-ampt (topoData/ksat.bin,\n"
         "                    mm/h, suction.bin, mm, moistureDeficit.bin); every method reads\n"
         "                    topoData/impervious.bin when present, the fraction that loses\n"
         "                    nothing\n"
         "  --ia-ratio R      scs-cn: initial abstraction Ia = R x S, 0 < R <= 1 (default 0.2)\n"
         "  --event-gap HOURS scs-cn and green-ampt: after HOURS hours without rain the next\n"
         "                    rain starts a new event (default: the whole run is one event)\n"
         "  --soil            keep a soil store (topoData/soilCapacity.bin, mm) and a groundwater\n"
         "                    store on every routed cell: the soil takes what the loss method\n"
         "                    lets infiltrate (its overflow runs off), loses evapotranspiration\n"
         "                    and percolates (percolation.bin, mm/h from a full soil) to the\n"
         "                    groundwater, which returns baseflow (baseflowTime.bin, hours)\n"
         "  --et-threshold LP the share of the capacity above which the soil evaporates at the\n"
         "                    potential rate, 0 < LP <= 1 (default 0.7)\n"
         "  --soil-start FRACTION\n"
         "                    the soil's water at the start, a share of its capacity (default "
         "0.5)\n"
         "  --baseflow-start MM_PER_H\n"
         "                    each cell's baseflow at the start (default 0)\n"
         "  --pet MM_PER_DAY  a potential evapotranspiration the same everywhere, instead of\n"
         "                    input/pet.dat (hourly, the rainfall file's format and grid);\n"
         "                    without either the potential evapotranspiration is 0\n"
         "  --state-in FILE   start from the state in FILE, written by an earlier run with\n"
         "                    --state-out, instead of the initial discharge from initialRunoff;\n"
         "                    input/rain.dat then holds the continued period from its first\n"
         "                    record, and the output files count days from 1 again\n"
         "  --state-out FILE  after a successful run, write the state of every routed cell to\n"
         "                    FILE, so that a later run can continue from it exactly\n"
         "  --outputs LIST    the discharge grids to write, a comma-separated list of daily\n"
         "                    (dischargeDaily.bin), max (dischargeHourlyMaxInDay.bin) and\n"
         "                    hourly (dischargeHourly.bin); default all three. The others are\n"
         "                    not written, and removed where an earlier run left them\n"
         "  --gauges FILE.csv write output/gauges.csv while routing: the hourly discharge of\n"
         "                    the gauges listed as name,lon,lat (degrees), each moved to the\n"
         "                    routed cell of largest flow accumulation within --snap cells\n"
         "  --snap N          how far a gauge may move, in cells (default 2)\n"
         "  --netcdf          write output/discharge.nc while routing: the grids of --outputs\n"
         "                    as one CF-1.8 NetCDF-4 file; the raw grids are then written only\n"
         "                    when --outputs names them\n"
         "  --start TIME      start of the run for --gauges, --netcdf and --lakes,\n"
         "                    YYYY-MM-DDThh:mm:ss (default: the stamp of the first record of\n"
         "                    input/rain.dat)\n"
         "  --lakes FILE.csv  route the lakes and reservoirs listed as\n"
         "                    name,lon,lat,area,rule,a,b,start: all the water reaching a lake's\n"
         "                    outlet cell (placed as gauges are, within --snap cells) enters\n"
         "                    it, and what it releases by its rule (linear, weir or releases)\n"
         "                    flows on; writes output/lakes.csv, each lake's hourly inflow,\n"
         "                    outflow and level\n"
         "  --releases FILE.csv\n"
         "                    the outflow of the reservoirs of rule releases, as\n"
         "                    time,lake,outflow (m3/s), each value held until the next\n"
         "  --help            print this text and exit\n"
         "\n"
         "Environment:\n"
         "  OMP_NUM_THREADS      threads to route with (default: every core)\n"
         "  RUNOFF_MEMORY_LIMIT  memory the run may take: bytes, or with a suffix K, M, G or T\n"
         "                       (default: the machine's physical memory)\n";
}

}  // namespace runoff
