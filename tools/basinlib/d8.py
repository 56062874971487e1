"""The D8 drainage network of this model.

A cell drains into one of its eight neighbours, coded clockwise from north: 1 = N, 2 = NE,
3 = E, 4 = SE, 5 = S, 6 = SW, 7 = W, 8 = NW; any other code means the cell has no downstream
neighbour (an outlet). Arrays here are in storage order, row 0 the southern row, so north is
row + 1.

GRASS's r.watershed codes its drainage counter-clockwise from east, in steps of 45 degrees:
1 = NE, 2 = N, 3 = NW, 4 = W, 5 = SW, 6 = S, 7 = SE, 8 = E; a negative code means the water
leaves the region there, 0 that the cell has no drainage.
"""
import numpy as np

# code -> (row step in storage order, column step)
OFFSETS = {
    1: (1, 0),    # north
    2: (1, 1),    # north-east
    3: (0, 1),    # east
    4: (-1, 1),   # south-east
    5: (-1, 0),   # south
    6: (-1, -1),  # south-west
    7: (0, -1),   # west
    8: (1, -1),   # north-west
}

# r.watershed drainage code -> this model's code, by the compass direction both name.
GRASS_TO_MODEL = {1: 2, 2: 1, 3: 8, 4: 7, 5: 6, 6: 5, 7: 4, 8: 3}


def from_grass(drainage):
    """This model's codes for r.watershed's drainage codes; anything but 1..8 becomes 0."""
    codes = np.zeros(drainage.shape, dtype=np.int32)
    for grass_code, code in GRASS_TO_MODEL.items():
        codes[drainage == grass_code] = code
    return codes


def downstream(flow_dir):
    """(down, off_grid): for every cell in flattened storage order the flat index of the cell
    it drains into (-1 for none), and a mask of the cells whose code points off the grid."""
    rows, cols = flow_dir.shape
    row, col = np.indices((rows, cols))
    down = np.full(rows * cols, -1, dtype=np.int64)
    off_grid = np.zeros((rows, cols), dtype=bool)
    for code, (d_row, d_col) in OFFSETS.items():
        has = flow_dir == code
        to_row, to_col = row + d_row, col + d_col
        inside = (to_row >= 0) & (to_row < rows) & (to_col >= 0) & (to_col < cols)
        off_grid |= has & ~inside
        take = (has & inside).ravel()
        down[take] = (to_row * cols + to_col).ravel()[take]
    return down, off_grid


def upstream_first(down):
    """(levels, acyclic): the cells in waves, each wave only after every cell draining into
    its cells; cells on a cycle, or downstream of one, never come free and are left out."""
    count = down.size
    has = down >= 0
    waiting = np.bincount(down[has], minlength=count)
    wave = np.flatnonzero(waiting == 0)
    levels = []
    placed = 0
    while wave.size:
        levels.append(wave)
        placed += wave.size
        targets = down[wave]
        targets, arriving = np.unique(targets[targets >= 0], return_counts=True)
        waiting[targets] -= arriving
        wave = targets[waiting[targets] == 0]
    return levels, placed == count


def stuck_cells(down, levels):
    """Mask of the cells that upstream_first() could not place (on or below a cycle)."""
    placed = np.zeros(down.size, dtype=bool)
    for wave in levels:
        placed[wave] = True
    return ~placed


def cycle_from(down, start):
    """The cells of the cycle reached by following the flow from a stuck cell `start`."""
    seen = {}
    cell = start
    while cell not in seen:
        seen[cell] = len(seen)
        cell = int(down[cell])
    path = list(seen)
    return path[seen[cell]:]


def accumulate(down, levels):
    """Flow accumulation: the number of cells whose water passes through each cell, the cell
    itself included, counted along the waves of upstream_first()."""
    acc = np.ones(down.size, dtype=np.int64)
    for wave in levels:
        targets = down[wave]
        flows = targets >= 0
        np.add.at(acc, targets[flows], acc[wave[flows]])
    return acc


def first_downstream(down, stop):
    """For every cell, the first cell met going downstream from it (itself included) where
    `stop` holds or the flow ends. Needs an acyclic network. Path doubling: each pass follows
    twice as far as the one before."""
    cells = np.arange(down.size)
    reach = np.where(stop | (down < 0), cells, down)
    while True:
        further = np.where(stop[reach], reach, reach[reach])
        if np.array_equal(further, reach):
            return reach
        reach = further
