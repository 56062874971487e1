// The command lines of the programs: options "--name VALUE" or "--name=VALUE" from a known
// list, flags ("--budget") that take no value, each at most once, "--help" or "-h", and
// arguments that are not options (files), in the order given. A value is the next argument
// unless that is itself an option ("--..."), so a forgotten value is named rather than taken
// from the next option.
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

/// An option a program knows.
struct KnownOption {
  std::string_view name;               // "--snap"
  std::string_view needs = "a value";  // what its value is, in the line refusing a missing one
  bool flag = false;                   // true for an option without a value
};

struct CommandOptions {
  bool help = false;
  std::vector<std::string> positional;        // the arguments that are not options
  std::map<std::string, std::string> values;  // by option name ("--snap"); "" for a flag

  /// The value of option `name`, or nothing when it is not given.
  std::optional<std::string> value(const std::string& name) const;
  /// True when option or flag `name` is given.
  bool has(const std::string& name) const { return values.count(name) != 0; }
};

enum class Positional { kRefused, kKept };

/// Reads `args` (after the program name) against the options `known`. Refuses with one line,
/// which ends by pointing to "`program` --help" (to "--help" when `program` is empty): an
/// unknown option, a value given to a flag or to --help, and an argument that is not an option
/// where `positional` refuses them; and with one line an option given twice or without a value
/// ("Option --snap needs a number of cells.", after the option's `needs`).
Result<CommandOptions> readCommandOptions(std::span<const std::string> args,
                                          std::span<const KnownOption> known,
                                          const std::string& program, Positional positional);
/// The same for options that each take a value.
Result<CommandOptions> readCommandOptions(std::span<const std::string> args,
                                          std::span<const std::string_view> known,
                                          const std::string& program, Positional positional);

/// "; `program` --help lists the options.", the end of a refusal of the command line ("; --help
/// lists the options." when `program` is empty: a line the program's name already begins).
std::string seeHelp(const std::string& program);

}  // namespace runoff

#endif  // RUNOFF_COMMON_COMMAND_OPTIONS_H_
