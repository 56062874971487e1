#include "support/mpi_run.h"

#include <sys/wait.h>

#include <algorithm>
#include <iostream>

namespace runoff::testing {

#ifdef RUNOFF_SIM_MPI_EXE
RunResult runMpi(const fs::path& dir, int ranks, int threads, const std::vector<std::string>& args,
                 const std::string& environment, const std::string& wrapper) {
  std::string command = "(cd '" + dir.string() +
                        "' && ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" "
                        "OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 " +
                        environment + " OMP_NUM_THREADS=" + std::to_string(threads) +
                        " timeout 300 " + MPIRUN_EXE + " --oversubscribe -np " +
                        std::to_string(ranks) + " " + wrapper + " " + RUNOFF_SIM_MPI_EXE;
  for (const std::string& arg : args) command += " '" + arg + "'";
  command += " > stdout.txt 2> stderr.txt)";
  int status = 0;
  shellOutput(command, status);
  RunResult result;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = readFile(dir / "stdout.txt");
  // A run that succeeds says nothing on standard error; what Open MPI says there otherwise (a
  // transport's warning) is kept in the test's log, for a failure that follows.
  if (const std::string said = readFile(dir / "stderr.txt");
      result.exitStatus == 0 && !said.empty()) {
    std::cerr << "mpirun's standard error in " << dir << ":\n" << said;
  }
  fs::remove(dir / "stdout.txt");
  fs::remove(dir / "stderr.txt");
  return result;
}
#endif

RunResult runSimulatorWith(const fs::path& dir, const std::vector<std::string>& args,
                           int threads) {
  return runProgram(RUNOFF_SIM_EXE, args, dir, "",
                    "OMP_NUM_THREADS=" + std::to_string(threads));
}

namespace {

// Every file under `dir`, relative to it, sorted; directories end with '/'.
std::vector<std::string> namesUnder(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    std::string name = fs::relative(entry.path(), dir).string();
    if (entry.is_directory()) name += '/';
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::vector<std::string> directoryDifferences(const fs::path& expected, const fs::path& got) {
  std::vector<std::string> differences;
  const std::vector<std::string> theirs = namesUnder(expected), mine = namesUnder(got);
  for (const std::string& name : theirs) {
    if (!std::binary_search(mine.begin(), mine.end(), name)) {
      differences.push_back(name + " is missing");
    }
  }
  for (const std::string& name : mine) {
    if (!std::binary_search(theirs.begin(), theirs.end(), name)) {
      differences.push_back(name + " should not be there");
    }
  }
  for (const std::string& name : theirs) {
    if (name.back() == '/' || !std::binary_search(mine.begin(), mine.end(), name)) continue;
    const fs::path a = expected / name, b = got / name;
    const bool same = a.extension() == ".nc"
                          ? netcdfDumpWithoutProvenance(a) == netcdfDumpWithoutProvenance(b)
                          : readFile(a) == readFile(b);
    if (!same) differences.push_back(name + " differs");
  }
  return differences;
}

}  // namespace runoff::testing
