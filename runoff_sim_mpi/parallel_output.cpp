#include "runoff_sim_mpi/parallel_output.h"

#include <mpi.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <utility>

#include "common/atomic_file.h"
#include "runoff/output/discharge_output.h"
#include "runoff/output/discharge_vrt.h"
#include "runoff/output/gauge_series.h"
#ifdef RUNOFF_NETCDF_PARALLEL
#include "runoff/output/netcdf_sink.h"
#endif

namespace runoff {

OutputShare shareOutput(const MpiWorld& world, const TopoGrid& grid,
                        const std::vector<std::uint8_t>& selected, const RoutingPlan& plan,
                        const Partition& partition) {
  OutputShare share;
  const std::size_t cells = grid.cells.size();
  share.routedBy.assign(cells, -1);
  for (std::int32_t t = 0; t < plan.size(); ++t) {
    share.routedBy[filePosition(grid, plan.cell[t])] = partition.owner[t];
  }
  share.background = outputBackground(grid, selected);
  share.selected = selectedInFileOrder(grid, selected);
  for (std::size_t p = 0; p < cells; ++p) {
    if (share.routedBy[p] == world.rank) share.routedHere.push_back(static_cast<std::int32_t>(p));
  }
  return share;
}

namespace {

using Made = OutputMakers::Made;

// Rank 0's temporary name for `path`, on every rank.
std::string sharedTemporary(const MpiWorld& world, const std::string& path) {
  std::string name = world.rank == 0 ? temporaryPathFor(path) : std::string();
  int length = static_cast<int>(name.size());
  MPI_Bcast(&length, 1, MPI_INT, 0, MPI_COMM_WORLD);
  name.resize(static_cast<std::size_t>(length));
  MPI_Bcast(name.data(), length, MPI_CHAR, 0, MPI_COMM_WORLD);
  return name;
}

// Keeps the first failure of a sequence of steps that every rank must take all of.
void keepFirst(Status& first, Status next) {
  if (first.ok()) first = std::move(next);
}

// The values at `positions` of every hour of the window, hour-major.
void valuesAt(const WindowGrids& grids, const std::vector<std::int32_t>& positions,
              std::vector<float>& values) {
  const std::size_t n = positions.size();
  const std::int32_t hours = grids.days() * 24;
  values.resize(static_cast<std::size_t>(hours) * n);
  for (std::int32_t h = 0; h < hours; ++h) {
    const std::span<const float> hour = grids.hour(h);
    float* out = values.data() + static_cast<std::size_t>(h) * n;
    for (std::size_t k = 0; k < n; ++k) out[k] = hour[positions[k]];
  }
}

// The day-major daily means and maxima at `positions` of every day of the window.
void dailyValuesAt(const WindowGrids& grids, const std::vector<std::int32_t>& positions,
                   const std::vector<std::uint8_t>& selected, std::vector<float>& means,
                   std::vector<float>& maxima) {
  const std::size_t n = positions.size();
  means.resize(static_cast<std::size_t>(grids.days()) * n);
  maxima.resize(means.size());
  std::vector<float> mean, maximum;
  for (std::int32_t d = 0; d < grids.days(); ++d) {
    dailyGridsAt(grids, d, positions, selected, mean, maximum);
    std::copy(mean.begin(), mean.end(), means.begin() + static_cast<std::ptrdiff_t>(d * n));
    std::copy(maximum.begin(), maximum.end(), maxima.begin() + static_cast<std::ptrdiff_t>(d * n));
  }
}

// Values of routed cells on their way from the ranks that route them to the ranks whose band
// of rows holds them, grid by grid.
class RowExchange {
 public:
  // Rank r's band: rows firstRow[r] to firstRow[r + 1] - 1.
  RowExchange(const MpiWorld& world, const OutputShare& share, std::int32_t cols,
              std::vector<std::int32_t> firstRow)
      : world_(world), share_(share), firstRow_(std::move(firstRow)) {
    const std::size_t begin = static_cast<std::size_t>(firstRow_[world.rank]) * cols;
    const std::size_t end = static_cast<std::size_t>(firstRow_[world.rank + 1]) * cols;
    bandBegin_ = begin;
    bandCells_ = end - begin;
    // What this rank sends to each: its positions (ascending) in that rank's rows.
    sendFrom_.resize(world.size + 1);
    for (int r = 0; r <= world.size; ++r) {
      const std::int32_t limit = firstRow_[std::min(r, world.size)] * cols;
      sendFrom_[r] = static_cast<std::size_t>(
          std::lower_bound(share.routedHere.begin(), share.routedHere.end(), limit) -
          share.routedHere.begin());
    }
    // What arrives from each: the positions in this band that rank routes, ascending too.
    receiveAt_.resize(world.size);
    for (std::size_t p = begin; p < end; ++p) {
      const std::int32_t by = share.routedBy[p];
      if (by >= 0) receiveAt_[by].push_back(static_cast<std::int32_t>(p - begin));
    }
  }

  std::int32_t firstRow() const { return firstRow_[world_.rank]; }
  std::int32_t rows() const { return firstRow_[world_.rank + 1] - firstRow_[world_.rank]; }
  std::size_t bandCells() const { return bandCells_; }

  // `mine` holds `grids` grids of this rank's routed values (routedHere order, grid-major);
  // `band` becomes `grids` bands of this rank's rows, the background where no rank routes.
  void exchange(const std::vector<float>& mine, std::int32_t grids, std::vector<float>& band) {
    const std::size_t n = share_.routedHere.size();
    std::vector<int> sendCounts(world_.size), sendOffsets(world_.size);
    std::vector<int> receiveCounts(world_.size), receiveOffsets(world_.size);
    send_.resize(static_cast<std::size_t>(grids) * n);
    std::size_t at = 0;
    for (int r = 0; r < world_.size; ++r) {
      sendOffsets[r] = static_cast<int>(at);
      for (std::int32_t g = 0; g < grids; ++g) {
        const float* from = mine.data() + static_cast<std::size_t>(g) * n;
        for (std::size_t k = sendFrom_[r]; k < sendFrom_[r + 1]; ++k) send_[at++] = from[k];
      }
      sendCounts[r] = static_cast<int>(at) - sendOffsets[r];
    }
    int total = 0;
    for (int r = 0; r < world_.size; ++r) {
      receiveOffsets[r] = total;
      receiveCounts[r] = grids * static_cast<int>(receiveAt_[r].size());
      total += receiveCounts[r];
    }
    receive_.resize(static_cast<std::size_t>(total));
    MPI_Alltoallv(send_.data(), sendCounts.data(), sendOffsets.data(), MPI_FLOAT, receive_.data(),
                  receiveCounts.data(), receiveOffsets.data(), MPI_FLOAT, MPI_COMM_WORLD);
    band.resize(static_cast<std::size_t>(grids) * bandCells_);
    for (std::int32_t g = 0; g < grids; ++g) {
      std::copy(share_.background.begin() + static_cast<std::ptrdiff_t>(bandBegin_),
                share_.background.begin() + static_cast<std::ptrdiff_t>(bandBegin_ + bandCells_),
                band.begin() + static_cast<std::ptrdiff_t>(g * bandCells_));
    }
    for (int r = 0; r < world_.size; ++r) {
      const float* from = receive_.data() + receiveOffsets[r];
      const std::vector<std::int32_t>& at = receiveAt_[r];
      for (std::int32_t g = 0; g < grids; ++g) {
        float* to = band.data() + static_cast<std::size_t>(g) * bandCells_;
        for (std::size_t k = 0; k < at.size(); ++k) to[at[k]] = *from++;
      }
    }
  }

 private:
  MpiWorld world_;
  const OutputShare& share_;
  std::vector<std::int32_t> firstRow_;
  std::size_t bandBegin_ = 0, bandCells_ = 0;
  std::vector<std::size_t> sendFrom_;
  std::vector<std::vector<std::int32_t>> receiveAt_;
  std::vector<float> send_, receive_;
};

// The rows of grid `rows` x `cols` cut into one band per rank, as even as they come: rank r's
// rows are first[r] to first[r + 1] - 1. `unit` rows go together (a chunk's rows).
std::vector<std::int32_t> rowBands(int ranks, std::int32_t rows, std::int32_t unit) {
  const std::int32_t units = (rows + unit - 1) / unit;
  std::vector<std::int32_t> first(ranks + 1);
  for (int r = 0; r <= ranks; ++r) {
    first[r] = std::min<std::int32_t>(
        rows, unit * static_cast<std::int32_t>(static_cast<std::int64_t>(units) * r / ranks));
  }
  return first;
}

// The raw discharge files through MPI-IO: each window's values travel to the rank whose band of
// rows holds them, and each rank writes its band of every grid, one write per file and window.
class ParallelDischargeFiles : public WindowSink {
 public:
  ParallelDischargeFiles(const MpiWorld& world, const RunParameters& params,
                         DischargeFileSet files, const OutputShare& share)
      : world_(world),
        params_(params),
        files_(files),
        share_(share),
        exchange_(world, share, params.topoCols,
                  rowBands(world.size, params.topoRows, 1)) {
    const std::size_t cells = share.routedBy.size();
    const std::size_t band = exchange_.bandCells();
    if (band > 0) {
      // Grid after grid, this rank's rows: a block stretched to a whole grid.
      MPI_Datatype block;
      MPI_Type_contiguous(static_cast<int>(band), MPI_FLOAT, &block);
      MPI_Type_create_resized(block, 0, static_cast<MPI_Aint>(cells * sizeof(float)), &view_);
      MPI_Type_free(&block);
      MPI_Type_commit(&view_);
      MPI_Type_contiguous(static_cast<int>(band), MPI_FLOAT, &grid_);
      MPI_Type_commit(&grid_);
    }
  }

  ~ParallelDischargeFiles() override {
    // Files still open after a failure are closed by MPI_Finalize on every rank alike; the
    // temporaries go now.
    if (view_ != MPI_DATATYPE_NULL) MPI_Type_free(&view_);
    if (grid_ != MPI_DATATYPE_NULL) MPI_Type_free(&grid_);
    if (world_.rank == 0 && !published_) {
      for (const std::string& temporary : temporaries_) {
        if (!temporary.empty()) std::remove(temporary.c_str());
      }
    }
  }

  // Opens the temporaries of every chosen file on every rank; `temporaries` collects them.
  Status open(std::vector<std::string>& temporaries) {
    const MPI_Offset displacement = static_cast<MPI_Offset>(exchange_.firstRow()) *
                                    params_.topoCols * static_cast<MPI_Offset>(sizeof(float));
    for (DischargeFile file : kDischargeFiles) {
      if (!files_.has(file)) continue;
      const int f = static_cast<int>(file);
      temporaries_[f] = sharedTemporary(world_, outputPath(file));
      temporaries.push_back(temporaries_[f]);
      int rc = MPI_File_open(MPI_COMM_WORLD, temporaries_[f].c_str(),
                             MPI_MODE_CREATE | MPI_MODE_WRONLY, MPI_INFO_NULL, &handles_[f]);
      if (rc == MPI_SUCCESS) {
        open_[f] = true;
        // A file of the same name left by another process is cut to nothing first.
        rc = MPI_File_set_size(handles_[f], 0);
        if (rc == MPI_SUCCESS) {
          rc = MPI_File_set_view(handles_[f], view_ != MPI_DATATYPE_NULL ? displacement : 0,
                                 MPI_FLOAT, view_ != MPI_DATATYPE_NULL ? view_ : MPI_FLOAT,
                                 "native", MPI_INFO_NULL);
        }
      }
      if (Status s = agree(world_, rc == MPI_SUCCESS ? Status() : failure(file)); !s.ok()) {
        return s;
      }
    }
    return {};
  }

  Status take(const WindowGrids& grids, std::int32_t firstDay) override {
    Status outcome;
    const std::int64_t dayBefore = static_cast<std::int64_t>(firstDay) - 1;
    if (files_.has(DischargeFile::kDaily) || files_.has(DischargeFile::kDailyMax)) {
      dailyValuesAt(grids, share_.routedHere, share_.selected, means_, maxima_);
      if (files_.has(DischargeFile::kDaily)) {
        exchange_.exchange(means_, grids.days(), band_);
        keepFirst(outcome, write(DischargeFile::kDaily, dayBefore, grids.days()));
      }
      if (files_.has(DischargeFile::kDailyMax)) {
        exchange_.exchange(maxima_, grids.days(), band_);
        keepFirst(outcome, write(DischargeFile::kDailyMax, dayBefore, grids.days()));
      }
    }
    if (files_.has(DischargeFile::kHourly)) {
      valuesAt(grids, share_.routedHere, hours_);
      exchange_.exchange(hours_, grids.days() * 24, band_);
      keepFirst(outcome, write(DischargeFile::kHourly, dayBefore * 24, grids.days() * 24));
    }
    return agree(world_, outcome);
  }

  Status finish() override {
    Status outcome;
    for (DischargeFile file : kDischargeFiles) {
      const int f = static_cast<int>(file);
      if (!open_[f]) continue;
      open_[f] = false;
      if (MPI_File_close(&handles_[f]) != MPI_SUCCESS) keepFirst(outcome, failure(file));
    }
    return agree(world_, outcome);
  }

  // Rank 0, once every rank has closed the files.
  Status publish() override {
    for (DischargeFile file : kDischargeFiles) {
      const int f = static_cast<int>(file);
      if (!files_.has(file)) continue;
      if (std::rename(temporaries_[f].c_str(), outputPath(file).c_str()) != 0) {
        return Status::ioError(outputPath(file) + " cannot be written.");
      }
      temporaries_[f].clear();
    }
    published_ = true;
    return writeDischargeVrts(params_, files_);
  }

  std::vector<std::string> paths() const override {
    std::vector<std::string> written;
    for (DischargeFile file : kDischargeFiles) {
      if (files_.has(file)) written.push_back(outputPath(file));
    }
    return written;
  }

 private:
  static Status failure(DischargeFile file) {
    return Status::ioError(outputPath(file) + " cannot be written.");
  }

  // Grids `first` to first + count - 1 of `file` from the bands in band_, grid-major.
  Status write(DischargeFile file, std::int64_t first, std::int32_t count) {
    const int f = static_cast<int>(file);
    const std::size_t n = exchange_.bandCells();
    // The view holds this rank's rows only: grid g begins at its g x n-th value.
    const MPI_Offset offset = static_cast<MPI_Offset>(first) * static_cast<MPI_Offset>(n);
    // Each band is a few long runs of bytes: every rank writes its own at once, without the
    // collective's exchange through aggregators.
    if (n == 0) return {};
    MPI_Status status;
    if (MPI_File_write_at(handles_[f], offset, band_.data(), count, grid_, &status) !=
        MPI_SUCCESS) {
      return failure(file);
    }
    int written = 0;
    MPI_Get_count(&status, grid_, &written);
    return written == count ? Status() : failure(file);
  }

  MpiWorld world_;
  RunParameters params_;
  DischargeFileSet files_;
  const OutputShare& share_;
  RowExchange exchange_;
  MPI_Datatype view_ = MPI_DATATYPE_NULL;
  MPI_Datatype grid_ = MPI_DATATYPE_NULL;
  std::array<MPI_File, 3> handles_{MPI_FILE_NULL, MPI_FILE_NULL, MPI_FILE_NULL};
  std::array<bool, 3> open_{};
  std::array<std::string, 3> temporaries_;
  bool published_ = false;
  std::vector<float> means_, maxima_, hours_, band_;
};

// The gauge series: each window's values of the gauges gathered on rank 0, which writes them.
class GatheredGauges : public WindowSink {
 public:
  GatheredGauges(const MpiWorld& world, const OutputShare& share, std::string path,
                 std::vector<SnappedGauge> gauges)
      : world_(world), share_(share), path_(std::move(path)), gauges_(std::move(gauges)) {
    // A gauge on a cell no rank routes holds its background value everywhere: rank 0's.
    for (std::size_t g = 0; g < gauges_.size(); ++g) {
      const std::int32_t by = share.routedBy[gauges_[g].position];
      if (by == world.rank || (by < 0 && world.rank == 0)) mine_.push_back(g);
    }
  }

  Status open(CivilTime start) {
    Status outcome;
    if (world_.rank == 0) {
      // Rank 0 writes a file of one cell per gauge, in the order of the list.
      std::vector<SnappedGauge> compact = gauges_;
      for (std::size_t g = 0; g < compact.size(); ++g) compact[g].position = g;
      Result<std::unique_ptr<GaugeSeriesSink>> made =
          GaugeSeriesSink::create(path_, start, std::move(compact));
      if (made.ok()) {
        series_ = std::move(made).value();
      } else {
        outcome = made.status();
      }
    }
    return agree(world_, outcome);
  }

  Status take(const WindowGrids& grids, std::int32_t firstDay) override {
    const std::int32_t hours = grids.days() * 24;
    std::vector<float> values(static_cast<std::size_t>(hours) * mine_.size());
    for (std::int32_t h = 0; h < hours; ++h) {
      for (std::size_t k = 0; k < mine_.size(); ++k) {
        values[h * mine_.size() + k] = grids.hourly(h, gauges_[mine_[k]].position);
      }
    }
    const int count = static_cast<int>(values.size());
    std::vector<int> counts(world_.size), offsets(world_.size);
    MPI_Gather(&count, 1, MPI_INT, counts.data(), 1, MPI_INT, 0, MPI_COMM_WORLD);
    std::vector<int> owners;  // on rank 0: the ranks' gauge lists, to place what arrives
    std::vector<float> gathered;
    if (world_.rank == 0) {
      int total = 0;
      for (int r = 0; r < world_.size; ++r) {
        offsets[r] = total;
        total += counts[r];
      }
      gathered.resize(static_cast<std::size_t>(total));
    }
    MPI_Gatherv(values.data(), count, MPI_FLOAT, gathered.data(), counts.data(), offsets.data(),
                MPI_FLOAT, 0, MPI_COMM_WORLD);
    Status outcome;
    if (world_.rank == 0) {
      if (!window_ || window_->maxDays() < grids.days()) {
        window_ = std::make_unique<WindowGrids>(std::vector<float>(gauges_.size(), 0.0f),
                                                grids.maxDays());
      }
      window_->setDays(grids.days());
      // Rank r's values: hour-major over its gauges, which it lists in the order of the list.
      for (int r = 0; r < world_.size; ++r) {
        std::vector<std::size_t> theirs;
        for (std::size_t g = 0; g < gauges_.size(); ++g) {
          const std::int32_t by = share_.routedBy[gauges_[g].position];
          if (by == r || (by < 0 && r == 0)) theirs.push_back(g);
        }
        const float* from = gathered.data() + offsets[r];
        for (std::int32_t h = 0; h < hours; ++h) {
          for (std::size_t k = 0; k < theirs.size(); ++k) {
            window_->hour(h)[theirs[k]] = from[h * theirs.size() + k];
          }
        }
      }
      outcome = series_->take(*window_, firstDay);
    }
    return agree(world_, outcome);
  }

  Status finish() override {
    return agree(world_, world_.rank == 0 ? series_->finish() : Status());
  }
  Status publish() override { return series_->publish(); }
  std::vector<std::string> paths() const override { return {path_}; }

 private:
  MpiWorld world_;
  const OutputShare& share_;
  std::string path_;
  std::vector<SnappedGauge> gauges_;
  std::vector<std::size_t> mine_;
  std::unique_ptr<GaugeSeriesSink> series_;  // on rank 0
  std::unique_ptr<WindowGrids> window_;      // on rank 0: the gauges' values of a window
};

#ifdef RUNOFF_NETCDF_PARALLEL
// The NetCDF file through parallel NetCDF-4: each rank writes the chunks of its band of rows.
class ParallelNetcdf : public WindowSink {
 public:
  ParallelNetcdf(const MpiWorld& world, const OutputShare& share, std::string path)
      : world_(world), share_(share), path_(std::move(path)) {}

  Status open(const NetcdfDescription& description, const std::string& temporary) {
    files_ = description.files;
    Result<std::unique_ptr<DischargeNetcdf>> created =
        DischargeNetcdf::createParallel(path_, description, MPI_COMM_WORLD, temporary);
    Status outcome = created.status();
    if (created.ok()) netcdf_ = std::move(created).value();
    if (Status s = agree(world_, outcome); !s.ok()) return s;
    const GridGeometry& grid = description.grid;
    for (DischargeFile file : kDischargeFiles) {
      if (!files_.has(file)) continue;
      // Bands of whole chunk rows, so that each chunk is compressed by one rank.
      const std::int32_t chunkRows =
          static_cast<std::int32_t>(std::max<std::size_t>(1, netcdf_->chunk(file).rows));
      const int f = static_cast<int>(file);
      exchanges_[f] = std::make_unique<RowExchange>(world_, share_, grid.cols,
                                                    rowBands(world_.size, grid.rows, chunkRows));
      blocks_[f] = std::make_unique<NetcdfBlocks>(
          *netcdf_, file, static_cast<std::int64_t>(description.days) * gridsPerDay(file),
          exchanges_[f]->firstRow(), exchanges_[f]->rows(), grid.cols);
    }
    return {};
  }

  Status take(const WindowGrids& grids, std::int32_t) override {
    Status outcome;
    if (files_.has(DischargeFile::kDaily) || files_.has(DischargeFile::kDailyMax)) {
      dailyValuesAt(grids, share_.routedHere, share_.selected, means_, maxima_);
      if (files_.has(DischargeFile::kDaily)) {
        keepFirst(outcome, put(DischargeFile::kDaily, means_, grids.days()));
      }
      if (files_.has(DischargeFile::kDailyMax)) {
        keepFirst(outcome, put(DischargeFile::kDailyMax, maxima_, grids.days()));
      }
    }
    if (files_.has(DischargeFile::kHourly)) {
      valuesAt(grids, share_.routedHere, hours_);
      keepFirst(outcome, put(DischargeFile::kHourly, hours_, grids.days() * 24));
    }
    return agree(world_, outcome);
  }

  Status finish() override { return agree(world_, netcdf_->finish()); }
  Status publish() override { return netcdf_->publish(); }
  std::vector<std::string> paths() const override { return {path_}; }

 private:
  // This rank's values of `grids` grids of `file` into the bands, and the bands into the file.
  Status put(DischargeFile file, const std::vector<float>& mine, std::int32_t grids) {
    const int f = static_cast<int>(file);
    RowExchange& exchange = *exchanges_[f];
    exchange.exchange(mine, grids, band_);
    Status outcome;
    for (std::int32_t g = 0; g < grids; ++g) {
      const auto from = band_.begin() + static_cast<std::ptrdiff_t>(g * exchange.bandCells());
      std::copy(from, from + static_cast<std::ptrdiff_t>(exchange.bandCells()),
                blocks_[f]->next().begin());
      // Every rank writes each block together, whatever failed before.
      keepFirst(outcome, blocks_[f]->filled());
    }
    return outcome;
  }

  MpiWorld world_;
  const OutputShare& share_;
  std::string path_;
  DischargeFileSet files_ = DischargeFileSet::none();
  std::unique_ptr<DischargeNetcdf> netcdf_;
  std::array<std::unique_ptr<RowExchange>, 3> exchanges_;
  std::array<std::unique_ptr<NetcdfBlocks>, 3> blocks_;
  std::vector<float> means_, maxima_, hours_, band_;
};
#endif

}  // namespace

OutputMakers parallelOutputMakers(const MpiWorld& world, const RunParameters& params,
                                  const OutputShare& share,
                                  [[maybe_unused]] const std::vector<std::string>& argv,
                                  std::vector<std::string>& temporaries) {
  OutputMakers makers;
  makers.dischargeFiles = [&world, &params, &share, &temporaries](DischargeFileSet files) {
    auto sink = std::make_unique<ParallelDischargeFiles>(world, params, files, share);
    if (Status s = sink->open(temporaries); !s.ok()) return Made(s);
    return Made(std::unique_ptr<WindowSink>(std::move(sink)));
  };
  makers.gauges = [&world, &share, &temporaries](const std::string& path, CivilTime start,
                                                 std::vector<SnappedGauge> gauges) {
    temporaries.push_back(sharedTemporary(world, path));
    auto sink = std::make_unique<GatheredGauges>(world, share, path, std::move(gauges));
    if (Status s = sink->open(start); !s.ok()) return Made(s);
    return Made(std::unique_ptr<WindowSink>(std::move(sink)));
  };
#ifdef RUNOFF_NETCDF_PARALLEL
  makers.netcdf = [&world, &share, &argv, &temporaries](const std::string& path,
                                                        NetcdfDescription description) {
    description.history = netcdfHistory(argv);
    description.source = netcdfSource("runoff-sim-mpi");
    // Every rank writes the history rank 0 made, to the second.
    int length = static_cast<int>(description.history.size());
    MPI_Bcast(&length, 1, MPI_INT, 0, MPI_COMM_WORLD);
    description.history.resize(static_cast<std::size_t>(length));
    MPI_Bcast(description.history.data(), length, MPI_CHAR, 0, MPI_COMM_WORLD);
    const std::string temporary = sharedTemporary(world, path);
    temporaries.push_back(temporary);
    auto sink = std::make_unique<ParallelNetcdf>(world, share, path);
    if (Status s = sink->open(description, temporary); !s.ok()) return Made(s);
    return Made(std::unique_ptr<WindowSink>(std::move(sink)));
  };
#endif
  return makers;
}

}  // namespace runoff
