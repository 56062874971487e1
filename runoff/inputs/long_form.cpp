#include "runoff/inputs/long_form.h"

#include <array>
#include <cctype>
#include <optional>

#include "runoff/inputs/gauge_list.h"

namespace runoff {
namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

Status readLongForm(std::istream& in, const std::string& path, const LongFormColumns& columns,
                    const std::function<Status(const LongFormLine&)>& take) {
  const std::array<const char*, 3> names = {columns.time, columns.name, columns.value};
  std::optional<std::array<std::size_t, 3>> at;
  std::size_t width = 0;
  std::string line;
  for (std::int32_t number = 1; std::getline(in, line); ++number) {
    const std::string where = path + " line " + std::to_string(number);
    if (!csvLineWithContent(line, number)) continue;
    const auto fields = splitCsvFields(line);
    if (!fields) return Status::invalid(where + ": a quoted field is not closed.");
    if (!at) {
      std::array<std::size_t, 3> found{};
      for (std::size_t k = 0; k < names.size(); ++k) {
        const auto column = std::find_if(fields->begin(), fields->end(), [&](const std::string& f) {
          return lower(f) == names[k];
        });
        if (column == fields->end()) {
          return Status::invalid(where + ": the header names no column \"" + names[k] +
                                 "\" (expected " + names[0] + "," + names[1] + "," + names[2] +
                                 ").");
        }
        found[k] = static_cast<std::size_t>(column - fields->begin());
      }
      at = found;
      width = fields->size();
      continue;
    }
    if (fields->size() != width) {
      return Status::invalid(where + " has " + std::to_string(fields->size()) + " fields, not " +
                             std::to_string(width) + ".");
    }
    LongFormLine entry;
    entry.number = number;
    entry.where = where;
    const std::string& timeText = fields->at((*at)[0]);
    const std::optional<CivilTime> time = parseIsoTime(timeText);
    if (!time) {
      return Status::invalid(where + ": time \"" + timeText +
                             "\" is not a date and time (YYYY-MM-DDThh:mm:ss).");
    }
    entry.time = *time;
    entry.name = fields->at((*at)[1]);
    if (entry.name.empty()) {
      return Status::invalid(where + ": the value has no " + columns.name + " name.");
    }
    entry.value = fields->at((*at)[2]);
    if (Status taken = take(entry); !taken.ok()) return taken;
  }
  if (in.bad()) return Status::ioError(path + " cannot be read to its end.");
  return {};
}

}  // namespace runoff
