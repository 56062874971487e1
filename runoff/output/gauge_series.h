// The hourly discharge at the gauges as one long-form CSV table, the shape pandas, R and
// spreadsheets pivot or plot directly:
//   time,gauge,discharge
//   2000-07-01T00:00:00,Jellico,0.0123
// one line per hour and gauge, hours in order and the gauges of each hour in the order of the
// gauge list. time is the beginning of the hour (ISO 8601, the clock of the run's start), the
// value the mean discharge over that hour in m3 s-1, written as the shortest decimal that
// reads back as the same float32. Names that need it are quoted as in RFC 4180.
#ifndef RUNOFF_OUTPUT_GAUGE_SERIES_H_
#define RUNOFF_OUTPUT_GAUGE_SERIES_H_

#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "common/atomic_file.h"
#include "common/status.h"
#include "runoff/inputs/gauge_snap.h"
#include "runoff/inputs/run_start.h"
#include "runoff/output/window_sink.h"

namespace runoff {

inline constexpr const char* kGaugeSeriesName = "gauges.csv";

/// The header line.
void writeGaugeSeriesHeader(std::ostream& out);

/// The lines of one hour beginning at `time`, from its whole discharge grid `hour`.
void writeGaugeSeriesHour(std::ostream& out, CivilTime time,
                          const std::vector<SnappedGauge>& gauges, std::span<const float> hour);

/// The series written while routing: each window's hours appended as the window ends, the
/// file under a temporary name until published. Only the gauges' values are kept.
class GaugeSeriesSink : public WindowSink {
 public:
  /// Creates the temporary of `path` and writes the header; hour 0 of the run begins at
  /// `start`.
  static Result<std::unique_ptr<GaugeSeriesSink>> create(const std::string& path,
                                                          CivilTime start,
                                                          std::vector<SnappedGauge> gauges);

  Status take(const WindowGrids& grids, std::int32_t firstDay) override;
  Status finish() override { return out_.finish(); }
  Status publish() override { return out_.publish(); }
  std::vector<std::string> paths() const override { return {out_.path()}; }

 private:
  GaugeSeriesSink(const std::string& path, CivilTime start, std::vector<SnappedGauge> gauges);

  AtomicFile out_;
  CivilTime start_;
  std::vector<SnappedGauge> gauges_;  // each at its own place in `hour_`
  std::vector<std::size_t> positions_;  // of the gauges in the window grids
  std::vector<float> hour_;
};

/// The shortest decimal that reads back as exactly `value` ("0.1", "1e+06", "-9999").
std::string shortestDecimal(float value);

/// `text` as a CSV field: quoted as in RFC 4180 when it holds a comma, a quote, a line end or
/// blanks at either end, else as it is.
std::string csvField(const std::string& text);

}  // namespace runoff

#endif  // RUNOFF_OUTPUT_GAUGE_SERIES_H_
