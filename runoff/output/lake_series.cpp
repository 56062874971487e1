#include "runoff/output/lake_series.h"

#include <chrono>

#include "runoff/output/gauge_series.h"

namespace runoff {

LakeSeriesSink::LakeSeriesSink(const std::string& path, CivilTime start,
                               std::vector<std::string> names,
                               const std::vector<RoutedLake>& lakes)
    : out_(path, std::ios::binary), start_(start), names_(std::move(names)), lakes_(lakes) {
  for (std::string& name : names_) name = csvField(name);
}

Result<std::unique_ptr<LakeSeriesSink>> LakeSeriesSink::create(
    const std::string& path, CivilTime start, std::vector<std::string> names,
    const std::vector<RoutedLake>& lakes) {
  std::unique_ptr<LakeSeriesSink> sink(new LakeSeriesSink(path, start, std::move(names), lakes));
  if (Status ready = sink->out_.ready(); !ready.ok()) return ready;
  sink->out_.stream() << "time,lake,inflow,outflow,level\n";
  return sink;
}

Status LakeSeriesSink::take(const WindowGrids& grids, std::int32_t firstDay) {
  const std::int64_t firstHour = (static_cast<std::int64_t>(firstDay) - 1) * 24;
  std::ostream& out = out_.stream();
  for (std::int32_t h = 0; h < grids.days() * 24; ++h) {
    const std::string stamp = isoTime(start_ + std::chrono::hours(firstHour + h));
    for (std::size_t k = 0; k < lakes_.size(); ++k) {
      const LakeHour& hour = lakes_[k].hours[static_cast<std::size_t>(h)];
      out << stamp << ',' << names_[k] << ',' << shortestDecimal(hour.inflow) << ','
          << shortestDecimal(hour.outflow) << ',' << shortestDecimal(hour.level) << '\n';
    }
  }
  return out_.ready();
}

}  // namespace runoff
