#include "runoff/output/gauge_series.h"

#include <charconv>

namespace runoff {

std::string csvField(const std::string& text) {
  if (text.empty() || (text.find_first_of(",\"\r\n") == std::string::npos && text.front() != ' ' &&
                       text.back() != ' ')) {
    return text;
  }
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string shortestDecimal(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

void writeGaugeSeriesHeader(std::ostream& out) { out << "time,gauge,discharge\n"; }

void writeGaugeSeriesHour(std::ostream& out, CivilTime time,
                          const std::vector<SnappedGauge>& gauges, std::span<const float> hour) {
  const std::string stamp = isoTime(time);
  for (const SnappedGauge& gauge : gauges) {
    out << stamp << ',' << csvField(gauge.name) << ',' << shortestDecimal(hour[gauge.position])
        << '\n';
  }
}

}  // namespace runoff
