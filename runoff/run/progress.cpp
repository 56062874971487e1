#include "runoff/run/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <system_error>

namespace runoff {
namespace {

std::string clock(double seconds) {
  const long s = static_cast<long>(std::max(0.0, seconds) + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return text;
}

void writeAll(int fd, const std::string& text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
    if (n <= 0) return;  // a terminal that went away: the run goes on without its line
    at += static_cast<std::size_t>(n);
  }
}

}  // namespace

std::string progressLine(std::int64_t done, std::int64_t total, std::int32_t firstDay,
                         std::int32_t lastDay, std::int32_t days, double elapsed) {
  const double share = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
  char percent[16];
  std::snprintf(percent, sizeof percent, "%5.1f %%", 100.0 * share);
  std::string line = "  ";
  line += percent;
  if (lastDay > firstDay) {
    line += "  days " + std::to_string(firstDay) + "-" + std::to_string(lastDay);
  } else {
    line += "  day " + std::to_string(firstDay);
  }
  line += " of " + std::to_string(days) + "  elapsed " + clock(elapsed) + "  left ";
  line += share > 0 ? clock(elapsed * (1.0 - share) / share) : std::string("-:--:--");
  return line;
}

ProgressLine::ProgressLine(int fd, std::int64_t totalSteps, std::int32_t days)
    : fd_(fd),
      shown_(::isatty(fd) == 1),
      total_(totalSteps),
      days_(days),
      start_(std::chrono::steady_clock::now()) {
  if (!shown_) return;
  draw();
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    // No thread to redraw it: the run goes on without the line.
    writeAll(fd_, "\r\033[K");
    shown_ = false;
  }
}

ProgressLine::~ProgressLine() {
  if (!shown_) return;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
  draw();  // the final figures, then the line is wiped
  writeAll(fd_, "\r\033[K");
}

void ProgressLine::run() {
  std::unique_lock lock(mutex_);
  while (!wake_.wait_for(lock, std::chrono::milliseconds(500), [this] { return stop_; })) {
    draw();
  }
}

void ProgressLine::draw() {
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const std::int64_t done = std::min(done_.load(std::memory_order_relaxed), total_);
  std::string text = "\r";
  const std::int64_t window = window_.load(std::memory_order_relaxed);
  text += progressLine(done, total_, static_cast<std::int32_t>(window >> 32),
                       static_cast<std::int32_t>(window & 0xffffffff), days_, elapsed);
  text += "\033[K";
  writeAll(fd_, text);
}

}  // namespace runoff
