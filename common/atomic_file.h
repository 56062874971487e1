// Whole files only: a file that later runs or other programs trust (a cache, a discharge grid)
// is written under a temporary name in its own directory, "<path>.tmp-<pid>-<host>" (the
// process and the machine that write it), and renamed over its final name only once every byte
// is written and the stream closed without error. An interrupted or failed write leaves the
// previous file (or none) under the final name, never a torn one; the temporary is removed on
// every failure the program survives, and one that a process which ended abnormally left
// behind is recognised by its name (common/stale_temporaries.h).
#ifndef RUNOFF_COMMON_ATOMIC_FILE_H_
#define RUNOFF_COMMON_ATOMIC_FILE_H_

#include <fstream>
#include <ios>
#include <optional>
#include <string>

#include "common/status.h"

namespace runoff {

/// "<path>.tmp-<pid>-<host>": where a whole-file writer puts `path` until it is complete
/// ("<path>.tmp-<pid>" when the machine has no name). Writers that cannot use a stream (a
/// library that opens the file itself) use the same name.
std::string temporaryPathFor(const std::string& path);

/// The process that named a temporary of `finalName` (a file name without its folder) with
/// temporaryPathFor: its id and its machine's name (empty for "<name>.tmp-<pid>"). nullopt
/// when `fileName` is not such a temporary.
struct TemporaryWriter {
  long pid = 0;
  std::string host;
};
std::optional<TemporaryWriter> temporaryWriter(const std::string& fileName,
                                               const std::string& finalName);

/// This machine's name as temporary names carry it: letters, digits, '.', '_' and '-' only;
/// empty when the machine has no name.
std::string machineName();

class AtomicFile {
 public:
  /// Creates the temporary file; check isOpen() before writing. A failure names the file as
  /// "<label> <path>", or "<path>" when `label` is empty ("State file" gives "State file
  /// x.state cannot be written.").
  explicit AtomicFile(std::string path, std::ios::openmode mode = std::ios::out,
                      std::string label = "");
  /// Removes the temporary unless it was published.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool isOpen() const { return out_.is_open() && out_.good(); }
  std::ostream& stream() { return out_; }
  const std::string& path() const { return path_; }
  const std::string& temporaryPath() const { return temporary_; }

  /// Success while the temporary is open and every write so far has succeeded; else the
  /// failure "<path> cannot be written.".
  Status ready() const { return isOpen() ? Status() : failure(); }
  /// Flushes and closes the temporary; the failure (and the temporary removed) when any write
  /// failed. The final name is not touched yet.
  Status finish();
  /// Renames a finished temporary over the final name; the failure (and the temporary
  /// removed) when the file was not finished whole or the rename failed.
  Status publish();
  /// finish() then publish().
  Status commit() {
    if (Status finished = finish(); !finished.ok()) return finished;
    return publish();
  }

 private:
  void discard();
  Status failure() const;

  std::string path_;
  std::string label_;
  std::string temporary_;
  std::ofstream out_;
  bool finished_ = false;
  bool done_ = false;  // published or discarded
};

}  // namespace runoff

#endif  // RUNOFF_COMMON_ATOMIC_FILE_H_
