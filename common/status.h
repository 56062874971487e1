// Failures as values. Every reader and writer that can fail returns a Status, or a Result<T>
// when it also produces a value; a failure carries the one console line that reports it. Only
// the programs' mains print that line and choose the exit status, so the same code serves the
// tests, the benchmarks and every program without touching the console.
#ifndef RUNOFF_COMMON_STATUS_H_
#define RUNOFF_COMMON_STATUS_H_

#include <cassert>
#include <optional>
#include <string>
#include <utility>

namespace runoff {

class [[nodiscard]] Status {
 public:
  enum class Code {
    kOk,
    kCannotOpen,  // an input could not be opened at all
    kInvalid,     // an input was read but cannot be used (damaged, short, out of range)
    kIoError,     // a read or a write failed part way, or an output cannot be made
  };

  /// Success.
  Status() = default;

  static Status cannotOpen(std::string message) { return {Code::kCannotOpen, std::move(message)}; }
  static Status invalid(std::string message) { return {Code::kInvalid, std::move(message)}; }
  static Status ioError(std::string message) { return {Code::kIoError, std::move(message)}; }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  /// The one line to print for a failure (without its line end); empty for success.
  const std::string& message() const { return message_; }

 private:
  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}

  Code code_ = Code::kOk;
  std::string message_;
};

/// A value, or the failure that prevented it.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit, as a return value
  Result(Status failure) : status_(std::move(failure)) {  // NOLINT
    assert(!status_.ok());
  }

  bool ok() const { return status_.ok(); }
  const Status& status() const { return status_; }
  const std::string& message() const { return status_.message(); }

  /// The value; only when ok().
  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }

 private:
  Status status_;
  std::optional<T> value_;
};

}  // namespace runoff

#endif  // RUNOFF_COMMON_STATUS_H_
