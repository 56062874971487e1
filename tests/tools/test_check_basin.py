"""check-basin on the V-valley's working directory (written directly) and on damaged copies:
each fault is caught with its own line."""
import os

import numpy as np

import support
from support import V_COLS, V_ROWS


def edit_grid(workdir, name, change):
    """Applies `change` to a grid given north row first, and writes it back."""
    path = os.path.join(workdir, "topoData", name + ".bin")
    grid = np.flipud(np.fromfile(path, support.GRID_TYPES[name]).reshape(V_ROWS, V_COLS))
    grid = grid.copy()
    change(grid)
    np.flipud(grid).tofile(path)


def edit_text(workdir, relative, change):
    path = os.path.join(workdir, relative)
    with open(path) as source:
        text = source.read()
    with open(path, "w") as out:
        out.write(change(text))


def truncate(workdir, relative, size):
    with open(os.path.join(workdir, relative), "r+b") as grid:
        grid.truncate(size)


# North row first: row 6 from the north is storage row 5 (from the south).
FAULTS = (
    ("cycle", lambda d: edit_grid(d, "flowDir", lambda g: g.__setitem__((6, 4), 1)),
     "error: flowDir.bin: the flow runs in a cycle of 2 cells through row 5 col 4 "
     "(lon 10.00375, lat 44.99458)"),
    ("wrong accumulation", lambda d: edit_grid(d, "flowAcc", lambda g: g.__setitem__((2, 2), 5)),
     "error: flowAcc.bin: the accumulation of 2 cells is not one plus the accumulations "
     "flowing in, first row 9 col 2 (lon 10.00208, lat 44.99792): 5 where the inflows make 2"),
    ("short grid", lambda d: truncate(d, "topoData/riverNum.bin", 428),
     "error: topoData/riverNum.bin: 428 bytes, the grid needs 432 (12 rows x 9 columns of "
     "4 bytes)"),
    ("rain file one hour short", lambda d: edit_text(
        d, "input/rain.dat", lambda t: "\n".join(t.splitlines()[:-2]) + "\n"),
     "error: input/rain.dat: holds 23 hour records, the parameter file asks for 24 (1 day "
     "x 24 of 6 + 1 numbers)"),
    ("direction off the grid", lambda d: edit_grid(d, "flowDir", lambda g: g.__setitem__(
        (0, 3), 1)),
     "error: flowDir.bin: the direction of 1 cell points off the grid, first row 11 col 3 "
     "(lon 10.00292, lat 44.99958) (code 1)"),
    ("basin with two outlets", lambda d: edit_grid(d, "flowDir", lambda g: g.__setitem__(
        (4, 1), 7)),
     "error: riverNum.bin: the cells of basin 0 drain to 2 outlets, row 0 col 4 (lon "
     "10.00375, lat 44.99042) and row 7 col 1 (lon 10.00125, lat 44.99625)"),
    ("time running back", lambda d: edit_text(d, "input/rain.dat", lambda t: t.replace(
        "2000 7 1 5 0 0", "2000 7 1 3 0 0")),
     "error: input/rain.dat line 11: time stamp 2000-07-01 03:00:00 does not follow "
     "2000-07-01 04:00:00"),
    ("rain grid beside the basin", lambda d: edit_text(
        d, "param-ravo-event-ver300.dat", lambda t: t.replace("10.00375 44.995", "10.1 44.995")),
     "error: the rainfall grid does not cover 70 cells of the listed basins, first row 1 "
     "col 1"),
    ("negative rain", lambda d: edit_text(d, "input/rain.dat", lambda t: t.replace(
        "\n2\n", "\n-2\n", 1)),
     "error: input/rain.dat: 1 values are negative or not finite, first in the record of "
     "line 1 (value 1)"),
    ("integer written as a real", lambda d: edit_text(
        d, "param-ravo-event-ver300.dat", lambda t: t.replace("1 60 1", "1 60.0 1")),
     "error: param-ravo-event-ver300.dat: value 13 (timeStep) is '60.0', not an integer"),
)


class CheckBasinTest(support.ToolTestCase):
    def test_sound_directory_passes(self):
        support.write_v_valley_workdir(self.path("basin"))
        status, lines = support.run_tool("check-basin", self.path("basin"))
        self.assertEqual(status, 0, lines)
        self.assertEqual(lines[1:], [
            "grid: 12 rows x 9 columns of 3 arc-second cells, south-west corner lon 10.000000, "
            "lat 44.990000",
            "basins: 1 listed with routed cells, 70 cells routed",
            "rainfall: 1 x 1 cells, 1 day",
            "ok: no errors, no warnings"])

    def test_each_fault_is_reported_with_its_line(self):
        for name, damage, expected in FAULTS:
            with self.subTest(fault=name):
                basin = self.path(name.replace(" ", "-"))
                support.write_v_valley_workdir(basin)
                damage(basin)
                status, lines = support.run_tool("check-basin", basin)
                self.assertEqual(status, 1, lines)
                self.assertTrue(any(line.startswith(expected) for line in lines),
                                "\n".join(lines))
                self.assertRegex(lines[-1], r"^[1-9][0-9]* errors?, [0-9]+ warnings?$")

    def test_warnings_alone_pass(self):
        basin = self.path("basin")
        support.write_v_valley_workdir(basin)
        # a blank line, a negative river number, a basin number no cell carries
        edit_text(basin, "topoData/riverNumList.dat",
                  lambda t: t + "\n-1 0 0 0 0 0 0 0\n7 0 0 0 0 0 0 0\n")
        status, lines = support.run_tool("check-basin", basin)
        self.assertEqual(status, 0, lines)
        self.assertEqual(lines[-4:], [
            "warning: riverNumList.dat: blank line 2; blank lines count as entries",
            "warning: riverNumList.dat line 3: river number -1 is negative and selects no cell",
            "warning: riverNumList.dat line 4: basin 7 has no routed cell",
            "ok: 0 errors, 3 warnings"])

    def test_not_a_working_directory(self):
        status, lines = support.run_tool("check-basin", self.path("nowhere"))
        self.assertRefused(status, lines, "nowhere: not a folder")
