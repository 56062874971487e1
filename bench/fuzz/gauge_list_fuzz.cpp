// The gauge list (CSV). Besides what an accepted list promises, the same text with CRLF line
// ends, or behind a byte order mark, must read the same.
#include <cmath>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "runoff/inputs/gauge_list.h"

namespace {

// The gauges as text, or the refusal.
std::string outcome(const std::string& text) {
  std::istringstream in(text);
  auto gauges = runoff::readGauges(in, "fuzz");
  if (!gauges.ok()) {
    const std::string& m = gauges.message();
    if (m.rfind("fuzz ", 0) != 0 || m.find('\n') != std::string::npos) __builtin_trap();
    return m;
  }
  if (gauges->empty()) __builtin_trap();
  std::set<std::string> names;
  std::ostringstream out;
  out.precision(17);
  for (const runoff::Gauge& g : *gauges) {
    if (g.name.empty() || !names.insert(g.name).second) __builtin_trap();
    const char edge[] = {g.name.front(), g.name.back()};
    for (char c : edge) {
      if (c == ' ' || c == '\t') __builtin_trap();  // fields are trimmed
    }
    if (!std::isfinite(g.lon) || !std::isfinite(g.lat)) __builtin_trap();
    out << g.name << '\x1f' << g.lon << '\x1f' << g.lat << '\x1e';
  }
  return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string plain = outcome(text);
  if (text.find('\r') == std::string::npos) {
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    if (outcome(crlf) != plain) __builtin_trap();
  }
  if (text.rfind("\xEF\xBB\xBF", 0) != 0 && outcome("\xEF\xBB\xBF" + text) != plain) {
    __builtin_trap();
  }
  return 0;
}
