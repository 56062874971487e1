#include "runoff_calibrate/search_parameters.h"

#include <cctype>
#include <cmath>
#include <fstream>
#include <map>

#include "common/input_file.h"
#include "common/text_number.h"
#include "runoff/evaluation/scores.h"
#include "runoff/inputs/gauge_list.h"

namespace runoff {

double SearchParameter::toSearch(double value) const { return logScale ? std::log(value) : value; }

double SearchParameter::fromSearch(double coordinate) const {
  return logScale ? std::exp(coordinate) : coordinate;
}

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

Result<std::vector<SearchParameter>> readSearchParameters(std::istream& in,
                                                          const std::string& path) {
  std::vector<SearchParameter> parameters;
  std::map<std::string, int> lineOfName;
  bool first = true;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string where = path + " line " + std::to_string(number);
    if (!csvLineWithContent(line, number)) continue;
    const auto fields = splitCsvFields(line);
    if (!fields) return Status::invalid(where + ": a quoted field is not closed.");
    double value = 0;
    const bool header =
        first && (fields->size() < 2 || parseDouble(fields->at(1), value) != ParseStatus::kOk);
    first = false;
    if (header) continue;
    if (fields->size() != 3 && fields->size() != 4) {
      return Status::invalid(where + " has " + std::to_string(fields->size()) +
                             " fields, not name,min,max or name,min,max,scale.");
    }
    const std::string& name = fields->at(0);
    SearchParameter p;
    p.tunable = findTunable(name);
    if (p.tunable == nullptr) {
      return Status::invalid(where + ": unknown parameter \"" + name + "\" (the parameters are " +
                             tunableNames() + ").");
    }
    double* bounds[2] = {&p.min, &p.max};
    const char* boundNames[2] = {"min", "max"};
    for (int k = 0; k < 2; ++k) {
      const std::string& field = fields->at(1 + k);
      if (parseDouble(field, *bounds[k]) != ParseStatus::kOk) {
        return Status::invalid(where + ": " + boundNames[k] + " \"" + field + "\" of " + name +
                               " is not a number.");
      }
    }
    if (fields->size() == 4) {
      const std::string scale = lower(fields->at(3));
      if (scale == "log") {
        p.logScale = true;
      } else if (scale != "linear" && !scale.empty()) {
        return Status::invalid(where + ": scale \"" + fields->at(3) + "\" of " + name +
                               " is neither log nor linear.");
      }
    }
    if (!(p.min < p.max)) {
      return Status::invalid(where + ": the min of " + name + ", " + shortestDecimal(p.min) +
                             ", is not below its max, " + shortestDecimal(p.max) + ".");
    }
    if (p.logScale && !(p.min > 0)) {
      return Status::invalid(where + ": " + name +
                             " is searched on a log scale, so its min must be above 0, not " +
                             shortestDecimal(p.min) + ".");
    }
    if (!tunableAccepts(*p.tunable, p.min) || !tunableAccepts(*p.tunable, p.max)) {
      return Status::invalid(where + ": the range of " + name + ", " + shortestDecimal(p.min) +
                             " to " + shortestDecimal(p.max) +
                             ", reaches beyond the values the model accepts (" + p.tunable->valid +
                             ").");
    }
    if (const auto [at, added] = lineOfName.emplace(name, number); !added) {
      return Status::invalid(where + ": " + name + " is already listed on line " +
                             std::to_string(at->second) + ".");
    }
    parameters.push_back(p);
  }
  if (in.bad()) return Status::ioError(path + " cannot be read to its end.");
  if (parameters.empty()) return Status::invalid(path + " lists no parameter.");
  return parameters;
}

Result<std::vector<SearchParameter>> readSearchParameters(const std::string& path) {
  std::ifstream in;
  if (const InputFault fault = openInputFile(in, path); fault != InputFault::kNone) {
    return inputFailure(path, fault);
  }
  return readSearchParameters(in, path);
}

}  // namespace runoff
