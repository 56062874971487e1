#include "discharge_map/discharge_range.h"

#include <optional>
#include <vector>

#include "common/binary_grid.h"
#include "common/text_number.h"

namespace runoff {
namespace {

constexpr const char* kWrongValues = "Wrong values inputted!";

RangeAnswer refuse(std::string message) {
  RangeAnswer answer;
  answer.kind = RangeAnswer::Kind::kRefused;
  answer.message = std::move(message);
  return answer;
}

// Reads one typed bound; the message of the refusal when it is missing or not a number.
std::optional<std::string> readBound(std::istream& in, const char* name, float& value) {
  const auto token = nextToken(in);
  if (!token) return std::string("No ") + name + " value inputted: end of input.";
  if (parseFloat(*token, value) != ParseStatus::kOk) return std::string(kWrongValues);
  return std::nullopt;
}

}  // namespace

RangeAnswer askForRange(std::istream& in, std::ostream& out) {
  out << "\nDo you want to set the maximum and minimun values of rainfall intensity? (y/n)"
      << std::endl;
  const auto word = nextToken(in);
  if (!word) return refuse("No answer inputted: end of input.");
  if (*word != "y") return {};

  RangeAnswer answer;
  answer.kind = RangeAnswer::Kind::kUserGiven;
  out << "Input maximum value : " << std::flush;
  if (auto failure = readBound(in, "maximum", answer.range.maxDischarge)) return refuse(*failure);
  out << "Input minimum value : " << std::flush;
  if (auto failure = readBound(in, "minimum", answer.range.minDischarge)) return refuse(*failure);
  if (!answer.range.valid()) return refuse(kWrongValues);
  return answer;
}

bool scanDischargeRange(std::istream& in, std::int64_t hours, std::size_t cellsPerHour,
                        DischargeRange& range) {
  std::vector<float> values(hours > 0 ? cellsPerHour : 0);
  for (std::int64_t h = 0; h < hours; ++h) {
    if (!readFloatRecords(in, values)) return false;
    for (float v : values) {
      if (v < 0.0f) continue;  // the missing value never counts
      if (v > range.maxDischarge) range.maxDischarge = v;
      if (v < range.minDischarge) range.minDischarge = v;
    }
  }
  return true;
}

}  // namespace runoff
