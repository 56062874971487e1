// Cell positions and widths bit for bit, record order of the topography files, and the
// drainage links on grids small enough to check by hand.
#include "runoff/inputs/topo_grid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <vector>

namespace runoff {
namespace {

template <typename T>
std::string records(const std::vector<T>& values) {
  std::string bytes(values.size() * 4, '\0');
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::uint32_t u;
    std::memcpy(&u, &values[i], 4);
    for (int b = 0; b < 4; ++b) bytes[4 * i + b] = static_cast<char>(u >> (8 * b));
  }
  return bytes;
}

// Grids given north row first, as one reads them on paper; the files hold the south row first.
template <typename T>
std::vector<T> southFirst(const std::vector<T>& v, int rows, int cols) {
  std::vector<T> out;
  for (int r = rows - 1; r >= 0; --r)
    out.insert(out.end(), v.begin() + r * cols, v.begin() + (r + 1) * cols);
  return out;
}

struct Grids {
  int rows, cols;
  std::vector<std::int32_t> dir, acc, river;  // north row first
};

TopoGrid load(const Grids& g) {
  RunParameters p;
  p.topoScale = 3;
  p.topoRows = g.rows;
  p.topoCols = g.cols;
  p.topoSwLat = 35;
  p.topoSwLon = 135;
  TopoGrid grid;
  std::istringstream dem(records(std::vector<float>(g.rows * g.cols, 0.0f)));
  EXPECT_TRUE(fillElevation(grid, p, dem).ok());
  std::vector<std::int32_t> acc =
      g.acc.empty() ? std::vector<std::int32_t>(g.dir.size(), 1) : g.acc;
  std::istringstream dir(records(southFirst(g.dir, g.rows, g.cols)));
  std::istringstream accIn(records(southFirst(acc, g.rows, g.cols)));
  std::istringstream river(records(southFirst(g.river, g.rows, g.cols)));
  EXPECT_TRUE(fillLinks(grid, dir, accIn, river).ok());
  return grid;
}

std::vector<std::int32_t> upList(const TopoGrid& grid, int row, int col) {
  const GridCell& cell = grid.at(row, col);
  std::vector<std::int32_t> up;
  for (std::int32_t u : cell.up) {
    if (u != kNoCell) up.push_back(u);
  }
  return up;
}

TEST(TopoGrid, PositionAndWidthAreBitExactNearThirtyFiveNorth) {
  GridCell south, north;
  initCell(south, 99, 0, 100, 100, 35.0f, 135.0f, 12.5f, 3.0f);
  initCell(north, 0, 0, 100, 100, 35.0f, 135.0f, 0.0f, 3.0f);
  EXPECT_EQ(south.latSec, 126001.5f);
  EXPECT_EQ(south.widthX, 75.94213f);
  EXPECT_EQ(north.latSec, 126298.5f);
  EXPECT_EQ(north.widthX, 75.86557f);
  EXPECT_EQ(south.lonSec, 486001.5f);
  EXPECT_EQ(south.scale, 3.0f);
  EXPECT_EQ(south.elev, 12.5f);
  // The model's cosine uses 3.14 for pi; the true pi would give 75.92567 m here (the same
  // steps in float32 with cos(126001.5 / 3600 / 180 * pi), worked out by hand).
  EXPECT_NE(south.widthX, 75.92567f);
}

TEST(TopoGrid, ThreeByThreeHasOneInteriorCell) {
  TopoGrid grid =
      load({3, 3, std::vector<std::int32_t>(9, 0), {}, std::vector<std::int32_t>(9, 0)});
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(grid.at(r, c).isEdge, (r == 1 && c == 1) ? 0 : 1);
  }
}

TEST(TopoGrid, FirstRecordIsTheSouthWestCell) {
  RunParameters p;
  p.topoScale = 3;
  p.topoRows = 2;
  p.topoCols = 3;
  TopoGrid grid;
  std::istringstream dem(records(std::vector<float>{1, 2, 3, 4, 5, 6}));
  ASSERT_TRUE(fillElevation(grid, p, dem).ok());
  EXPECT_EQ(grid.at(1, 0).elev, 1.0f);
  EXPECT_EQ(grid.at(1, 2).elev, 3.0f);
  EXPECT_EQ(grid.at(0, 0).elev, 4.0f);
  EXPECT_GT(grid.at(0, 0).latSec, grid.at(1, 0).latSec);
}

TEST(TopoGrid, CodesLeavingTheGridGiveNoDownstreamCell) {
  // Each edge cell points out of the grid: row 0 north, last row south, west and east columns.
  struct Case {
    int row, col, code;
  };
  for (Case k :
       {Case{0, 1, 1}, Case{0, 1, 2}, Case{0, 1, 8}, Case{2, 1, 4}, Case{2, 1, 5}, Case{2, 1, 6},
        Case{1, 0, 6}, Case{1, 0, 7}, Case{1, 0, 8}, Case{1, 2, 2}, Case{1, 2, 3}, Case{1, 2, 4}}) {
    std::vector<std::int32_t> dir(9, 0);
    dir[k.row * 3 + k.col] = k.code;
    TopoGrid grid = load({3, 3, dir, {}, std::vector<std::int32_t>(9, 0)});
    EXPECT_EQ(grid.at(k.row, k.col).down, kNoCell) << k.row << "," << k.col << " code " << k.code;
  }
}

TEST(TopoGrid, EveryCodeOneToEightNamesItsNeighbourClockwiseFromNorth) {
  // The cell (1,2) of a 4 x 5 grid and the neighbour each code names, written out from the
  // codes' definition: row 0 is the northern row, so north is the row above, and column 0 the
  // western column, so east is the column to the right.
  struct Case {
    std::int32_t code;
    const char* direction;
    int row, col;
  };
  for (Case k : {Case{1, "north", 0, 2}, Case{2, "north-east", 0, 3}, Case{3, "east", 1, 3},
                 Case{4, "south-east", 2, 3}, Case{5, "south", 2, 2}, Case{6, "south-west", 2, 1},
                 Case{7, "west", 1, 1}, Case{8, "north-west", 0, 1}}) {
    std::vector<std::int32_t> dir(20, 0);
    dir[1 * 5 + 2] = k.code;
    TopoGrid grid = load({4, 5, dir, {}, std::vector<std::int32_t>(20, 0)});
    EXPECT_EQ(grid.at(1, 2).down, grid.index(k.row, k.col)) << k.code << " " << k.direction;
  }
}

TEST(TopoGrid, CodesOutsideOneToEightHaveNoDownstreamCell) {
  for (std::int32_t code : {0, 9, 10, -1, -5, 64, 128}) {
    std::vector<std::int32_t> dir(9, 0);
    dir[4] = code;
    TopoGrid grid = load({3, 3, dir, {}, std::vector<std::int32_t>(9, 0)});
    EXPECT_EQ(grid.at(1, 1).down, kNoCell) << code;
    EXPECT_EQ(grid.at(1, 1).upCount, 0);
  }
}

TEST(TopoGrid, InteriorCellDrainsIntoEdgeOrUnbasinedCellAndIsListedThere) {
  // 4 x 3: (1,1) drains south into (2,1), which has no basin; (2,1) would drain nowhere.
  std::vector<std::int32_t> dir(12, 0), river(12, 0);
  dir[1 * 3 + 1] = 5;
  river[2 * 3 + 1] = -1;
  TopoGrid grid = load({4, 3, dir, {}, river});
  EXPECT_EQ(grid.at(1, 1).down, grid.index(2, 1));
  EXPECT_EQ(upList(grid, 2, 1), (std::vector<std::int32_t>{grid.index(1, 1)}));
  // Now (2,1) is a basin cell too and drains south into the edge cell (3,1).
  river[2 * 3 + 1] = 0;
  dir[2 * 3 + 1] = 5;
  grid = load({4, 3, dir, {}, river});
  EXPECT_EQ(grid.at(2, 1).down, grid.index(3, 1));
  EXPECT_EQ(upList(grid, 3, 1), (std::vector<std::int32_t>{grid.index(2, 1)}));
}

TEST(TopoGrid, CellWithoutBasinGetsNoLinkAndIsInNoUpList) {
  std::vector<std::int32_t> dir(9, 0), river(9, 0);
  dir[4] = 3;
  river[4] = -1;
  TopoGrid grid = load({3, 3, dir, {}, river});
  EXPECT_EQ(grid.at(1, 1).down, kNoCell);
  for (int i = 0; i < 9; ++i) EXPECT_TRUE(upList(grid, i / 3, i % 3).empty()) << i;
}

TEST(TopoGrid, EdgeCellsHaveADownButAreNeverRegisteredUpstream) {
  // (0,1) on the northern edge drains south into the interior cell (1,1).
  std::vector<std::int32_t> dir(9, 0), river(9, 0);
  dir[1] = 5;
  TopoGrid grid = load({3, 3, dir, {}, river});
  EXPECT_EQ(grid.at(0, 1).down, grid.index(1, 1));
  EXPECT_TRUE(upList(grid, 1, 1).empty());
  EXPECT_EQ(grid.at(1, 1).upCount, 0);
}

TEST(TopoGrid, AllEightInflowingNeighboursAreKeptInScanOrder) {
  // 5 x 5: the eight neighbours of (2,2) all drain into it.
  std::vector<std::int32_t> dir(25, 0), river(25, 0);
  dir[1 * 5 + 1] = 4;
  dir[1 * 5 + 2] = 5;
  dir[1 * 5 + 3] = 6;
  dir[2 * 5 + 1] = 3;
  dir[2 * 5 + 3] = 7;
  dir[3 * 5 + 1] = 2;
  dir[3 * 5 + 2] = 1;
  dir[3 * 5 + 3] = 8;
  TopoGrid grid = load({5, 5, dir, {}, river});
  const GridCell& centre = grid.at(2, 2);
  EXPECT_EQ(centre.upCount, 8);
  std::vector<std::int32_t> expected;
  for (int r = 1; r <= 3; ++r) {
    for (int c = 1; c <= 3; ++c) {
      if (r != 2 || c != 2) expected.push_back(grid.index(r, c));
    }
  }
  EXPECT_EQ(upList(grid, 2, 2), expected);
  for (int slot = 0; slot < 8; ++slot) EXPECT_EQ(centre.up[slot], expected[slot]) << slot;
}

TEST(TopoGrid, ShortFileIsReportedBeforeAnyCellIsFilled) {
  RunParameters p;
  p.topoScale = 3;
  p.topoRows = 3;
  p.topoCols = 3;
  TopoGrid grid;
  std::istringstream dem(records(std::vector<float>(8, 1.0f)));
  EXPECT_EQ(fillElevation(grid, p, dem).message(),
            "./topoData/modDem.bin is too short: it must hold 9 records of 4 bytes.");
  for (const GridCell& cell : grid.cells) EXPECT_EQ(cell.elev, 0.0f);

  std::istringstream fullDem(records(std::vector<float>(9, 1.0f)));
  ASSERT_TRUE(fillElevation(grid, p, fullDem).ok());
  std::istringstream dir(records(std::vector<std::int32_t>(9, 5)));
  std::istringstream acc(records(std::vector<std::int32_t>(9, 1)).substr(0, 34));  // 2 bytes short
  std::istringstream river(records(std::vector<std::int32_t>(9, 0)));
  EXPECT_EQ(fillLinks(grid, dir, acc, river).message(),
            "./topoData/flowAcc.bin is too short: it must hold 9 records of 4 bytes.");
  for (const GridCell& cell : grid.cells) EXPECT_EQ(cell.down, kNoCell);
}

TEST(TopoGrid, ExtraRecordsAreIgnored) {
  RunParameters p;
  p.topoScale = 3;
  p.topoRows = 1;
  p.topoCols = 2;
  TopoGrid grid;
  std::istringstream dem(records(std::vector<float>{7, 8, 9, 10}));
  EXPECT_TRUE(fillElevation(grid, p, dem).ok());
  EXPECT_EQ(grid.at(0, 1).elev, 8.0f);
}

}  // namespace
}  // namespace runoff
