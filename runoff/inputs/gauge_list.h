// The gauges whose discharge series an analyst wants: a CSV file of name, longitude and
// latitude (degrees), one gauge a line. A first line whose fields are not numbers is a header
// naming the columns (name, lon or longitude, lat or latitude, in any order; other columns are
// ignored); without one the columns are name, lon, lat. Fields may be quoted as in RFC 4180
// ("Jellico, TN"). Blank lines are skipped; a byte order mark and line ends of either kind
// are accepted. Names must be unique and not empty.
#ifndef RUNOFF_INPUTS_GAUGE_LIST_H_
#define RUNOFF_INPUTS_GAUGE_LIST_H_

#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"

namespace runoff {

struct Gauge {
  std::string name;
  double lon = 0;  // degrees east
  double lat = 0;  // degrees north
};

/// The gauges of the CSV text `in`, read from the file `path` (named in messages); refused
/// with the line at fault, or when the file lists no gauge.
Result<std::vector<Gauge>> readGauges(std::istream& in, const std::string& path);

/// Opens `path` and reads it as above; "<path> cannot be opened." or "<path> is a directory,
/// not a file." when it cannot.
Result<std::vector<Gauge>> readGauges(const std::string& path);

/// Line `number` (from 1) of a CSV file made ready to split: a UTF-8 byte-order mark before
/// the first line and the carriage return of a CRLF ending taken away. False for a line
/// of blanks, which the CSV readers skip.
bool csvLineWithContent(std::string& line, int number);

/// The fields of one CSV line as RFC 4180 quotes them, each trimmed of blanks outside quotes;
/// nullopt when a quoted field is not closed on the line. The other CSV readers share it.
std::optional<std::vector<std::string>> splitCsvFields(const std::string& line);

}  // namespace runoff

#endif  // RUNOFF_INPUTS_GAUGE_LIST_H_
