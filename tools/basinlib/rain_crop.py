"""The window of a rainfall grid that the model needs for a topography grid.

The simulator gives every topography cell the rainfall cell whose centre is nearest (ties to
the southern, then the western cell); on a regular grid that is the rainfall cell holding the
topography cell. The window holds every rainfall cell some topography cell takes, plus one cell
of margin where the data have it. Indices here run from west to east and from south to north
("virtual" indices; a global grid repeats every 360 degrees), whatever order the data are
stored in.
"""
import math

import numpy as np

from .cli import ToolError

_EDGE_TOLERANCE = 1e-9  # cells: a topography centre this close outside the data still counts


class _Axis:
    """One axis in ascending order: centre of index 0, spacing, count, and the way back to the
    stored index (reversed, wrapping every `count` cells for a global longitude axis)."""

    def __init__(self, axis, shift=0.0, wraps=False):
        self.step = abs(axis.step)
        self.reversed = axis.step < 0
        low = axis.first if not self.reversed else axis.centre(axis.count - 1)
        self.first = low + shift
        self.count = axis.count
        self.wraps = wraps

    def position(self, coordinate):
        """Fractional index of a coordinate."""
        return (np.asarray(coordinate) - self.first) / self.step

    def nearest(self, coordinate):
        return np.ceil(self.position(coordinate) - 0.5).astype(np.int64)

    def inside(self, coordinate):
        position = self.position(coordinate)
        if self.wraps:
            return np.ones(np.shape(position), dtype=bool)
        return (position >= -0.5 - _EDGE_TOLERANCE) & (
            position <= self.count - 0.5 + _EDGE_TOLERANCE)

    def stored(self, index):
        index = index % self.count if self.wraps else index
        return self.count - 1 - index if self.reversed else index

    def centre(self, index):
        return self.first + index * self.step


class Window:
    """The cropped rainfall grid: `cols` x `rows` cells of `dx` x `dy` degrees, south-west
    centre (`sw_lon`, `sw_lat`); `used` marks (south-first) the cells that routed cells take."""

    def __init__(self, source, geometry, routed):
        lon_span = abs(source.lon.step) * source.lon.count
        wraps = abs(lon_span - 360.0) < 0.01 * abs(source.lon.step)
        centre_lon = (geometry.west + geometry.east) / 2
        data_mid = source.lon.first + source.lon.step * (source.lon.count - 1) / 2
        shift = 360.0 * round((centre_lon - data_mid) / 360.0)
        self._lon = _Axis(source.lon, shift, wraps)
        self._lat = _Axis(source.lat)
        self._check_cover(source, geometry, routed)

        cell = geometry.cell
        lon_centres = geometry.west + (np.arange(geometry.cols) + 0.5) * cell
        lat_centres = geometry.south + (np.arange(geometry.rows) + 0.5) * cell
        first_col, last_col = self._span(self._lon, lon_centres)
        first_row, last_row = self._span(self._lat, lat_centres)
        self._cols = list(range(first_col, last_col + 1))
        self._rows = list(range(first_row, last_row + 1))
        self.cols, self.rows = len(self._cols), len(self._rows)
        self.dx, self.dy = self._lon.step, self._lat.step
        self.sw_lon = clean(self._lon.centre(first_col), self.dx)
        self.sw_lat = clean(self._lat.centre(first_row), self.dy)

        rows, cols = np.nonzero(routed)
        lon, lat = geometry.centre(rows, cols)
        self.used = np.zeros((self.rows, self.cols), dtype=bool)
        self.used[self._lat.nearest(lat) - first_row, self._lon.nearest(lon) - first_col] = True

    def _check_cover(self, source, geometry, routed):
        rows, cols = np.nonzero(routed)
        lon, lat = geometry.centre(rows, cols)
        outside = ~(self._lon.inside(lon) & self._lat.inside(lat))
        if outside.any():
            first = int(np.flatnonzero(outside)[0])
            west = self._lon.centre(-0.5)
            east = self._lon.centre(self._lon.count - 0.5)
            south = self._lat.centre(-0.5)
            north = self._lat.centre(self._lat.count - 0.5)
            raise ToolError(f"{source.name}: does not cover the basin: "
                            f"{int(outside.sum())} routed cells lie outside its grid (lon "
                            f"{west:.6g} to {east:.6g}, lat {south:.6g} to {north:.6g}), "
                            f"first {geometry.where(int(rows[first]), int(cols[first]))}")

    @staticmethod
    def _span(axis, centres):
        """Virtual indices of the cells the topography centres take, one cell of margin where
        the data have it."""
        first = int(axis.nearest(centres.min())) - 1
        last = int(axis.nearest(centres.max())) + 1
        if not axis.wraps:
            first, last = max(first, 0), min(last, axis.count - 1)
        return first, last

    def read(self, source, first_step, stop_step):
        """Values [step, row, col] of the window, rows from north to south."""
        stored_rows = [self._lat.stored(r) for r in self._rows]
        stored_cols = [self._lon.stored(c) for c in self._cols]
        row_order, col_order = sorted(set(stored_rows)), sorted(set(stored_cols))
        data = source.read(first_step, stop_step, row_order, col_order)
        row_at = {stored: i for i, stored in enumerate(row_order)}
        col_at = {stored: i for i, stored in enumerate(col_order)}
        data = data[:, [row_at[r] for r in stored_rows], :][:, :, [col_at[c] for c in
                                                                   stored_cols]]
        return data[:, ::-1, :]

    def describe_cell(self, row_from_north, col):
        lon = self.sw_lon + col * self.dx
        lat = self.sw_lat + (self.rows - 1 - row_from_north) * self.dy
        return f"rain cell at lon {lon:.6g}, lat {lat:.6g}"

    def degrees(self):
        return (f"{self.cols} x {self.rows} rain cells of {self.dx:.6g} x {self.dy:.6g} "
                f"degrees, south-west centre lon {self.sw_lon:.6g}, lat {self.sw_lat:.6g}")


class Sampler:
    """The data's nearest cell to each of a list of points (the centres of the rainfall grid's
    cells, for data on another grid): `read(first, stop)` gives values [step, point], NaN at
    the points outside the data. Refuses data that leave a point of `needed` uncovered."""

    def __init__(self, source, lons, lats, needed, describe):
        lons, lats = np.asarray(lons, dtype=np.float64), np.asarray(lats, dtype=np.float64)
        self.needed = needed
        lon_span = abs(source.lon.step) * source.lon.count
        wraps = abs(lon_span - 360.0) < 0.01 * abs(source.lon.step)
        data_mid = source.lon.first + source.lon.step * (source.lon.count - 1) / 2
        shift = 360.0 * np.round((float(np.mean(lons)) - data_mid) / 360.0)
        self._lon = _Axis(source.lon, shift, wraps)
        self._lat = _Axis(source.lat)
        self.inside = self._lon.inside(lons) & self._lat.inside(lats)
        outside = needed & ~self.inside
        if outside.any():
            first = int(np.flatnonzero(outside)[0])
            raise ToolError(f"{source.name}: does not cover the basin: {int(outside.sum())} "
                            f"rain cells of the basin lie outside its grid, first "
                            f"{describe(first)}")
        def stored(axis, indices):
            if not axis.wraps:
                indices = np.clip(indices, 0, axis.count - 1)
            return np.array([axis.stored(int(i)) for i in indices])
        self._cols = stored(self._lon, self._lon.nearest(lons))
        self._rows = stored(self._lat, self._lat.nearest(lats))

    def read(self, source, first_step, stop_step):
        kept = np.flatnonzero(self.inside)
        values = np.full((stop_step - first_step, self.inside.size), np.nan)
        if kept.size == 0:
            return values
        rows, cols = sorted(set(self._rows[kept])), sorted(set(self._cols[kept]))
        data = source.read(first_step, stop_step, rows, cols)
        row_at = {stored: i for i, stored in enumerate(rows)}
        col_at = {stored: i for i, stored in enumerate(cols)}
        values[:, kept] = data[:, [row_at[r] for r in self._rows[kept]],
                               [col_at[c] for c in self._cols[kept]]]
        return values


def clean(value, step):
    """A coordinate without the noise of single-precision storage: the nearest micro-degree
    when that lies within a ten-thousandth of a cell."""
    rounded = round(value, 6)
    return rounded if math.isclose(value, rounded, abs_tol=1e-4 * step) else value
