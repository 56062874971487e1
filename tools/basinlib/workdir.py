"""A working directory as the rainfall and PET tools find it: its parameters, its grid and the
cells the simulator routes, and the rainfall cells those cells take."""
import os

import numpy as np

from . import grids, params, riverlist
from .cli import ToolError


def load_basin(workdir):
    """(parameter values, geometry, routed cells): the cells of the listed basins that the
    simulator routes, in storage order."""
    if not os.path.isfile(os.path.join(workdir, params.FILE_NAME)):
        raise ToolError(f"{workdir}: not a working directory (no {params.FILE_NAME}); make "
                        "it with prepare-basin first")
    values = params.read(os.path.join(workdir, params.FILE_NAME))
    problems = params.problems(dict(values, days=1))
    if problems:
        raise ToolError(f"{os.path.join(workdir, params.FILE_NAME)}: {problems[0]}")
    geometry = grids.GridGeometry.from_params(values)
    try:
        river_num = grids.read_grid(workdir, "riverNum", geometry)
        entries, _ = riverlist.read(riverlist.path_in(workdir))
    except FileNotFoundError as error:
        raise ToolError(f"{error.filename}: missing; make the working directory with "
                        "prepare-basin first")
    if river_num is None:
        raise ToolError(f"{grids.grid_path(workdir, 'riverNum')}: does not hold the "
                        f"{geometry.rows} x {geometry.cols} cells of the parameter file")
    routed = np.isin(river_num, [entry.river for entry in entries if entry.river >= 0])
    routed[[0, -1], :] = False
    routed[:, [0, -1]] = False
    if not routed.any():
        raise ToolError(f"{workdir}: no listed basin has a routed cell (check riverNumList.dat)")
    return values, geometry, routed


def rain_cells(values, geometry, routed):
    """The rainfall grid's cell centres (lon, lat, rows from north, each row from west) and
    the cells routed cells take (the nearest, as the simulator ties them), in the same order."""
    cols, rows = values["rainCols"], values["rainRows"]
    north_first = np.arange(rows - 1, -1, -1)
    lon = values["rainSwLon"] + np.arange(cols)[None, :] * values["rainDx"]
    lat = values["rainSwLat"] + north_first[:, None] * values["rainDy"]
    lon, lat = np.broadcast_to(lon, (rows, cols)), np.broadcast_to(lat, (rows, cols))
    cell_lon, cell_lat = geometry.centre(*np.nonzero(routed))
    col = np.clip(np.ceil((cell_lon - values["rainSwLon"]) / values["rainDx"] - 0.5), 0,
                  cols - 1).astype(int)
    row = np.clip(np.ceil((cell_lat - values["rainSwLat"]) / values["rainDy"] - 0.5), 0,
                  rows - 1).astype(int)
    used = np.zeros((rows, cols), dtype=bool)
    used[rows - 1 - row, col] = True
    return lon.ravel(), lat.ravel(), used.ravel()
