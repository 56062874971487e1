#include "common/text_number.h"

#include <cerrno>
#include <charconv>
#include <streambuf>
#include <system_error>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace runoff {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the longest prefix that forms a decimal number; 0 when there is none. Sets
// `integral` when the number has neither a decimal point nor an exponent.
std::size_t scanDecimal(std::string_view s, bool& integral) {
  std::size_t i = 0;
  integral = true;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    integral = false;
    ++i;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    integral = false;
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    std::size_t expDigits = 0;
    while (j < s.size() && isDigit(s[j])) ++j, ++expDigits;
    if (expDigits == 0) return 0;  // "1e" is refused by stream extraction too
    i = j;
  }
  return i;
}

// Checks the token's form; on success `text` holds a NUL-terminated copy for strto*.
ParseStatus checkReal(std::string_view token, std::string& text) {
  bool integral = false;
  std::size_t n = scanDecimal(token, integral);
  if (n == 0 || n != token.size()) return ParseStatus::kNotNumber;
  text.assign(token);
  return ParseStatus::kOk;
}

}  // namespace

ParseStatus parseInt32(std::string_view token, std::int32_t& value) {
  bool integral = false;
  std::size_t n = scanDecimal(token, integral);
  if (n == 0 || n != token.size()) return ParseStatus::kNotNumber;
  if (!integral) return ParseStatus::kNotInteger;
  // The form is checked: an optional sign and digits. from_chars takes no '+'.
  const char* first = token.data() + (token[0] == '+' ? 1 : 0);
  long long v = 0;
  const auto [end, error] = std::from_chars(first, token.data() + token.size(), v);
  if (error == std::errc::result_out_of_range || v < std::numeric_limits<std::int32_t>::min() ||
      v > std::numeric_limits<std::int32_t>::max()) {
    return ParseStatus::kOutOfRange;
  }
  if (error != std::errc() || end != token.data() + token.size()) return ParseStatus::kNotNumber;
  value = static_cast<std::int32_t>(v);
  return ParseStatus::kOk;
}

ParseStatus parseFloat(std::string_view token, float& value) {
  std::string text;
  ParseStatus status = checkReal(token, text);
  if (status != ParseStatus::kOk) return status;
  float v = std::strtof(text.c_str(), nullptr);
  if (std::isinf(v)) return ParseStatus::kOutOfRange;
  value = v;
  return ParseStatus::kOk;
}

ParseStatus parseDouble(std::string_view token, double& value) {
  std::string text;
  ParseStatus status = checkReal(token, text);
  if (status != ParseStatus::kOk) return status;
  double v = std::strtod(text.c_str(), nullptr);
  if (std::isinf(v)) return ParseStatus::kOutOfRange;
  value = v;
  return ParseStatus::kOk;
}

std::optional<std::string> nextToken(std::istream& in) {
  // What `in >> token` does in the classic locale, taken from the stream buffer directly:
  // the cache files hold millions of short tokens, and the stream's per-token checks cost more
  // than the reading.
  if (!in.good()) {
    in.setstate(std::ios::failbit);
    return std::nullopt;
  }
  std::streambuf* buffer = in.rdbuf();
  auto isSpace = [](int c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  constexpr int kEnd = std::char_traits<char>::eof();
  // A file buffer throws when the system refuses a read (a directory, a failing disk); the
  // stream's own extraction turns that into badbit, and so does this one.
  try {
    int c = buffer->sgetc();
    while (c != kEnd && isSpace(c)) c = buffer->snextc();
    if (c == kEnd) {
      in.setstate(std::ios::eofbit | std::ios::failbit);
      return std::nullopt;
    }
    std::string token;
    while (c != kEnd && !isSpace(c)) {
      token += static_cast<char>(c);
      c = buffer->snextc();
    }
    if (c == kEnd) in.setstate(std::ios::eofbit);
    return token;
  } catch (const std::ios::failure&) {
    in.setstate(std::ios::badbit | std::ios::failbit);
    return std::nullopt;
  }
}

bool readInt32(std::istream& in, std::int32_t& value) {
  auto token = nextToken(in);
  return token && parseInt32(*token, value) == ParseStatus::kOk;
}

bool readDouble(std::istream& in, double& value) {
  auto token = nextToken(in);
  return token && parseDouble(*token, value) == ParseStatus::kOk;
}

const char* describe(ParseStatus status) {
  switch (status) {
    case ParseStatus::kOk:
      return "is valid";
    case ParseStatus::kNotNumber:
      return "is not a number";
    case ParseStatus::kNotInteger:
      return "is not a whole integer";
    case ParseStatus::kOutOfRange:
      return "is out of range";
  }
  return "is invalid";
}

void IntLineWriter::flush() {
  out_.write(block_, static_cast<std::streamsize>(used_));
  used_ = 0;
}

}  // namespace runoff
