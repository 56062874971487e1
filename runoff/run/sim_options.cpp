#include "runoff/run/sim_options.h"

namespace runoff {

Result<SimOptions> parseSimOptions(const std::vector<std::string>& args) {
  SimOptions options;
  std::optional<std::string> schemeText;
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
    if (target == nullptr) {
      if (name.rfind("-", 0) == 0) return Status::invalid("Unknown option \"" + name + "\"" + help);
      return Status::invalid("Unexpected argument \"" + name + "\"" + help);
    }
    const std::string needs =
        "Option " + name +
        (target == &schemeText ? " needs classic or conservative." : " needs a file name.");
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
  return options;
}

std::string simHelpText(const std::string& program) {
  return "Usage: " + program +
         " [--scheme classic|conservative] [--budget] [--state-in FILE]\n"
         "       [--state-out FILE]\n"
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
         "                    in total: rain, inflow from other basins, outflow at the outlets,\n"
         "                    storage at the start and the end, and the closure error\n"
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
