#include "runoff/bmi/bmi_config.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace runoff {

namespace {

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

}  // namespace

Result<BmiConfig> readBmiConfig(std::istream& in, const std::string& origin) {
  std::optional<std::string> workdir, options;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string text = trimmed(line);
    if (text.empty() || text[0] == '#') continue;
    const std::string where = origin + " line " + std::to_string(number);
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
      return Status::invalid(where + ": expected \"key = value\", found \"" + text + "\".");
    }
    const std::string key = trimmed(text.substr(0, equals));
    const std::string value = trimmed(text.substr(equals + 1));
    std::optional<std::string>* slot = key == "workdir"   ? &workdir
                                       : key == "options" ? &options
                                                          : nullptr;
    if (slot == nullptr) {
      return Status::invalid(where + ": unknown key \"" + key +
                             "\" (the keys are workdir and options).");
    }
    if (slot->has_value()) return Status::invalid(where + ": " + key + " is given twice.");
    *slot = value;
  }
  if (in.bad()) return Status::ioError(origin + " cannot be read.");
  if (!workdir || workdir->empty()) {
    return Status::invalid(origin + " names no workdir (a line \"workdir = PATH\").");
  }
  BmiConfig config{*workdir, {}};
  std::istringstream words(options.value_or(""));
  for (std::string word; words >> word;) config.args.push_back(word);
  return config;
}

Result<BmiConfig> readBmiConfigFile(const std::string& path) {
  std::ifstream in(path);
  if (!in.is_open() || std::filesystem::is_directory(path)) {
    return Status::cannotOpen("The configuration file " + path + " cannot open.");
  }
  Result<BmiConfig> config = readBmiConfig(in, path);
  if (!config.ok()) return config;
  std::filesystem::path dir(config->workdir);
  if (dir.is_relative()) {
    dir = std::filesystem::absolute(std::filesystem::path(path)).parent_path() / dir;
  }
  config->workdir = dir.lexically_normal().string();
  return config;
}

}  // namespace runoff
