// The hourly record of the lakes as one long-form CSV table, as the gauge series:
//   time,lake,inflow,outflow,level
//   2000-07-01T00:00:00,Norris,12.5,3.25,0.3125
// one line per hour and lake, hours in order and the lakes of each hour in the order of the
// lake list. time is the beginning of the hour (ISO 8601, the clock of the run's start);
// inflow and outflow the lake's means over the hour in m3 s-1 (what reached its outlet cell
// and what it passed on), level its level above the outlet's crest at the hour's end in m;
// each value the shortest decimal that reads back as the same float32. Names that need it are
// quoted as in RFC 4180.
#ifndef RUNOFF_OUTPUT_LAKE_SERIES_H_
#define RUNOFF_OUTPUT_LAKE_SERIES_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/atomic_file.h"
#include "common/status.h"
#include "runoff/inputs/run_start.h"
#include "runoff/output/window_sink.h"
#include "runoff/routing/routed_lake.h"

namespace runoff {

/// The series written while routing: each window's hours appended as the window ends, from
/// the hourly records the lakes hold then (`lakes`, which must outlive the sink), the file
/// under a temporary name until published.
class LakeSeriesSink : public WindowSink {
 public:
  /// Creates the temporary of `path` and writes the header; hour 0 of the run begins at
  /// `start`; `names` are the lakes' in the order of `lakes`.
  static Result<std::unique_ptr<LakeSeriesSink>> create(const std::string& path, CivilTime start,
                                                        std::vector<std::string> names,
                                                        const std::vector<RoutedLake>& lakes);

  Status take(const WindowGrids& grids, std::int32_t firstDay) override;
  Status finish() override { return out_.finish(); }
  Status publish() override { return out_.publish(); }
  std::vector<std::string> paths() const override { return {out_.path()}; }

 private:
  LakeSeriesSink(const std::string& path, CivilTime start, std::vector<std::string> names,
                 const std::vector<RoutedLake>& lakes);

  AtomicFile out_;
  CivilTime start_;
  std::vector<std::string> names_;  // as CSV fields
  const std::vector<RoutedLake>& lakes_;
};

}  // namespace runoff

#endif  // RUNOFF_OUTPUT_LAKE_SERIES_H_
