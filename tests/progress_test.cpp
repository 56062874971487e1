// The live progress line: its wording, and that it appears on a terminal's standard error
// only (a pseudo-terminal here) while standard output stays the same bytes as in any run.
#include "runoff/run/progress.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "support/basin_builder.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

struct LineCase {
  std::int64_t done, total;
  std::int32_t firstDay, lastDay, days;
  double elapsed;
  std::string line;
};

TEST(ProgressLine, ReadsAsShareDayElapsedAndTimeLeft) {
  const LineCase cases[] = {
      {0, 1000, 1, 1, 365, 0.2, "    0.0 %  day 1 of 365  elapsed 0:00:00  left -:--:--"},
      // 83 s for 37.2 %: the remaining 62.8 % take 83 x 62.8 / 37.2 = 140.1 s.
      {372, 1000, 12, 12, 365, 83, "   37.2 %  day 12 of 365  elapsed 0:01:23  left 0:02:20"},
      {372, 1000, 8, 14, 365, 83, "   37.2 %  days 8-14 of 365  elapsed 0:01:23  left 0:02:20"},
      {1000, 1000, 365, 365, 365, 3725.4,
       "  100.0 %  day 365 of 365  elapsed 1:02:05  left 0:00:00"},
      {0, 0, 1, 1, 0, 0, "  100.0 %  day 1 of 0  elapsed 0:00:00  left 0:00:00"},
  };
  for (const LineCase& c : cases) {
    EXPECT_EQ(progressLine(c.done, c.total, c.firstDay, c.lastDay, c.days, c.elapsed), c.line)
        << c.line;
  }
}

// Runs runoff-sim in `dir` with standard error on a pseudo-terminal and standard output into
// `stdoutFile`; returns what the terminal received, and the exit status.
std::string runOnTerminal(const fs::path& dir, const fs::path& stdoutFile, int& status) {
  int master = -1;
  const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
  if (child == 0) {
    const int out = ::open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || ::chdir(dir.c_str()) != 0 || ::dup2(out, STDOUT_FILENO) < 0) _exit(126);
    ::execl(RUNOFF_SIM_EXE, RUNOFF_SIM_EXE, static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string terminal;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n > 0) {
      terminal.append(buffer, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO once the child has closed the terminal
    }
  }
  ::close(master);
  int raw = 0;
  ::waitpid(child, &raw, 0);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return terminal;
}

TEST(ProgressLine, ShownOnATerminalOnlyAndNeverOnStandardOutput) {
  TempDir onTerminal, plain;
  mixedBasin(3).write(onTerminal.path());
  mixedBasin(3).write(plain.path());
  int status = -1;
  const std::string terminal =
      runOnTerminal(onTerminal.path(), onTerminal / "stdout.txt", status);
  ASSERT_EQ(status, 0) << terminal;
  // Drawn in place from the start, finished at 100 % and wiped at the end.
  EXPECT_EQ(terminal.rfind("\r    0.0 %  day 1 of 3  elapsed ", 0), 0u) << terminal;
  EXPECT_TRUE(contains(terminal, "\r  100.0 %  days 1-3 of 3  elapsed ")) << terminal;
  const std::string wipe = "\r\033[K";
  ASSERT_GE(terminal.size(), wipe.size());
  EXPECT_EQ(terminal.substr(terminal.size() - wipe.size()), wipe);
  EXPECT_FALSE(contains(terminal, "\n")) << terminal;

  // Standard error not a terminal: nothing extra anywhere, and the same standard output.
  RunResult r = runProgram(RUNOFF_SIM_EXE, plain.path());
  ASSERT_EQ(r.exitStatus, 0);
  EXPECT_EQ(readFile(onTerminal / "stdout.txt"), r.out);
  EXPECT_FALSE(contains(r.out, "%"));
}

}  // namespace
}  // namespace runoff::testing
