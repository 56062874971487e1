// The parameter file, in both scopes.
#include <sstream>
#include <string>

#include "common/params.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (auto scope : {runoff::ParamScope::kSimulation, runoff::ParamScope::kPostProcessor}) {
    std::istringstream in(text);
    std::ostringstream echo;
    runoff::Result<runoff::RunParameters> r = runoff::readParameters(in, scope, echo);
    if (r.ok()) {
      // What the readers promise to every later step.
      if (r->topoCols < 1 || r->topoRows < 1 || r->days < 0) __builtin_trap();
      if (scope == runoff::ParamScope::kSimulation && (r->subSteps < 1 || r->spaceSteps < 1)) {
        __builtin_trap();
      }
    } else if (r.message().empty() || r.message().find('\n') != std::string::npos) {
      __builtin_trap();  // a failure is always one line
    }
  }
  return 0;
}
