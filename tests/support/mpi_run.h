// runoff-sim-mpi under mpirun, for the tests of distributed runs (built where MPI is found:
// RUNOFF_SIM_MPI_EXE and MPIRUN_EXE are defined then), and the comparison of what two runs left
// in their working directories.
#ifndef RUNOFF_TESTS_SUPPORT_MPI_RUN_H_
#define RUNOFF_TESTS_SUPPORT_MPI_RUN_H_

#include <string>
#include <vector>

#include "support/test_support.h"

namespace runoff::testing {

#ifdef RUNOFF_SIM_MPI_EXE
/// Runs runoff-sim-mpi on `ranks` processes (oversubscribed on a small machine) of `threads`
/// threads in `dir`, with a time limit, so that a hang fails instead of stalling; standard
/// error (where mpirun may speak) is kept apart and shown on the test's log when a run that
/// succeeded said something there. In a sanitized build the leak check is off for these
/// processes only: Open MPI leaves its own allocations behind at finalize, in components it
/// has already unloaded, where no suppression can name them. `environment` and `wrapper` (a
/// command each process runs the program through) serve to make a write fail on one process.
RunResult runMpi(const fs::path& dir, int ranks, int threads,
                 const std::vector<std::string>& args = {}, const std::string& environment = "",
                 const std::string& wrapper = "");
#endif

/// Runs runoff-sim in `dir` with `args` on `threads` threads.
RunResult runSimulatorWith(const fs::path& dir, const std::vector<std::string>& args,
                           int threads);

/// What differs between the working directories `expected` and `got` after a run, one line
/// each: a name present in one only, a file whose bytes differ (a NetCDF file by what ncdump
/// shows of it, without the attributes that record who made it and when). Empty when every
/// name and byte is the same.
std::vector<std::string> directoryDifferences(const fs::path& expected, const fs::path& got);

}  // namespace runoff::testing

#endif  // RUNOFF_TESTS_SUPPORT_MPI_RUN_H_
