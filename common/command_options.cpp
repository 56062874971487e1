#include "common/command_options.h"

#include <algorithm>

namespace runoff {

std::optional<std::string> CommandOptions::value(const std::string& name) const {
  const auto at = values.find(name);
  if (at == values.end()) return std::nullopt;
  return at->second;
}

std::string seeHelp(const std::string& program) {
  return "; " + (program.empty() ? std::string() : program + " ") + "--help lists the options.";
}

Result<CommandOptions> readCommandOptions(std::span<const std::string> args,
                                          std::span<const KnownOption> known,
                                          const std::string& program, Positional positional) {
  CommandOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("-", 0) != 0 || arg == "-") {
      if (positional == Positional::kRefused) {
        return Status::invalid("Unexpected argument \"" + arg + "\"" + seeHelp(program));
      }
      options.positional.push_back(arg);
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (name == "--help" || name == "-h") {
      if (equals != std::string::npos) {
        return Status::invalid("Option " + name + " takes no value" + seeHelp(program));
      }
      options.help = true;
      continue;
    }
    const auto option = std::find_if(known.begin(), known.end(),
                                     [&](const KnownOption& k) { return k.name == name; });
    if (option == known.end()) {
      return Status::invalid("Unknown option \"" + name + "\"" + seeHelp(program));
    }
    if (option->flag && equals != std::string::npos) {
      return Status::invalid("Option " + name + " takes no value" + seeHelp(program));
    }
    if (options.has(name)) return Status::invalid("Option " + name + " is given twice.");
    std::string value;
    if (option->flag) {
      options.values[name] = value;
      continue;
    }
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
      value = args[++i];
    }
    if (value.empty()) {
      return Status::invalid("Option " + name + " needs " + std::string(option->needs) + ".");
    }
    options.values[name] = value;
  }
  return options;
}

Result<CommandOptions> readCommandOptions(std::span<const std::string> args,
                                          std::span<const std::string_view> known,
                                          const std::string& program, Positional positional) {
  std::vector<KnownOption> options;
  for (std::string_view name : known) options.push_back({name});
  return readCommandOptions(args, options, program, positional);
}

}  // namespace runoff
