#include "common/atomic_file.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

namespace runoff {

std::string temporaryPathFor(const std::string& path) {
  return path + ".tmp-" + std::to_string(static_cast<long>(getpid()));
}

AtomicFile::AtomicFile(std::string path, std::ios::openmode mode, std::string label)
    : path_(std::move(path)), label_(std::move(label)), temporary_(temporaryPathFor(path_)) {
  out_.open(temporary_, mode | std::ios::out | std::ios::trunc);
  if (!out_.is_open()) done_ = true;  // nothing was created
}

AtomicFile::~AtomicFile() {
  if (!done_) discard();
}

Status AtomicFile::failure() const {
  return Status::ioError((label_.empty() ? path_ : label_ + " " + path_) + " cannot be written.");
}

Status AtomicFile::finish() {
  if (done_) return failure();
  out_.flush();
  out_.close();
  if (out_.fail()) {
    discard();
    return failure();
  }
  finished_ = true;
  return {};
}

Status AtomicFile::publish() {
  if (done_ || !finished_) return failure();
  if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    discard();
    return failure();
  }
  done_ = true;
  return {};
}

void AtomicFile::discard() {
  if (out_.is_open()) out_.close();
  std::remove(temporary_.c_str());
  done_ = true;
}

}  // namespace runoff
