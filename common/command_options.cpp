#include "common/command_options.h"

#include <algorithm>

namespace runoff {

std::optional<std::string> CommandOptions::value(const std::string& name) const {
  const auto at = values.find(name);
  if (at == values.end()) return std::nullopt;
  return at->second;
}

std::string seeHelp(const std::string& program) {
  return "; " + program + " --help lists the options.";
}

Result<CommandOptions> readCommandOptions(std::span<const std::string> args,
                                          std::span<const std::string_view> known,
                                          const std::string& program, Positional positional) {
  CommandOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    }
    if (arg.rfind("-", 0) != 0 || arg == "-") {
      if (positional == Positional::kRefused) {
        return Status::invalid("Unexpected argument \"" + arg + "\"" + seeHelp(program));
      }
      options.positional.push_back(arg);
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (std::find(known.begin(), known.end(), name) == known.end()) {
      return Status::invalid("Unknown option " + arg + seeHelp(program));
    }
    if (options.values.count(name)) return Status::invalid("Option " + name + " is given twice.");
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
      value = args[++i];
    }
    if (value.empty()) return Status::invalid("Option " + name + " needs a value.");
    options.values[name] = value;
  }
  return options;
}

}  // namespace runoff
