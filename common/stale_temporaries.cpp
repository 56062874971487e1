#include "common/stale_temporaries.h"

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <system_error>

#include "common/atomic_file.h"

namespace runoff {

bool processGone(long pid) {
  if (pid <= 0) return false;
  return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

std::vector<std::string> removeStaleTemporaries(const std::vector<std::string>& paths) {
  namespace fs = std::filesystem;
  // The final names wanted in each folder, so that each folder is listed once.
  std::map<std::string, std::vector<std::string>> namesIn;
  for (const std::string& path : paths) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    namesIn[folder].push_back(slash == std::string::npos ? path : path.substr(slash + 1));
  }
  const std::string here = machineName();
  std::vector<std::string> removed;
  for (const auto& [folder, names] : namesIn) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      const std::string entry = it->path().filename().string();
      for (const std::string& name : names) {
        const std::optional<TemporaryWriter> writer = temporaryWriter(entry, name);
        if (!writer || !(writer->host.empty() || writer->host == here)) continue;
        std::error_code kind;
        if (!it->is_regular_file(kind) || !processGone(writer->pid)) continue;
        std::error_code removing;
        if (fs::remove(it->path(), removing) && !removing) {
          removed.push_back(folder + "/" + entry);
        }
      }
    }
  }
  std::sort(removed.begin(), removed.end());
  return removed;
}

}  // namespace runoff
