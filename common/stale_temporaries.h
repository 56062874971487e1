// What a run that ended abnormally (a crash, a kill) leaves behind: the temporaries of the files
// it was writing (common/atomic_file.h), which carry the process and the machine that made
// them. The next run removes those whose process no longer exists on this machine; a temporary
// of a process that still runs, or of another machine, whose processes cannot be seen from here
// (a shared file system), is never touched.
#ifndef RUNOFF_COMMON_STALE_TEMPORARIES_H_
#define RUNOFF_COMMON_STALE_TEMPORARIES_H_

#include <string>
#include <vector>

namespace runoff {

/// True when the process `pid` of this machine no longer exists (one that exists but belongs
/// to another user counts as existing).
bool processGone(long pid);

/// Removes the temporaries of the files `paths` (each "folder/name") that a process of this
/// machine which no longer exists left in their folders; a temporary without a machine name
/// (written before temporaries carried one) counts as this machine's. Returns the paths
/// removed, sorted; one that cannot be removed is left and not returned.
std::vector<std::string> removeStaleTemporaries(const std::vector<std::string>& paths);

}  // namespace runoff

#endif  // RUNOFF_COMMON_STALE_TEMPORARIES_H_
