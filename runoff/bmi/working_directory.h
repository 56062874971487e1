// The simulator finds every file at a fixed path relative to the working directory. A model
// driven from another program runs in its basin's folder for the length of each call and
// hands the caller's working directory back afterwards, so that several models, each in its
// own folder, can be stepped side by side in one process (one call at a time: the working
// directory belongs to the whole process).
#ifndef RUNOFF_BMI_WORKING_DIRECTORY_H_
#define RUNOFF_BMI_WORKING_DIRECTORY_H_

#include <string>

#include "common/status.h"

namespace runoff {

class WorkingDirectory {
 public:
  /// Enters `dir`; status() tells whether that worked (when not, nothing changed).
  explicit WorkingDirectory(const std::string& dir);
  /// Returns to the directory the object was made in.
  ~WorkingDirectory();
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  const Status& status() const { return status_; }

 private:
  int previous_ = -1;  // a descriptor of the caller's directory
  Status status_;
};

}  // namespace runoff

#endif  // RUNOFF_BMI_WORKING_DIRECTORY_H_
