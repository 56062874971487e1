#include "runoff/run/sim_options.h"

#include "common/text_number.h"

namespace runoff {

namespace {

// The loss method and its options, each checked, and each option only with a method that
// reads it.
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

}  // namespace

Result<SimOptions> parseSimOptions(const std::vector<std::string>& args) {
  SimOptions options;
  std::optional<std::string> schemeText, lossText, iaRatioText, eventGapText;
  const std::string help = "; --help lists the options.";
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (name.rfind("--", 0) == 0) {
      if (const std::size_t eq = name.find('='); eq != std::string::npos) {
        value = name.substr(eq + 1);
        name = name.substr(0, eq);
      }
    }
    if (name == "--help" || name == "-h") {
      if (value) return Status::invalid("Option " + name + " takes no value" + help);
      options.help = true;
      continue;
    }
    if (name == "--budget") {
      if (value) return Status::invalid("Option " + name + " takes no value" + help);
      if (options.waterBudget) return Status::invalid("Option " + name + " is given twice.");
      options.waterBudget = true;
      continue;
    }
    std::optional<std::string>* target = nullptr;
    if (name == "--state-in") target = &options.stateIn;
    if (name == "--state-out") target = &options.stateOut;
    if (name == "--scheme") target = &schemeText;
    if (name == "--losses") target = &lossText;
    if (name == "--ia-ratio") target = &iaRatioText;
    if (name == "--event-gap") target = &eventGapText;
    if (target == nullptr) {
      if (name.rfind("-", 0) == 0) return Status::invalid("Unknown option \"" + name + "\"" + help);
      return Status::invalid("Unexpected argument \"" + name + "\"" + help);
    }
    std::string needs = " needs a file name.";
    if (target == &schemeText) needs = " needs classic or conservative.";
    if (target == &lossText) needs = " needs none, constant, scs-cn or green-ampt.";
    if (target == &iaRatioText) needs = " needs a ratio.";
    if (target == &eventGapText) needs = " needs a number of hours.";
    needs = "Option " + name + needs;
    if (!value) {
      if (i + 1 >= args.size()) return Status::invalid(needs);
      value = args[++i];
    }
    if (value->empty()) return Status::invalid(needs);
    if (target->has_value()) return Status::invalid("Option " + name + " is given twice.");
    *target = *value;
  }
  if (schemeText) {
    const std::optional<Scheme> scheme = schemeNamed(*schemeText);
    if (!scheme) {
      return Status::invalid("Option --scheme takes classic or conservative, not \"" + *schemeText +
                             "\".");
    }
    options.scheme = *scheme;
  }
  if (Status losses = parseLossOptions(lossText, iaRatioText, eventGapText, options.losses);
      !losses.ok()) {
    return losses;
  }
  return options;
}

std::string simHelpText(const std::string& program) {
  return "Usage: " + program +
         " [--scheme classic|conservative] [--budget] [--state-in FILE]\n"
         "       [--state-out FILE] [--losses METHOD [--ia-ratio R] [--event-gap HOURS]]\n"
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
         "  --budget          after the run, print the water budget of every listed basin and\n"
         "                    in total: rain, loss (with --losses), inflow from other basins,\n"
         "                    outflow at the outlets, storage at the start and the end, and the\n"
         "                    closure error\n"
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
         "  --state-in FILE   start from the state in FILE, written by an earlier run with\n"
         "                    --state-out, instead of the initial discharge from initialRunoff;\n"
         "                    input/rain.dat then holds the continued period from its first\n"
         "                    record, and the output files count days from 1 again\n"
         "  --state-out FILE  after a successful run, write the state of every routed cell to\n"
         "                    FILE, so that a later run can continue from it exactly\n"
         "  --help            print this text and exit\n"
         "\n"
         "Environment:\n"
         "  OMP_NUM_THREADS      threads to route with (default: every core)\n"
         "  RUNOFF_MEMORY_LIMIT  memory the run may take: bytes, or with a suffix K, M, G or T\n"
         "                       (default: the machine's physical memory)\n";
}

}  // namespace runoff
