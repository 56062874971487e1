#include "runoff/inputs/lake_list.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <fstream>
#include <map>
#include <optional>

#include "common/fnv1a.h"
#include "common/input_file.h"
#include "common/text_number.h"
#include "runoff/inputs/gauge_list.h"

namespace runoff {
namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

enum Column { kName, kLon, kLat, kArea, kRule, kA, kB, kStart, kColumnCount };
constexpr std::array<const char*, kColumnCount> kColumnNames = {"name", "lon", "lat", "area",
                                                                "rule", "a",   "b",   "start"};
using Columns = std::array<std::size_t, kColumnCount>;

Result<Columns> headerColumns(const std::vector<std::string>& header, const std::string& where) {
  Columns columns{};
  for (int k = 0; k < kColumnCount; ++k) {
    const std::string name = kColumnNames[k];
    const auto at = std::find_if(header.begin(), header.end(), [&](const std::string& field) {
      const std::string f = lower(field);
      return f == name || (k == kLon && f == "longitude") || (k == kLat && f == "latitude");
    });
    if (at == header.end()) {
      return Status::invalid(where + ": the header names no column \"" + name +
                             "\" (expected name,lon,lat,area,rule,a,b,start).");
    }
    columns[k] = static_cast<std::size_t>(at - header.begin());
  }
  return columns;
}

// What `a` means under each rule, for the message that refuses it.
const char* meaningOfA(LakeRule rule) {
  switch (rule) {
    case LakeRule::kLinear:
      return "its time constant, hours";
    case LakeRule::kWeir:
      return "its discharge at a level of 1 m, m3/s";
    case LakeRule::kReleases:
      return "its capacity, 10^6 m3";
  }
  return "";
}

}  // namespace

Result<std::vector<Lake>> readLakes(std::istream& in, const std::string& path) {
  std::vector<Lake> lakes;
  std::map<std::string, int> lineOfName;
  std::optional<Columns> columns;
  std::size_t width = 0;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string where = path + " line " + std::to_string(number);
    if (!csvLineWithContent(line, number)) continue;
    const auto fields = splitCsvFields(line);
    if (!fields) return Status::invalid(where + ": a quoted field is not closed.");
    if (!columns) {
      Result<Columns> header = headerColumns(*fields, where);
      if (!header.ok()) return header.status();
      columns = *header;
      width = fields->size();
      continue;
    }
    if (fields->size() != width) {
      return Status::invalid(where + " has " + std::to_string(fields->size()) + " fields, not " +
                             std::to_string(width) + ".");
    }
    auto field = [&](Column k) -> const std::string& { return fields->at((*columns)[k]); };
    Lake lake;
    lake.line = number;
    lake.name = field(kName);
    if (lake.name.empty()) return Status::invalid(where + ": the lake has no name.");
    const std::string ofLake = " of lake \"" + lake.name + "\"";
    auto refused = [&](Column k, const std::string& why) {
      return Status::invalid(where + ": " + kColumnNames[k] + " \"" + field(k) + "\"" + ofLake +
                             " " + why);
    };
    // A number of the field; an empty field gives `empty` where one is allowed.
    auto readNumber = [&](Column k, double& value, std::optional<double> empty = {}) -> Status {
      if (field(k).empty() && empty) {
        value = *empty;
        return {};
      }
      if (parseDouble(field(k), value) != ParseStatus::kOk) return refused(k, "is not a number.");
      return {};
    };
    const std::optional<LakeRule> rule = lakeRuleNamed(lower(field(kRule)));
    if (!rule) return refused(kRule, "is not linear, weir or releases.");
    lake.rule = *rule;
    for (const auto& [k, value] : {std::pair{kLon, &lake.lon}, std::pair{kLat, &lake.lat},
                                   std::pair{kArea, &lake.areaKm2}, std::pair{kA, &lake.a}}) {
      if (Status read = readNumber(k, *value); !read.ok()) return read;
    }
    if (!(lake.areaKm2 > 0)) return refused(kArea, "must be above 0 (its surface, km2).");
    if (!(lake.a > 0)) {
      return refused(kA, std::string("must be above 0 (") + meaningOfA(lake.rule) + ").");
    }
    if (lake.rule == LakeRule::kWeir) {
      if (Status read = readNumber(kB, lake.b); !read.ok()) return read;
      if (!(lake.b > 0)) {
        return refused(kB,
                       "must be above 0 (the weir's exponent of the level, 1.5 for a "
                       "broad crest).");
      }
    }
    if (Status read = readNumber(kStart, lake.startLevel, 0.0); !read.ok()) return read;
    if (!(lake.startLevel >= 0)) {
      return refused(kStart, "must be 0 or more (the level above the crest at the start, m).");
    }
    if (const auto [at, added] = lineOfName.emplace(lake.name, number); !added) {
      return Status::invalid(where + ": lake \"" + lake.name + "\" is already listed on line " +
                             std::to_string(at->second) + ".");
    }
    lakes.push_back(std::move(lake));
  }
  if (in.bad()) return Status::ioError(path + " cannot be read to its end.");
  if (lakes.empty()) return Status::invalid(path + " lists no lake.");
  return lakes;
}

Result<std::vector<Lake>> readLakes(const std::string& path) {
  std::ifstream in;
  if (const InputFault fault = openInputFile(in, path); fault != InputFault::kNone) {
    return inputFailure(path, fault);
  }
  return readLakes(in, path);
}

std::uint64_t lakeListChecksum(const std::vector<Lake>& lakes) {
  std::uint64_t hash = kFnvBasis;
  auto add = [&](const void* bytes, std::size_t size) {
    hash = fnv1a(static_cast<const unsigned char*>(bytes), size, hash);
  };
  // The numbers' bytes in little-endian order, whatever the machine's.
  auto addLittleEndian = [&](std::uint64_t bits, std::size_t size) {
    unsigned char bytes[8];
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
    add(bytes, size);
  };
  for (const Lake& lake : lakes) {
    add(lake.name.data(), lake.name.size());
    addLittleEndian(0, 1);
    for (double value : {lake.lon, lake.lat, lake.areaKm2}) {
      addLittleEndian(std::bit_cast<std::uint64_t>(value), 8);
    }
    addLittleEndian(static_cast<std::uint32_t>(lake.rule), 4);
    for (double value : {lake.a, lake.b}) addLittleEndian(std::bit_cast<std::uint64_t>(value), 8);
  }
  return hash;
}

}  // namespace runoff
