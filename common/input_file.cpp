#include "common/input_file.h"

#include <filesystem>
#include <system_error>

namespace runoff {

InputFault openInputFile(std::ifstream& in, const std::string& path, std::ios::openmode mode) {
  in.open(path, mode | std::ios::in);
  if (!in.is_open()) return isDirectoryAt(path) ? InputFault::kDirectory : InputFault::kCannotOpen;
  if (isDirectoryAt(path)) {
    in.close();
    return InputFault::kDirectory;
  }
  return InputFault::kNone;
}

const char* describe(InputFault fault) {
  switch (fault) {
    case InputFault::kNone:
      return "is open";
    case InputFault::kCannotOpen:
      return "cannot be opened";
    case InputFault::kDirectory:
      return "is a directory, not a file";
  }
  return "cannot be opened";
}

Status inputFailure(const std::string& path, InputFault fault) {
  return Status::cannotOpen(path + " " + describe(fault) + ".");
}

bool isDirectoryAt(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

}  // namespace runoff
