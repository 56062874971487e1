#include "runoff/bmi/working_directory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace runoff {

WorkingDirectory::WorkingDirectory(const std::string& dir) {
  // A descriptor rather than a path: the caller's directory may have been renamed meanwhile.
  previous_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (previous_ < 0) {
    status_ = Status::ioError(std::string("The working directory cannot be noted: ") +
                              std::strerror(errno) + ".");
    return;
  }
  if (::chdir(dir.c_str()) != 0) {
    status_ = Status::cannotOpen("The basin folder " + dir +
                                 " cannot be entered: " + std::strerror(errno) + ".");
    ::close(previous_);
    previous_ = -1;
  }
}

WorkingDirectory::~WorkingDirectory() {
  if (previous_ < 0) return;
  // Going back can only fail if the caller's directory was removed meanwhile; there is then
  // no better place to stay.
  [[maybe_unused]] const int back = ::fchdir(previous_);
  ::close(previous_);
}

}  // namespace runoff
