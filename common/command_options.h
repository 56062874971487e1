// The command lines of the post-processors and the calibration: options "--name VALUE" or
// "--name=VALUE" from a known list, each at most once, "--help" or "-h", and arguments that
// are not options (files), in the order given. A value is the next argument unless that is
// itself an option ("--..."), so a forgotten value is named rather than taken from the next
// option.
#ifndef RUNOFF_COMMON_COMMAND_OPTIONS_H_
#define RUNOFF_COMMON_COMMAND_OPTIONS_H_

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"

namespace runoff {

struct CommandOptions {
  bool help = false;
  std::vector<std::string> positional;        // the arguments that are not options
  std::map<std::string, std::string> values;  // by option name ("--snap")

  /// The value of option `name`, or nothing when it is not given.
  std::optional<std::string> value(const std::string& name) const;
};

enum class Positional { kRefused, kKept };

/// Reads `args` (after the program name) against the option names `known`. Refuses with one
/// line, which ends by pointing to "`program` --help": an unknown option, and an argument
/// that is not an option where `positional` refuses them; and with one line an option given
/// twice or without a value.
Result<CommandOptions> readCommandOptions(std::span<const std::string> args,
                                          std::span<const std::string_view> known,
                                          const std::string& program, Positional positional);

/// "; `program` --help lists the options.", the end of a refusal of the command line.
std::string seeHelp(const std::string& program);

}  // namespace runoff

#endif  // RUNOFF_COMMON_COMMAND_OPTIONS_H_
