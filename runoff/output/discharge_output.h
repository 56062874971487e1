// Hourly means, daily means and daily maxima of the routed discharge, in single precision: a
// float sum in order, divided by the count as a float. The files that hold them are described
// in common/discharge_files.h; the run writes those it was asked for, appending each window's
// grids as the window ends.
#ifndef RUNOFF_OUTPUT_DISCHARGE_OUTPUT_H_
#define RUNOFF_OUTPUT_DISCHARGE_OUTPUT_H_

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/atomic_file.h"
#include "common/discharge_files.h"
#include "common/params.h"
#include "common/status.h"
#include "runoff/inputs/topo_grid.h"
#include "runoff/output/window_sink.h"
#include "runoff/routing/window_router.h"

namespace runoff {

/// Mean of one hour's sub-step outflows (m^3/s).
float hourlyMean(std::span<const float> subStepOutflow);
/// Mean of a day's 24 hourly means.
float dailyMean(std::span<const float> hourlyMeans);
/// Largest of a day's 24 hourly means, starting from 0.
float dailyMaxHourly(std::span<const float> hourlyMeans);

/// `selected` (per grid cell) in the order of the files' grids.
std::vector<std::uint8_t> selectedInFileOrder(const TopoGrid& grid,
                                              const std::vector<std::uint8_t>& selected);

/// What a window grid holds before routing, in file order: the missing value for every cell
/// that is not selected, 0 for the rest (a selected cell that is never routed keeps it).
std::vector<float> outputBackground(const TopoGrid& grid,
                                    const std::vector<std::uint8_t>& selected);

/// The daily mean and daily maximum grids of day `day` (from 0) of a routed window, every cell
/// in file order, in `mean` and `maximum` (resized). `selectedInFileOrder` marks the cells whose
/// values are results; every other cell gets the missing value in both.
void dailyGrids(const WindowGrids& grids, std::int32_t day,
                const std::vector<std::uint8_t>& selectedInFileOrder, std::vector<float>& mean,
                std::vector<float>& maximum);

/// The same values at the grid positions `positions` only (file order, any number, none
/// included): one value per position in `mean` and `maximum` (resized), each the value
/// dailyGrids gives that cell.
void dailyGridsAt(const WindowGrids& grids, std::int32_t day,
                  std::span<const std::int32_t> positions,
                  const std::vector<std::uint8_t>& selectedInFileOrder, std::vector<float>& mean,
                  std::vector<float>& maximum);

/// The raw discharge files of one process that writes every cell: the files of `files` under
/// ./output, each window's days appended as the window ends (each day's daily mean and daily
/// maximum grids and its 24 hourly grids), under temporary names until published, with their
/// .vrt beside them.
class DischargeFilesSink : public WindowSink {
 public:
  /// Creates the temporaries of `files` for the run of `params`; `selectedInFileOrder` as for
  /// dailyGrids.
  static Result<std::unique_ptr<DischargeFilesSink>> create(
      const RunParameters& params, DischargeFileSet files,
      std::vector<std::uint8_t> selectedInFileOrder);

  Status take(const WindowGrids& grids, std::int32_t firstDay) override;
  Status finish() override;
  /// Renames the files into place and writes their .vrt.
  Status publish() override;
  std::vector<std::string> paths() const override;

 private:
  DischargeFilesSink(const RunParameters& params, DischargeFileSet files,
                     std::vector<std::uint8_t> selected);
  Status append(DischargeFile file, std::span<const float> grid);

  RunParameters params_;
  DischargeFileSet files_;
  std::vector<std::uint8_t> selected_;
  std::array<std::unique_ptr<AtomicFile>, 3> out_;
  std::vector<float> mean_, maximum_;
};

/// Removes the files of the three that are not in `written`, and their .vrt, under ./output,
/// where an earlier run left them: the folder never mixes two runs. The failure names a file
/// that could not be removed.
Status removeUnwrittenDischargeFiles(DischargeFileSet written);

}  // namespace runoff

#endif  // RUNOFF_OUTPUT_DISCHARGE_OUTPUT_H_
