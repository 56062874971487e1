"""Hydrological conditioning of the DEM with GRASS GIS: depression filling, D8 directions and
flow accumulation, computed by GRASS in a throw-away location (geographic WGS 84, so that
r.watershed measures its slopes with the true, latitude-dependent cell sizes).

GRASS treats every cell on the border of its region, and every cell next to a cell without
data, as a place where water leaves the region: their accumulation is not handed on, whatever
their drainage code says. This model's outer ring is never routed either; both kinds of cell
become outlets here (no direction), which makes GRASS's accumulation exactly the count along
the converted directions.
"""
import os
import shutil
import subprocess
import tempfile

import numpy as np
from osgeo import gdal, osr

from . import d8
from .cli import ToolError

gdal.UseExceptions()

MAX_FILL_PASSES = 50
_SESSION = os.path.join(os.path.dirname(os.path.abspath(__file__)), "grass_session.py")


class Conditioned:
    """GRASS's results in storage order (row 0 = south): `filled` elevation (NaN without data),
    this model's `flow_dir` codes, `flow_acc`, the `edge` cells made outlets, and how the
    filling went."""

    def __init__(self, filled, flow_dir, flow_acc, edge, passes, version):
        self.filled = filled
        self.flow_dir = flow_dir
        self.flow_acc = flow_acc
        self.edge = edge
        self.passes = passes
        self.version = version


def _write_dem(path, elevation, geometry):
    driver = gdal.GetDriverByName("GTiff")
    dataset = driver.Create(path, geometry.cols, geometry.rows, 1, gdal.GDT_Float32)
    dataset.SetGeoTransform((geometry.west, geometry.cell, 0.0, geometry.north, 0.0,
                             -geometry.cell))
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(4326)
    dataset.SetProjection(srs.ExportToWkt())
    band = dataset.GetRasterBand(1)
    band.SetNoDataValue(-9999.0)
    band.WriteArray(np.where(np.isnan(elevation), np.float32(-9999.0), elevation))
    dataset.FlushCache()


def _read(path, no_data):
    dataset = gdal.Open(path)  # kept alive while its band is read
    array = dataset.GetRasterBand(1).ReadAsArray()
    return np.flipud(array), np.flipud(array == no_data)


def _edge_cells(has_data):
    """Data cells on the grid's outer ring or with a no-data cell among their 8 neighbours."""
    padded = np.pad(has_data, 1, constant_values=False)
    rows, cols = has_data.shape
    all_neighbours = np.ones_like(has_data)
    for d_row in (-1, 0, 1):
        for d_col in (-1, 0, 1):
            all_neighbours &= padded[1 + d_row:1 + d_row + rows, 1 + d_col:1 + d_col + cols]
    return has_data & ~all_neighbours


def _run_grass(work):
    command = ["grass", "--tmp-location", "EPSG:4326", "--exec", "/usr/bin/python3", _SESSION,
               work, str(MAX_FILL_PASSES)]
    try:
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              stdin=subprocess.DEVNULL, text=True, errors="replace",
                              env=dict(os.environ, GRASS_MESSAGE_FORMAT="plain"))
    except FileNotFoundError:
        raise ToolError("GRASS GIS is not installed (Debian package grass-core)")
    if done.returncode != 0 or not os.path.exists(os.path.join(work, "session.txt")):
        lines = [line.strip() for line in done.stdout.splitlines() if line.strip()]
        reason = next((line for line in lines if line.startswith("grass-session:")), None)
        reason = reason or next((line for line in reversed(lines) if "ERROR" in line),
                                lines[-1] if lines else "no output")
        raise ToolError(f"GRASS failed: {reason}")


def condition(elevation, geometry):
    """Fills, directs and accumulates the north-up `elevation` (NaN = no data) on `geometry`."""
    work = tempfile.mkdtemp(prefix="prepare-basin-grass-")
    try:
        _write_dem(os.path.join(work, "dem.tif"), elevation, geometry)
        _run_grass(work)
        filled, filled_missing = _read(os.path.join(work, "filled.tif"), -9999)
        drainage, _ = _read(os.path.join(work, "drainage.tif"), -32768)
        accumulation, _ = _read(os.path.join(work, "accumulation.tif"), -1)
        with open(os.path.join(work, "session.txt")) as session:
            passes, version = (session.read().split() + ["?", "?"])[:2]
    finally:
        shutil.rmtree(work, ignore_errors=True)

    has_data = ~np.flipud(np.isnan(elevation))
    edge = _edge_cells(has_data)
    flow_dir = d8.from_grass(drainage)
    flow_dir[edge | ~has_data] = 0
    filled = np.where(has_data & ~filled_missing, filled, np.nan).astype(np.float32)
    flow_acc = np.where(has_data, np.rint(accumulation), 0).astype(np.int64)
    _check(flow_dir, flow_acc, has_data, geometry)
    return Conditioned(filled, flow_dir, flow_acc, edge, int(passes), version)


def _check(flow_dir, flow_acc, has_data, geometry):
    """GRASS's directions and accumulation must form the network this model routes: every
    data cell drains to an outlet, only into data cells, and its accumulation is the count of
    the cells upstream of it. A failure here is a fault of the conditioning, not of the DEM."""
    down, off_grid = d8.downstream(flow_dir)
    levels, acyclic = d8.upstream_first(down)
    if off_grid.any() or not acyclic:
        raise ToolError("GRASS's drainage leaves the grid or runs in a cycle; "
                        "the DEM cannot be conditioned")
    into_gap = (down >= 0) & ~has_data.ravel()[np.maximum(down, 0)]
    if into_gap.any():
        row, col = divmod(int(np.flatnonzero(into_gap)[0]), geometry.cols)
        raise ToolError(f"GRASS's drainage runs into a cell without data at "
                        f"{geometry.where(row, col)}")
    counted = d8.accumulate(down, levels).reshape(flow_dir.shape)
    differ = has_data & (counted != flow_acc)
    if differ.any():
        row, col = map(int, np.argwhere(differ)[0])
        raise ToolError(f"GRASS's accumulation differs from the count along its directions "
                        f"in {int(differ.sum())} cells, first at {geometry.where(row, col)}")
