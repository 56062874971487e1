#include "runoff/output/gauge_series.h"

#include <chrono>
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

GaugeSeriesSink::GaugeSeriesSink(const std::string& path, CivilTime start,
                                 std::vector<SnappedGauge> gauges)
    : out_(path, std::ios::binary), start_(start), gauges_(std::move(gauges)) {
  for (std::size_t g = 0; g < gauges_.size(); ++g) {
    positions_.push_back(gauges_[g].position);
    gauges_[g].position = g;
  }
  hour_.resize(gauges_.size());
}

Result<std::unique_ptr<GaugeSeriesSink>> GaugeSeriesSink::create(const std::string& path,
                                                                 CivilTime start,
                                                                 std::vector<SnappedGauge> gauges) {
  std::unique_ptr<GaugeSeriesSink> sink(new GaugeSeriesSink(path, start, std::move(gauges)));
  if (Status ready = sink->out_.ready(); !ready.ok()) return ready;
  writeGaugeSeriesHeader(sink->out_.stream());
  return sink;
}

Status GaugeSeriesSink::take(const WindowGrids& grids, std::int32_t firstDay) {
  const std::int64_t firstHour = (static_cast<std::int64_t>(firstDay) - 1) * 24;
  for (std::int32_t h = 0; h < grids.days() * 24; ++h) {
    for (std::size_t g = 0; g < positions_.size(); ++g) hour_[g] = grids.hourly(h, positions_[g]);
    writeGaugeSeriesHour(out_.stream(), start_ + std::chrono::hours(firstHour + h), gauges_, hour_);
  }
  return out_.ready();
}

}  // namespace runoff
