#include "discharge_map/discharge_range.h"

#include <string>
#include <vector>

#include "common/text_number.h"

namespace runoff {
namespace {

// Reads one typed bound. A token that is not a number is not refused yet: the dialogue goes
// on to the next question as for any other unusable range. Only the end of input stops it.
Result<bool> readBound(std::istream& in, const char* name, float& value) {
  const auto token = nextToken(in);
  if (!token) return Status::invalid(std::string("No ") + name + " value inputted: end of input.");
  return parseFloat(*token, value) == ParseStatus::kOk;
}

}  // namespace

Result<std::optional<DischargeRange>> askForRange(std::istream& in, std::ostream& out) {
  // The question ("minimun", and "rainfall intensity" for what is the discharge range) and the
  // refusal "Wrong values inputted!" below are kept as they stand, for compatibility of the
  // console output.
  out << "\nDo you want to set the maximum and minimun values of rainfall intensity? (y/n)"
      << std::endl;
  const auto word = nextToken(in);
  if (!word) return Status::invalid("No answer inputted: end of input.");
  if (*word != "y") return std::optional<DischargeRange>();

  DischargeRange range;
  out << "Input maximum value : " << std::flush;
  const Result<bool> maxIsNumber = readBound(in, "maximum", range.maxDischarge);
  if (!maxIsNumber.ok()) return maxIsNumber.status();
  out << "Input minimum value : " << std::flush;
  const Result<bool> minIsNumber = readBound(in, "minimum", range.minDischarge);
  if (!minIsNumber.ok()) return minIsNumber.status();
  if (!*maxIsNumber || !*minIsNumber || !range.valid()) {
    return Status::invalid("Wrong values inputted!");
  }
  return std::optional<DischargeRange>(range);
}

Status scanDischargeRange(DischargeReader& discharge, std::int64_t hours, DischargeRange& range) {
  std::vector<float> values(hours > 0 ? discharge.cellsPerGrid() : 0);
  for (std::int64_t h = 0; h < hours; ++h) {
    if (Status read = discharge.readGrid(values); !read.ok()) return read;
    for (float v : values) {
      if (v < 0.0f) continue;  // the missing value never counts
      if (v > range.maxDischarge) range.maxDischarge = v;
      if (v < range.minDischarge) range.minDischarge = v;
    }
  }
  return {};
}

}  // namespace runoff
