// discharge-score: observed discharge against a simulated series, scored per gauge (NSE,
// log-NSE, KGE, KGE', PBIAS, peak errors) and written to scores.csv. Any failure prints one
// line and ends with exit status 1, with nothing written.
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "common/status.h"
#include "discharge_score/score_command.h"

int main(int argc, char** argv) {
  using namespace runoff;
  try {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const Result<ScoreOptions> options = parseScoreOptions(args);
    if (!options.ok()) {
      std::cout << options.message() << std::endl;
      return 1;
    }
    if (options->help) {
      std::cout << scoreUsage();
      return 0;
    }
    if (Status done = scoreDischarge(*options, std::cout); !done.ok()) {
      std::cout << done.message() << std::endl;
      return 1;
    }
    return 0;
  } catch (const std::bad_alloc&) {
    std::cout << "Not enough memory to score these series." << std::endl;
    return 1;
  }
}
