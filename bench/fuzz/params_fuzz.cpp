// The parameter file, in both scopes.
#include <sstream>
#include <string>

#include "common/params.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (auto scope : {runoff::ParamScope::kSimulation, runoff::ParamScope::kPostProcessor}) {
    std::istringstream in(text);
    std::ostringstream echo;
    runoff::ParamResult r = runoff::readParameters(in, scope, echo);
    if (r.status == runoff::ParamResult::Status::kOk) {
      // What the readers promise to every later step.
      if (r.params.topoCols < 1 || r.params.topoRows < 1 || r.params.days < 0) __builtin_trap();
      if (scope == runoff::ParamScope::kSimulation &&
          (r.params.subSteps < 1 || r.params.spaceSteps < 1)) {
        __builtin_trap();
      }
    } else if (r.message.empty() || r.message.find('\n') != std::string::npos) {
      __builtin_trap();  // a failure is always one line
    }
  }
  return 0;
}
