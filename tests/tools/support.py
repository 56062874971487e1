"""Helpers of the tool tests: running the tools, writing small DEMs and rainfall sets, reading
the working directory back.

Grids are handed around north row first (as one reads a map); the working directory stores
them south row first, and read_grid() turns them back.
"""
import datetime
import os
import subprocess
import tempfile
import unittest
import warnings

import numpy as np
from osgeo import gdal, osr

gdal.UseExceptions()

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.normpath(os.path.join(HERE, "..", "..", "tools"))
GRID_TYPES = {"modDem": "<f4", "flowDir": "<i4", "flowAcc": "<i4", "riverNum": "<i4"}


def run_tool(name, *arguments, cwd=None):
    """Runs tools/NAME; returns (exit status, stdout lines). Standard error must stay empty:
    the tools report on standard output only."""
    done = subprocess.run([os.path.join(TOOLS, name), *map(str, arguments)], cwd=cwd,
                          stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=300)
    if done.stderr.strip():
        raise AssertionError(f"{name} wrote to standard error:\n{done.stderr}")
    return done.returncode, done.stdout.splitlines()


def runoff_sim():
    path = os.environ.get("RUNOFF_SIM")
    if not path or not os.access(path, os.X_OK):
        raise AssertionError("RUNOFF_SIM must name the runoff-sim executable "
                             "(tests/tools/run-tool-tests.sh sets it)")
    return path


def write_geotiff(path, north_first, transform, epsg, no_data=None):
    rows, cols = north_first.shape
    dataset = gdal.GetDriverByName("GTiff").Create(path, cols, rows, 1, gdal.GDT_Float32)
    dataset.SetGeoTransform(transform)
    srs = osr.SpatialReference()
    if epsg:
        srs.ImportFromEPSG(epsg)
        dataset.SetProjection(srs.ExportToWkt())
    band = dataset.GetRasterBand(1)
    if no_data is not None:
        band.SetNoDataValue(no_data)
    band.WriteArray(north_first.astype(np.float32))
    dataset.FlushCache()


def read_grid(workdir, name, rows, cols):
    data = np.fromfile(os.path.join(workdir, "topoData", name + ".bin"), GRID_TYPES[name])
    return np.flipud(data.reshape(rows, cols))


def read_bytes(path):
    with open(path, "rb") as source:
        return source.read()


def read_params(workdir):
    with open(os.path.join(workdir, "param-ravo-event-ver300.dat")) as source:
        return source.read()


def read_rain(workdir, rows, cols):
    """(stamps, values): the six integers and the [row from north, col] field of each hour."""
    with open(os.path.join(workdir, "input", "rain.dat")) as source:
        tokens = source.read().split()
    width = 6 + rows * cols
    assert len(tokens) % width == 0, f"{len(tokens)} numbers are not whole records of {width}"
    records = np.array(tokens, dtype=np.float64).reshape(-1, width)
    return records[:, :6].astype(int).tolist(), records[:, 6:].reshape(-1, rows, cols)


def write_netcdf(path, lon, lat, hours, values, units="mm/h", start="2000-07-01 00:00:00",
                 fill_value=None, time_units="hours", bounds=False):
    """A CF rainfall file: `values` [time, lat, lon] in the stored order of `lat` and `lon`;
    `hours` the time values in `time_units` since `start`."""
    with warnings.catch_warnings():
        # Debian's netCDF4 and numpy builds differ in a struct size that unittest's warning
        # filter would report on every import; harmless.
        warnings.simplefilter("ignore", RuntimeWarning)
        import netCDF4
    with netCDF4.Dataset(path, "w") as dataset:
        dataset.createDimension("time", None)
        dataset.createDimension("lat", len(lat))
        dataset.createDimension("lon", len(lon))
        time = dataset.createVariable("time", "f8", ("time",))
        time.units = f"{time_units} since {start}"
        time.calendar = "standard"
        time[:] = hours
        if bounds:
            dataset.createDimension("nv", 2)
            time.bounds = "time_bnds"
            edges = dataset.createVariable("time_bnds", "f8", ("time", "nv"))
            edges[:] = np.stack([np.asarray(hours) - 1, hours], axis=1)
        latitude = dataset.createVariable("lat", "f4", ("lat",))
        latitude.units = "degrees_north"
        latitude[:] = lat
        longitude = dataset.createVariable("lon", "f4", ("lon",))
        longitude.units = "degrees_east"
        longitude[:] = lon
        rain = dataset.createVariable("pr", "f8", ("time", "lat", "lon"), fill_value=fill_value)
        rain.units = units
        rain[:] = values


# The V-shaped valley of the tests, 12 rows x 9 columns of 3 arc-seconds from (10 E, 45 N) at
# its north-west corner: side slopes of 10 m per cell towards the middle column, which falls
# 1 m per cell to the south. Every cell west of the middle drains east (3), every cell east of
# it west (7), the middle column south (5); the ring of border cells are outlets (0), the one
# at the valley's foot takes the whole valley.
V_ROWS, V_COLS = 12, 9
V_WEST, V_NORTH, V_CELL = 10.0, 45.0, 3.0 / 3600.0
V_ELEVATION = (100.0 + 10.0 * np.abs(np.arange(V_COLS)[None, :] - 4)
               + 1.0 * (V_ROWS - 1 - np.arange(V_ROWS)[:, None]))
V_FLOW_DIR = np.array(
    [[0, 0, 0, 0, 0, 0, 0, 0, 0]]
    + [[0, 3, 3, 3, 5, 7, 7, 7, 0]] * 10
    + [[0, 0, 0, 0, 0, 0, 0, 0, 0]])
# Each interior row brings 7 cells to the middle column: 7, 14, ..., 70, and the foot 71.
V_FLOW_ACC = np.array(
    [[1] * 9]
    + [[1, 1, 2, 3, 7 * k, 3, 2, 1, 1] for k in range(1, 11)]
    + [[1, 1, 1, 1, 71, 1, 1, 1, 1]])
V_RIVER_NUM = np.full((V_ROWS, V_COLS), -1)
V_RIVER_NUM[1:-1, 1:-1] = 0
V_RIVER_NUM[-1, 4] = 0
V_PARAMS = "3 9 12 10 44.99\n"  # first line of the parameter file: scale, cols, rows, corner


def write_v_valley_dem(path):
    write_geotiff(path, V_ELEVATION, (V_WEST, V_CELL, 0, V_NORTH, 0, -V_CELL), 4326)


def write_v_valley_workdir(workdir, rain_days=1, rain_value=2.0):
    """The V-valley's working directory written directly (no GRASS): grids, river list, a
    parameter file with one rainfall cell over the grid and `rain_days` of uniform rain."""
    for folder in ("topoData", "input", "temp", "output/image"):
        os.makedirs(os.path.join(workdir, folder), exist_ok=True)
    grids = {"modDem": V_ELEVATION, "flowDir": V_FLOW_DIR, "flowAcc": V_FLOW_ACC,
             "riverNum": V_RIVER_NUM}
    for name, north_first in grids.items():
        np.flipud(north_first).astype(GRID_TYPES[name]).tofile(
            os.path.join(workdir, "topoData", name + ".bin"))
    with open(os.path.join(workdir, "topoData", "riverNumList.dat"), "w") as out:
        out.write("0 0 4 71 0 0 10.00375 44.9904166666667\n")
    with open(os.path.join(workdir, "param-ravo-event-ver300.dat"), "w") as out:
        out.write(V_PARAMS + f"1 1 0.02 0.02 10.00375 44.995\n{rain_days} 60 1\n"
                  "0.6 0.4 0.03 100 0.1\n")
    with open(os.path.join(workdir, "input", "rain.dat"), "w") as out:
        start = datetime.datetime(2000, 7, 1)
        for hour in range(rain_days * 24):
            moment = start + datetime.timedelta(hours=hour)
            out.write(f"{moment.year} {moment.month} {moment.day} {moment.hour} 0 0\n"
                      f"{rain_value:g}\n")


class ToolTestCase(unittest.TestCase):
    """A fresh temporary folder per test, in self.tmp."""

    def setUp(self):
        self._folder = tempfile.TemporaryDirectory(prefix="tool-test-")
        self.tmp = self._folder.name

    def tearDown(self):
        self._folder.cleanup()

    def path(self, *parts):
        return os.path.join(self.tmp, *parts)

    def assertRefused(self, status, lines, *fragments):
        """Exit status 1 and exactly one line, holding every fragment."""
        self.assertEqual(status, 1, lines)
        self.assertEqual(len(lines), 1, lines)
        for fragment in fragments:
            self.assertIn(fragment, lines[0])
