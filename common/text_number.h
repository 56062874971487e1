// Whitespace-separated numbers in the text files of the model (parameter file, river list,
// rainfall, caches). A token is taken whole: "60.0" is not an integer, "12abc" is not a number.
// The accepted forms are those of formatted stream input: an optional sign, digits with an
// optional decimal point, an optional exponent; no hexadecimal, no "inf" or "nan".
#ifndef RUNOFF_COMMON_TEXT_NUMBER_H_
#define RUNOFF_COMMON_TEXT_NUMBER_H_

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace runoff {

enum class ParseStatus {
  kOk,
  kNotNumber,   // the token is not a decimal number at all
  kNotInteger,  // a decimal number, but an integer was required
  kOutOfRange,  // a number whose magnitude does not fit the field
};

/// Whole decimal integer with optional sign, within int32.
ParseStatus parseInt32(std::string_view token, std::int32_t& value);

/// Decimal real parsed straight into single precision (never through a double, which would
/// round some decimal strings differently). Overflow is out of range; underflow gives 0 or a
/// subnormal, as stream extraction does.
ParseStatus parseFloat(std::string_view token, float& value);

/// Decimal real in double precision; same rules as parseFloat.
ParseStatus parseDouble(std::string_view token, double& value);

/// Next whitespace-delimited token of `in`, or nullopt at the end of the input.
std::optional<std::string> nextToken(std::istream& in);

/// The next token of `in` as a whole int32 / double; false at the end of the input or when the
/// token is not one (the value is then unchanged). For files whose every value must be sound.
bool readInt32(std::istream& in, std::int32_t& value);
bool readDouble(std::istream& in, double& value);

/// Short English description of a non-ok status, for messages ("is not a number").
const char* describe(ParseStatus status);

/// Lines of whole numbers for the cache files, built in a block and written in one go: the
/// same text as `out << a << ' ' << b << '\n'`, without the stream's per-number cost.
class IntLineWriter {
 public:
  explicit IntLineWriter(std::ostream& out) : out_(out) {}
  ~IntLineWriter() { flush(); }
  IntLineWriter(const IntLineWriter&) = delete;
  IntLineWriter& operator=(const IntLineWriter&) = delete;

  /// One line: the values separated by single blanks, then a line end.
  void line(std::initializer_list<std::int64_t> values) {
    if (used_ + 24 * values.size() > sizeof block_) flush();
    for (std::int64_t v : values) {
      used_ = static_cast<std::size_t>(
          std::to_chars(block_ + used_, block_ + sizeof block_, v).ptr - block_);
      block_[used_++] = ' ';
    }
    block_[used_ - 1] = '\n';
  }
  /// Hands what is built to the stream (whose state tells whether the writes succeeded).
  void flush();

 private:
  std::ostream& out_;
  std::size_t used_ = 0;
  char block_[1 << 16];
};

}  // namespace runoff

#endif  // RUNOFF_COMMON_TEXT_NUMBER_H_
