#include "common/atomic_file.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

namespace runoff {

std::string temporaryPathFor(const std::string& path) {
  return path + ".tmp-" + std::to_string(static_cast<long>(getpid()));
}

AtomicFile::AtomicFile(std::string path, std::ios::openmode mode)
    : path_(std::move(path)), temporary_(temporaryPathFor(path_)) {
  out_.open(temporary_, mode | std::ios::out | std::ios::trunc);
  if (!out_.is_open()) done_ = true;  // nothing was created
}

AtomicFile::~AtomicFile() {
  if (!done_) discard();
}

bool AtomicFile::finish() {
  if (done_) return false;
  out_.flush();
  out_.close();
  if (out_.fail()) {
    discard();
    return false;
  }
  finished_ = true;
  return true;
}

bool AtomicFile::publish() {
  if (done_ || !finished_) return false;
  if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    discard();
    return false;
  }
  done_ = true;
  return true;
}

void AtomicFile::discard() {
  if (out_.is_open()) out_.close();
  std::remove(temporary_.c_str());
  done_ = true;
}

}  // namespace runoff
