#include "runoff/inputs/gauge_list.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <map>
#include <optional>

#include "common/input_file.h"
#include "common/text_number.h"

namespace runoff {
namespace {

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

bool csvLineWithContent(std::string& line, int number) {
  if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line.find_first_not_of(" \t") != std::string::npos;
}

std::optional<std::vector<std::string>> splitCsvFields(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c != '"') {
        fields.back() += c;
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"' && trimmed(fields.back()).empty()) {
      fields.back().clear();
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  if (quoted) return std::nullopt;
  for (std::string& f : fields) f = trimmed(f);
  return fields;
}

namespace {

bool isNumber(const std::string& field) {
  double value;
  return parseDouble(field, value) == ParseStatus::kOk;
}

// Column of each of name, lon, lat.
using Columns = std::array<std::size_t, 3>;
constexpr const char* kColumnNames[3] = {"name", "lon", "lat"};

// The columns a header names; the failure names the column it lacks.
Result<Columns> headerColumns(const std::vector<std::string>& header, const std::string& where) {
  Columns columns;
  const std::array<std::array<const char*, 2>, 3> accepted = {
      {{"name", "name"}, {"lon", "longitude"}, {"lat", "latitude"}}};
  for (int k = 0; k < 3; ++k) {
    const auto at = std::find_if(header.begin(), header.end(), [&](const std::string& field) {
      const std::string f = lower(field);
      return f == accepted[k][0] || f == accepted[k][1];
    });
    if (at == header.end()) {
      return Status::invalid(where + ": the header names no column \"" + kColumnNames[k] +
                             "\" (expected name,lon,lat).");
    }
    columns[k] = static_cast<std::size_t>(at - header.begin());
  }
  return columns;
}

}  // namespace

Result<std::vector<Gauge>> readGauges(std::istream& in, const std::string& path) {
  std::vector<Gauge> gauges;
  std::map<std::string, int> lineOfName;
  std::optional<Columns> columns;
  std::size_t width = 3;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string where = path + " line " + std::to_string(number);
    if (!csvLineWithContent(line, number)) continue;
    const auto fields = splitCsvFields(line);
    if (!fields) return Status::invalid(where + ": a quoted field is not closed.");
    if (!columns) {
      if (fields->size() < 3 || !isNumber(fields->at(1)) || !isNumber(fields->at(2))) {
        Result<Columns> header = headerColumns(*fields, where);
        if (!header.ok()) return header.status();
        columns = *header;
        width = fields->size();
        continue;
      }
      columns = Columns{0, 1, 2};
    }
    if (fields->size() != width) {
      return Status::invalid(where + " has " + std::to_string(fields->size()) + " fields, not " +
                             std::to_string(width) + ".");
    }
    Gauge gauge;
    gauge.name = fields->at((*columns)[0]);
    if (gauge.name.empty()) return Status::invalid(where + ": the gauge has no name.");
    double* coordinates[2] = {&gauge.lon, &gauge.lat};
    for (int k = 1; k <= 2; ++k) {
      const std::string& field = fields->at((*columns)[k]);
      if (parseDouble(field, *coordinates[k - 1]) != ParseStatus::kOk) {
        return Status::invalid(where + ": " + kColumnNames[k] + " \"" + field + "\" of gauge \"" +
                               gauge.name + "\" is not a number.");
      }
    }
    if (const auto [at, added] = lineOfName.emplace(gauge.name, number); !added) {
      return Status::invalid(where + ": gauge \"" + gauge.name + "\" is already listed on line " +
                             std::to_string(at->second) + ".");
    }
    gauges.push_back(std::move(gauge));
  }
  if (in.bad()) return Status::ioError(path + " cannot be read to its end.");
  if (gauges.empty()) return Status::invalid(path + " lists no gauge.");
  return gauges;
}

Result<std::vector<Gauge>> readGauges(const std::string& path) {
  std::ifstream in;
  if (const InputFault fault = openInputFile(in, path); fault != InputFault::kNone) {
    return inputFailure(path, fault);
  }
  return readGauges(in, path);
}

}  // namespace runoff
