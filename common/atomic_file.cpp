#include "common/atomic_file.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <utility>

namespace runoff {

std::string machineName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  std::string host(name);
  for (char& c : host) {
    const bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' ||
                       c == '-';
    if (!plain) c = '_';
  }
  return host;
}

std::optional<TemporaryWriter> temporaryWriter(const std::string& fileName,
                                               const std::string& finalName) {
  const std::string prefix = finalName + ".tmp-";
  if (fileName.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  std::size_t at = prefix.size();
  const std::size_t digits = fileName.find_first_not_of("0123456789", at);
  const std::size_t end = digits == std::string::npos ? fileName.size() : digits;
  // A process id: 1 to 9 digits, no leading zero.
  if (end == at || end - at > 9 || fileName[at] == '0') return std::nullopt;
  TemporaryWriter writer;
  writer.pid = std::stol(fileName.substr(at, end - at));
  if (end < fileName.size()) {
    if (fileName[end] != '-' || end + 1 == fileName.size()) return std::nullopt;
    writer.host = fileName.substr(end + 1);
  }
  return writer;
}

std::string temporaryPathFor(const std::string& path) {
  std::string name = path + ".tmp-" + std::to_string(static_cast<long>(getpid()));
  const std::string host = machineName();
  return host.empty() ? name : name + "-" + host;
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
