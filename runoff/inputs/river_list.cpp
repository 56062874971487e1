#include "runoff/inputs/river_list.h"

#include <algorithm>
#include <limits>
#include <sstream>

#include "common/text_number.h"

namespace runoff {

std::int32_t countLines(std::istream& in) {
  std::int64_t lines = 0;
  std::string line;
  while (std::getline(in, line)) {
    ++lines;
    if (lines == std::numeric_limits<std::int32_t>::max()) break;
  }
  return static_cast<std::int32_t>(lines);
}

Result<std::vector<std::int32_t>> readRiverRecords(std::istream& in, std::int32_t riverCount) {
  std::vector<std::int32_t> riverNums;
  for (std::int32_t record = 1; record <= riverCount; ++record) {
    std::int32_t first = 0;
    for (int field = 0; field < 8; ++field) {
      auto token = nextToken(in);
      if (!token && in.bad()) {
        return Status::ioError("riverNumList.dat cannot be read to its end.");
      }
      if (!token) {
        if (field == 0) return riverNums;  // only blank lines remain
        std::ostringstream s;
        s << "riverNumList.dat: record " << record << " has " << field
          << " of its 8 numbers (six integers, then two reals).";
        return Status::invalid(s.str());
      }
      ParseStatus status;
      if (field < 6) {
        std::int32_t value = 0;
        status = parseInt32(*token, value);
        if (field == 0) first = value;
      } else {
        double value = 0;
        status = parseDouble(*token, value);
      }
      if (status != ParseStatus::kOk) {
        std::ostringstream s;
        s << "riverNumList.dat: number " << field + 1 << " of record " << record << " "
          << describe(status) << ": \"" << *token << "\".";
        return Status::invalid(s.str());
      }
    }
    riverNums.push_back(first);
  }
  return riverNums;
}

RiverSelection::RiverSelection(const std::vector<std::int32_t>& riverNums) {
  for (std::int32_t n : riverNums) {
    if (n >= 0) sorted_.push_back(n);
  }
  std::sort(sorted_.begin(), sorted_.end());
  sorted_.erase(std::unique(sorted_.begin(), sorted_.end()), sorted_.end());
}

bool RiverSelection::contains(std::int32_t riverNum) const {
  return riverNum >= 0 && std::binary_search(sorted_.begin(), sorted_.end(), riverNum);
}

}  // namespace runoff
