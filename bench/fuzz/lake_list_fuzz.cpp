// The lake list (CSV) and the release series read against it. The input is the lake list, then
// after a line "--" the release series. Besides what an accepted list promises (unique names,
// a known rule, positive area and constant, an exponent for a weir, a start of 0 or more), the
// same list with CRLF line ends must read the same; accepted releases belong to lakes of the
// releases rule, are never negative and run in increasing time.
#include <cmath>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "runoff/inputs/lake_list.h"
#include "runoff/inputs/release_series.h"

namespace {

void refusalIsOneLine(const std::string& message, const std::string& path) {
  if (message.rfind(path + " ", 0) != 0 || message.find('\n') != std::string::npos) {
    __builtin_trap();
  }
}

// The lakes as text, or the refusal.
std::string outcome(const std::string& text, std::vector<runoff::Lake>* lakes) {
  std::istringstream in(text);
  auto read = runoff::readLakes(in, "lakes");
  if (!read.ok()) {
    refusalIsOneLine(read.message(), "lakes");
    return read.message();
  }
  if (read->empty()) __builtin_trap();
  std::set<std::string> names;
  std::ostringstream out;
  out.precision(17);
  for (const runoff::Lake& k : *read) {
    if (k.name.empty() || !names.insert(k.name).second) __builtin_trap();
    if (!(k.areaKm2 > 0) || !(k.a > 0) || !(k.startLevel >= 0) || !std::isfinite(k.lon) ||
        !std::isfinite(k.lat) || !std::isfinite(k.areaKm2 * 1e6 * k.startLevel)) {
      __builtin_trap();
    }
    if (k.rule == runoff::LakeRule::kWeir && !(k.b > 0)) __builtin_trap();
    out << k.name << '\x1f' << k.lon << '\x1f' << k.lat << '\x1f' << k.areaKm2 << '\x1f'
        << static_cast<int>(k.rule) << '\x1f' << k.a << '\x1f' << k.b << '\x1f' << k.startLevel
        << '\x1e';
  }
  if (lakes) *lakes = *read;
  return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::size_t split = text.find("\n--\n");
  const std::string list = text.substr(0, split);
  std::vector<runoff::Lake> lakes;
  const std::string plain = outcome(list, &lakes);
  if (list.find('\r') == std::string::npos) {
    std::string crlf;
    for (char c : list) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    if (outcome(crlf, nullptr) != plain) __builtin_trap();
  }
  if (lakes.empty() || split == std::string::npos) return 0;
  std::istringstream in(text.substr(split + 4));
  auto releases = runoff::readReleases(in, "releases", lakes);
  if (!releases.ok()) {
    refusalIsOneLine(releases.message(), "releases");
    return 0;
  }
  if (releases->values.size() != lakes.size()) __builtin_trap();
  for (std::size_t k = 0; k < lakes.size(); ++k) {
    const auto& values = releases->values[k];
    if (!values.empty() && lakes[k].rule != runoff::LakeRule::kReleases) __builtin_trap();
    for (std::size_t v = 0; v < values.size(); ++v) {
      if (!(values[v].outflow >= 0) || !std::isfinite(values[v].outflow)) __builtin_trap();
      if (v > 0 && !(values[v - 1].time < values[v].time)) __builtin_trap();
    }
  }
  return 0;
}
