#include "runoff/inputs/calc_order.h"

#include <cstdio>
#include <fstream>
#include <iomanip>

#include "common/atomic_file.h"
#include "common/input_file.h"
#include "common/text_number.h"
#include "runoff/inputs/cache_key.h"
#include "runoff/inputs/exchange_order.h"

namespace runoff {

CalculationOrder buildCalculationOrder(const TopoGrid& grid) {
  std::vector<std::int32_t> acc(grid.cells.size());
  for (std::size_t i = 0; i < acc.size(); ++i) acc[i] = grid.cells[i].flowAcc;
  std::vector<std::int32_t> sorted = exchangeSortOrder(acc);

  CalculationOrder order;
  std::int32_t last = 0;
  for (std::int32_t position : sorted) {
    std::int32_t value = acc[position];
    if (value <= 0) continue;
    if (order.groupSizes.empty() || value != last) order.groupSizes.push_back(0);
    ++order.groupSizes.back();
    last = value;
    order.calcOrder.push_back({position / grid.cols, position % grid.cols});
  }
  order.groupCount = static_cast<std::int32_t>(order.groupSizes.size());
  order.orderCount = static_cast<std::int32_t>(order.calcOrder.size());
  return order;
}

bool orderCacheKeyMatches(std::istream& groups, const RunParameters& params) {
  std::int32_t cols = -9999, rows = -9999;
  double lon = -9999.0, lat = -9999.0;
  if (!readInt32(groups, cols) || !readInt32(groups, rows) || !readDouble(groups, lon) ||
      !readDouble(groups, lat)) {
    return false;
  }
  return cols == params.topoCols && rows == params.topoRows &&
         keyValueMatches(lon, params.topoSwLon) && keyValueMatches(lat, params.topoSwLat);
}

std::optional<CalculationOrder> readOrderCache(std::istream& groups, std::istream& cells,
                                               const RunParameters& params, const TopoGrid& grid) {
  if (!orderCacheKeyMatches(groups, params)) return std::nullopt;
  CalculationOrder order;
  if (!readInt32(groups, order.groupCount) || !readInt32(groups, order.orderCount) ||
      order.groupCount < 0 || order.orderCount < 0 || order.groupCount > order.orderCount ||
      static_cast<std::size_t>(order.orderCount) > grid.cells.size()) {
    return std::nullopt;
  }
  std::int64_t sizeSum = 0;
  order.groupSizes.resize(order.groupCount);
  for (std::int32_t& size : order.groupSizes) {
    if (!readInt32(groups, size) || size <= 0) return std::nullopt;
    sizeSum += size;
  }
  if (sizeSum != order.orderCount) return std::nullopt;

  // The stored order must still be an ascending listing of exactly the cells with positive
  // accumulation, each group one value, so that no stale cache routes a cell before a cell
  // that drains into it.
  std::int64_t positive = 0;
  for (const GridCell& cell : grid.cells) positive += cell.flowAcc > 0;
  if (positive != order.orderCount) return std::nullopt;
  std::vector<bool> listed(grid.cells.size(), false);
  order.calcOrder.resize(order.orderCount);
  std::size_t entry = 0;
  std::int32_t previousValue = 0;
  for (std::int32_t g = 0; g < order.groupCount; ++g) {
    for (std::int32_t i = 0; i < order.groupSizes[g]; ++i, ++entry) {
      std::int32_t storedAcc, row, col;
      if (!readInt32(cells, storedAcc) || !readInt32(cells, row) || !readInt32(cells, col)) {
        return std::nullopt;
      }
      if (row < 0 || row >= grid.rows || col < 0 || col >= grid.cols) return std::nullopt;
      std::int32_t index = grid.index(row, col);
      std::int32_t value = grid.cells[index].flowAcc;
      bool groupStart = i == 0;
      if (storedAcc != value || value <= 0 || listed[index]) return std::nullopt;
      if (groupStart ? (entry > 0 && value <= previousValue) : value != previousValue) {
        return std::nullopt;
      }
      listed[index] = true;
      previousValue = value;
      order.calcOrder[entry] = {row, col};
    }
  }
  return order;
}

void writeGroupCache(std::ostream& out, const RunParameters& params,
                     const CalculationOrder& order) {
  out << params.topoCols << '\n'
      << params.topoRows << '\n'
      << std::setprecision(15) << params.topoSwLon << '\n'
      << params.topoSwLat << '\n'
      << order.groupCount << '\n'
      << order.orderCount << '\n';
  for (std::int32_t size : order.groupSizes) out << size << '\n';
}

void writeOrderedCells(std::ostream& out, const TopoGrid& grid, const CalculationOrder& order) {
  IntLineWriter lines(out);
  for (const CellIndex& c : order.calcOrder)
    lines.line({grid.at(c.row, c.col).flowAcc, c.row, c.col});
}

Status obtainCalculationOrder(const TopoGrid& grid, const RunParameters& params,
                              CalculationOrder& order, std::ostream& console) {
  const std::string groupPath = kGroupCachePath;
  const std::string cellPath = kOrderCachePath;
  bool keyValid = false;
  {
    // A key file that cannot be read (missing, a directory in its place) vouches for nothing.
    std::ifstream groups;
    keyValid = openInputFile(groups, groupPath) == InputFault::kNone &&
               orderCacheKeyMatches(groups, params);
  }
  if (keyValid) {
    std::ifstream groups, cells;
    const InputFault cellFault = openInputFile(cells, cellPath);
    // A list missing beside a valid key ends the run; a directory in its place is no list at
    // all, and both files are made again.
    if (cellFault == InputFault::kCannotOpen) return Status::cannotOpen(cellPath + " cannot open.");
    std::optional<CalculationOrder> stored;
    if (cellFault == InputFault::kNone && openInputFile(groups, groupPath) == InputFault::kNone) {
      stored = readOrderCache(groups, cells, params, grid);
    }
    keyValid = stored.has_value();
    if (stored) {
      order = std::move(*stored);
      console << "Read basinList data from " << groupPath << '\n';
      console << "Read calculation order data from " << cellPath << "\n\n";
    }
  }
  if (!keyValid) {
    console << "Make basinList data " << groupPath << '\n';
    order = buildCalculationOrder(grid);
    // Both files are written whole under temporary names. The cell list goes into place
    // before the key file that vouches for it, and a key is never left beside a list that
    // could not be written: the next run would trust the key and stop on the list.
    AtomicFile groups(groupPath);
    const bool groupsOpen = groups.isOpen();
    if (!groupsOpen) {
      console << groupPath << " cannot open.\n";
    } else {
      writeGroupCache(groups.stream(), params, order);
    }
    console << "Make calculation order data " << cellPath << '\n';
    AtomicFile cells(cellPath);
    bool cellsPlaced = false;
    if (!cells.isOpen()) {
      console << cellPath << " cannot open.\n";
    } else {
      writeOrderedCells(cells.stream(), grid, order);
      const Status placed = cells.commit();
      cellsPlaced = placed.ok();
      if (!cellsPlaced) console << placed.message() << '\n';
    }
    if (!cellsPlaced) {
      // Only a key file goes; a directory in its place stays as the user left it.
      if (!isDirectoryAt(groupPath)) std::remove(groupPath.c_str());
    } else if (groupsOpen) {
      if (Status placed = groups.commit(); !placed.ok()) console << placed.message() << '\n';
    }
  }
  console << '\n'
          << "Number of different kind of cell accumulattion number : " << order.groupCount << '\n'
          << "Number of calculation cell number : " << order.orderCount << '\n';
  return {};
}

}  // namespace runoff
