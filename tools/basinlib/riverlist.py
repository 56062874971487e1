"""The river list of a working directory, topoData/riverNumList.dat.

One line per basin to simulate, eight numbers: six integers, then two reals. The simulator uses
only the first, the river number; the tools write the rest as a description of the basin:

    riverNum outletRow outletCol cellCount 0 0 outletLon outletLat

with the outlet's row and column counted from 0 at the south-west corner (storage order) and
the outlet cell's centre in degrees.
"""
import os
import re

from . import atomic

FILE_NAME = "riverNumList.dat"

_INTEGER = re.compile(r"[+-]?[0-9]+")
_REAL = re.compile(r"[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?")


class Entry:
    def __init__(self, line_number, river, outlet_row, outlet_col, cells):
        self.line_number = line_number
        self.river = river
        self.outlet_row = outlet_row
        self.outlet_col = outlet_col
        self.cells = cells


def path_in(workdir):
    return os.path.join(workdir, "topoData", FILE_NAME)


def render(basins, geometry):
    """Text of the list for `basins`, each (number, outlet row, outlet col, cell count)."""
    lines = []
    for number, row, col, cells in basins:
        lon, lat = geometry.centre(row, col)
        lines.append(f"{number} {row} {col} {cells} 0 0 {lon:.15g} {lat:.15g}")
    return "".join(line + "\n" for line in lines)


def write(workdir, basins, geometry):
    atomic.write_text(path_in(workdir), render(basins, geometry))


def read(path):
    """(entries, problems): the records and, one line each, the lines the simulator would
    misread (a record of other than six integers and two reals shifts every later one) or that
    select nothing."""
    with open(path, encoding="utf-8", errors="replace") as source:
        lines = source.read().splitlines()
    entries, problems, blank = [], [], []
    for number, line in enumerate(lines, start=1):
        tokens = line.split()
        if not tokens:
            blank.append(number)
            continue
        if (len(tokens) != 8 or not all(_INTEGER.fullmatch(t) for t in tokens[:6])
                or not all(_REAL.fullmatch(t) for t in tokens[6:])):
            problems.append(("error", f"{FILE_NAME} line {number}: '{line.strip()}' is not six "
                             "integers and two numbers; the simulator would misread every "
                             "later line"))
            continue
        entries.append(Entry(number, int(tokens[0]), int(tokens[1]), int(tokens[2]),
                             int(tokens[3])))
    if blank:
        problems.append(("warning", f"{FILE_NAME}: blank line {blank[0]}"
                         + (f" and {len(blank) - 1} more" if len(blank) > 1 else "")
                         + "; blank lines count as entries"))
    return entries, problems
