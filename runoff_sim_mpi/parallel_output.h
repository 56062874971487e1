// The outputs of a distributed run, written from every rank at once: no rank gathers the grids.
//
// Raw discharge files (common/discharge_files.h) go through MPI-IO, at the offsets the layout
// gives each value: value p of grid g of a file lies at byte (g x rows x cols + p) x 4. The
// grid's rows are cut into one band per rank, as even as they come (a rank gets no row when
// there are fewer rows than ranks), and each rank writes its band of every grid of a window with
// one MPI_File_write_at per file and window, on its own, without a collective write: through a
// view that holds its band once per grid, the window's grids are one contiguous run of the
// view, each band one long segment of the file. The values reach the band that holds them in
// one all-to-all per file and window, from the rank that routes the cell (a rank that routes
// no cell sends nothing); the cells no rank routes (the missing value -9999, or 0 for a
// selected cell without a task) are filled in by the band's rank, so that every byte of every
// file is written. Writing each cell from the rank that routes it would cost one file segment
// per run of a rank's cells along a row, thousands per grid; whole rows are a few long
// segments.
//
// The NetCDF file goes through parallel NetCDF-4 (the MPI build of the NetCDF library over
// HDF5's MPI-IO). Its variables are compressed chunk by chunk, so the values of a chunk must
// meet on one rank: the rows of the grid are cut into bands of whole chunk rows, one band per
// rank (none for a rank beyond the chunk rows there are), each window's routed values travel to
// the ranks whose bands hold them (one all-to-all per variable and window), and each rank writes
// its band, block by block, in one collective write of all ranks, a rank without rows with an
// empty hyperslab.
//
// The gauge series are a few values per hour: each window they are gathered on rank 0, which
// writes the file as one process does.
//
// Every file lies under the temporary name rank 0 chose until every rank has closed it; rank 0
// alone renames it into place or removes it. Each sink agrees with the other ranks on the
// outcome of every collective step, so that all ranks take the same steps after a failure.
#ifndef RUNOFF_RUNOFF_SIM_MPI_PARALLEL_OUTPUT_H_
#define RUNOFF_RUNOFF_SIM_MPI_PARALLEL_OUTPUT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "common/params.h"
#include "runoff/inputs/topo_grid.h"
#include "runoff/routing/routing_plan.h"
#include "runoff/run/simulation.h"
#include "runoff/routing/partition.h"
#include "runoff_sim_mpi/rank_messages.h"

namespace runoff {

/// Where each cell's results come from, and what every cell holds before routing.
struct OutputShare {
  std::vector<std::int32_t> routedBy;         // file order: the rank routing it, -1 for none
  std::vector<float> background;              // file order: what an unrouted cell holds
  std::vector<std::uint8_t> selected;         // file order: cells with results
  std::vector<std::int32_t> routedHere;       // positions this rank routes, ascending
};

/// The share of rank `world.rank`.
OutputShare shareOutput(const MpiWorld& world, const TopoGrid& grid,
                        const std::vector<std::uint8_t>& selected, const RoutingPlan& plan,
                        const Partition& partition);

/// The makers of every output of a distributed run, writing `share` from this rank. Every rank
/// calls each maker together. `temporaries` collects the temporary names of the files made,
/// the same on every rank (rank 0's), so that any rank can remove them when the run must end
/// at once.
OutputMakers parallelOutputMakers(const MpiWorld& world, const RunParameters& params,
                                  const OutputShare& share, const std::vector<std::string>& argv,
                                  std::vector<std::string>& temporaries);

}  // namespace runoff

#endif  // RUNOFF_RUNOFF_SIM_MPI_PARALLEL_OUTPUT_H_
