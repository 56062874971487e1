"""Basins: the cells that drain through an outlet, numbered from 0 by size.

Without given outlets every outlet where water leaves the grid (a cell without direction on the
outer ring or next to cells without data) whose basin holds at least a minimum number of cells
becomes a basin. Given outlets may lie anywhere; a cell then belongs to the first given outlet
its water reaches, so that nested outlets cut a basin into parts.
"""
import numpy as np

from . import d8
from .cli import ToolError


class Basin:
    def __init__(self, number, row, col, cells):
        self.number = number
        self.row = row
        self.col = col
        self.cells = cells


def edge_outlets(flow_dir, flow_acc, edge, min_cells):
    """(row, col) of the outlets on the grid's edge with at least `min_cells` cells upstream."""
    outlets = edge & (flow_dir == 0) & (flow_acc >= min_cells)
    return [tuple(map(int, cell)) for cell in np.argwhere(outlets)]


def snap(outlet, flow_acc, radius):
    """The cell of largest accumulation within `radius` cells of `outlet`, the nearest on a
    tie: a point given from a map rarely falls on the one-cell-wide stream."""
    row, col = outlet
    rows, cols = flow_acc.shape
    best = (row, col)
    best_key = (flow_acc[row, col], 0)
    for r in range(max(row - radius, 0), min(row + radius + 1, rows)):
        for c in range(max(col - radius, 0), min(col + radius + 1, cols)):
            key = (flow_acc[r, c], -max(abs(r - row), abs(c - col)))
            if key > best_key:
                best, best_key = (r, c), key
    return best


def label(flow_dir, outlets):
    """(river_num, basins): each cell's basin number (-1 for none) and the basins, numbered
    from 0 by decreasing size, ties by outlet row and column."""
    rows, cols = flow_dir.shape
    down, _ = d8.downstream(flow_dir)
    is_outlet = np.zeros(rows * cols, dtype=bool)
    index = [row * cols + col for row, col in outlets]
    is_outlet[index] = True
    reach = d8.first_downstream(down, is_outlet)
    drains = is_outlet[reach]
    sizes = np.bincount(reach[drains], minlength=rows * cols)
    order = sorted(outlets, key=lambda rc: (-sizes[rc[0] * cols + rc[1]], rc[0], rc[1]))
    number_of = np.full(rows * cols, -1, dtype=np.int64)
    basins = []
    for number, (row, col) in enumerate(order):
        number_of[row * cols + col] = number
        basins.append(Basin(number, row, col, int(sizes[row * cols + col])))
    river_num = np.where(drains, number_of[reach], -1).reshape(rows, cols)
    return river_num.astype(np.int32), basins


def check_inside(points, geometry):
    """Refuses outlets given as (lon, lat) outside the grid."""
    for lon, lat in points:
        if geometry.cell_of(lon, lat) is None:
            raise ToolError(f"--outlet {lon:g} {lat:g} lies outside the grid (lon "
                            f"{geometry.west:.6f} to {geometry.east:.6f}, lat "
                            f"{geometry.south:.6f} to {geometry.north:.6f})")


def given_outlets(points, geometry, has_data, flow_acc, radius):
    """The cells of outlets given as (lon, lat) inside the grid, snapped within `radius`
    cells."""
    check_inside(points, geometry)
    cells = []
    for lon, lat in points:
        cell = geometry.cell_of(lon, lat)
        if not has_data[cell]:
            raise ToolError(f"--outlet {lon:g} {lat:g} lies on a cell without elevation data")
        cell = snap(cell, flow_acc, radius)
        if cell in cells:
            raise ToolError(f"--outlet {lon:g} {lat:g} gives the same outlet cell "
                            f"({geometry.where(*cell)}) as an earlier --outlet")
        cells.append(cell)
    return cells
