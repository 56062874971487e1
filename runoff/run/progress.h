// The live progress line for people watching a long run: on standard error, and only when
// standard error is a terminal, one line redrawn in place with the share of cell-steps done,
// the simulated day, the time elapsed and an estimate of the time left; cleared at the end.
// Standard output never sees it, so the console log of a run stays the same bytes.
#ifndef RUNOFF_RUN_PROGRESS_H_
#define RUNOFF_RUN_PROGRESS_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace runoff {

/// "  37.2 %  day 12 of 365  elapsed 0:01:23  left 0:02:20": the line for `done` of `total`
/// cell-steps, while the days `firstDay` to `lastDay` of `days` are routed ("days 8-14 of 365"
/// for a window of several days), `elapsed` seconds into the routing.
std::string progressLine(std::int64_t done, std::int64_t total, std::int32_t firstDay,
                         std::int32_t lastDay, std::int32_t days, double elapsed);

class ProgressLine {
 public:
  /// Shows the line on file descriptor `fd` when it is a terminal (else does nothing at all),
  /// for a run of `totalSteps` cell-steps over `days` days.
  ProgressLine(int fd, std::int64_t totalSteps, std::int32_t days);
  /// Clears the line.
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  bool shown() const { return shown_; }
  /// The counter the routing adds its steps to.
  std::atomic<std::int64_t>* counter() { return shown_ ? &done_ : nullptr; }
  /// The days of the window now routed.
  void setWindow(std::int32_t firstDay, std::int32_t lastDay) {
    window_.store(static_cast<std::int64_t>(firstDay) << 32 | static_cast<std::uint32_t>(lastDay),
                  std::memory_order_relaxed);
  }

 private:
  void draw();
  void run();

  int fd_;
  bool shown_;
  std::int64_t total_;
  std::int32_t days_;
  std::atomic<std::int64_t> done_{0};
  std::atomic<std::int64_t> window_{std::int64_t{1} << 32 | 1};  // first day << 32 | last day
  std::chrono::steady_clock::time_point start_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace runoff

#endif  // RUNOFF_RUN_PROGRESS_H_
