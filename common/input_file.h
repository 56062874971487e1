// Opening a file that a program reads. A directory standing where a file belongs opens as a
// stream too, but its first read fails with an error that the stream library may throw rather
// than report; such a path is refused here, before anything is read, so that every reader can
// say what it found instead of failing part way with the library's own text.
#ifndef RUNOFF_COMMON_INPUT_FILE_H_
#define RUNOFF_COMMON_INPUT_FILE_H_

#include <fstream>
#include <ios>
#include <string>

#include "common/status.h"

namespace runoff {

enum class InputFault {
  kNone,        // opened
  kCannotOpen,  // missing, or not readable
  kDirectory,   // a directory stands in the file's place
};

/// Opens `path` for reading in `mode`; `in` is left closed unless kNone is returned.
InputFault openInputFile(std::ifstream& in, const std::string& path,
                         std::ios::openmode mode = std::ios::in);

/// The line for a failed open, naming the path: "<path> cannot be opened." or
/// "<path> is a directory, not a file.".
Status inputFailure(const std::string& path, InputFault fault);

/// What follows the path in that line, without the full stop.
const char* describe(InputFault fault);

/// True when a directory stands at `path` (a file that is written there cannot take its place).
bool isDirectoryAt(const std::string& path);

}  // namespace runoff

#endif  // RUNOFF_COMMON_INPUT_FILE_H_
