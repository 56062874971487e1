"""Gridded rainfall time series as the tools read them: a regular latitude-longitude grid, one
field per time step, read window by window so that a long or global product never has to fit
in memory.

Two kinds of source: a NetCDF variable with a time dimension (read with the netCDF4 library,
which applies CF packing, missing values, calendars and time bounds), and any raster GDAL
reads whose bands are the time steps (a multi-band GeoTIFF, say), given a start and a step.
"""
import datetime
import re

import numpy as np
from osgeo import gdal, osr

from . import rain_units
from .cli import ToolError

gdal.UseExceptions()

_NETCDF_MAGIC = (b"CDF\x01", b"CDF\x02", b"CDF\x05", b"\x89HDF\r\n\x1a\n")
_REGULAR = 0.01  # largest departure of a coordinate from its regular place, in cells


class Axis:
    """Cell centres first + i * step (degrees) for i in 0 .. count - 1, in stored order."""

    def __init__(self, first, step, count):
        self.first = first
        self.step = step
        self.count = count

    @classmethod
    def from_centres(cls, centres, what, source):
        stored = np.asarray(centres)
        centres = stored.astype(np.float64)
        if centres.ndim != 1 or centres.size < 1 or not np.isfinite(centres).all():
            raise ToolError(f"{source}: its {what} are not a list of numbers")
        if centres.size == 1:
            raise ToolError(f"{source}: one {what[:-1]} only; its cell size is unknown")
        # Coordinates stored in single precision are off by up to a few units in their 8th
        # digit: the tolerances allow for that noise.
        precision = np.finfo(stored.dtype).eps if stored.dtype.kind == "f" else 0.0
        noise = 4 * precision * float(np.abs(centres).max())
        step = (centres[-1] - centres[0]) / (centres.size - 1)
        regular = centres[0] + step * np.arange(centres.size)
        if step == 0 or np.abs(centres - regular).max() > max(_REGULAR * abs(step), noise):
            raise ToolError(f"{source}: its {what} are not evenly spaced; the model needs a "
                            "regular latitude-longitude grid")
        step = _round_step(step, max(1e-4 * abs(step), 2 * noise / (centres.size - 1)))
        first = float(np.mean(centres - step * np.arange(centres.size)))
        return cls(first, step, centres.size)

    def centre(self, index):
        return self.first + index * self.step


class Source:
    """A rainfall data set: `lon` and `lat` axes, `starts` (datetime of each time step's start),
    `interval` (timedelta), `units` (rain_units.Units) and `read(first, stop, rows, cols)`,
    which returns float64 values [time, row, col] in stored order for the steps first..stop-1,
    the given stored row and column indices (each a sorted list), NaN where data are missing."""

    name = ""
    lon = lat = None
    starts = ()
    interval = None
    units = None
    has_bounds = False  # the time steps come with explicit intervals


def _round_step(step, tolerance):
    """The spacing the data were made with: a whole fraction of a degree (1/120 for 30
    arc-seconds) or a value of four significant digits, when one lies within the tolerance."""
    whole_fraction = 1.0 / round(1.0 / step) if abs(step) <= 1 else step
    for candidate in (whole_fraction, float(f"{step:.4g}")):
        if abs(candidate - step) <= tolerance:
            return candidate
    return step


def is_netcdf(path):
    try:
        with open(path, "rb") as head:
            start = head.read(8)
    except OSError as error:
        raise ToolError(f"{path}: {error.strerror}")
    return any(start.startswith(magic) for magic in _NETCDF_MAGIC)


def _runs(indices):
    """Consecutive runs of sorted indices as (start, stop) pairs."""
    runs = []
    for index in indices:
        if runs and index == runs[-1][1]:
            runs[-1][1] += 1
        else:
            runs.append([index, index + 1])
    return runs


class NetcdfSource(Source):
    """`parse_units` reads the units text (rain_units.parse unless given); `what` names the
    data in messages."""

    def __init__(self, path, variable, units_text, parse_units=rain_units.parse,
                 what="rainfall"):
        self._what = what
        import netCDF4  # only NetCDF input needs it
        self.name = path
        try:
            self._dataset = netCDF4.Dataset(path)
        except OSError as error:
            raise ToolError(f"{path}: netCDF cannot read it ({error})")
        self._variable = self._choose(variable)
        self.name = f"{path} ({self._variable.name})"
        dims = self._variable.dimensions
        kinds = [self._kind(dim) for dim in dims]
        for kind in ("time", "lat", "lon"):
            if kinds.count(kind) != 1:
                raise ToolError(f"{self.name}: dimensions {', '.join(dims)} are not time, "
                                "latitude and longitude; the model needs a regular "
                                "latitude-longitude grid")
        for dim, kind in zip(dims, kinds):
            if kind is None and len(self._dataset.dimensions[dim]) != 1:
                raise ToolError(f"{self.name}: has a dimension {dim} of "
                                f"{len(self._dataset.dimensions[dim])} besides time, latitude "
                                "and longitude")
        self._check_grid_mapping()
        self._kinds = kinds
        self._dims = dims
        names = dict(zip(kinds, dims))
        self.lon = Axis.from_centres(self._dataset.variables[names["lon"]][:], "longitudes",
                                     self.name)
        self.lat = Axis.from_centres(self._dataset.variables[names["lat"]][:], "latitudes",
                                     self.name)
        self._read_time(self._dataset.variables[names["time"]], netCDF4)
        text = units_text or getattr(self._variable, "units", None)
        if not text:
            raise ToolError(f"{self.name}: has no units; give them with --units")
        self.units = parse_units(text)

    def _choose(self, name):
        variables = self._dataset.variables
        if name:
            if name not in variables:
                raise ToolError(f"{self.name}: has no variable {name} (it has "
                                f"{', '.join(variables)})")
            return variables[name]
        bounds = {getattr(v, "bounds", None) for v in variables.values()}
        candidates = [v for key, v in variables.items()
                      if key not in self._dataset.dimensions and key not in bounds
                      and len(v.dimensions) >= 3
                      and "time" in [self._kind(dim) for dim in v.dimensions]]
        if not candidates:
            raise ToolError(f"{self.name}: holds no gridded variable with a time dimension")
        if len(candidates) > 1:
            listed = ", ".join(v.name for v in candidates)
            raise ToolError(f"{self.name}: choose the {self._what} variable with --variable "
                            f"(gridded variables with a time dimension: {listed})")
        return candidates[0]

    def _kind(self, dim):
        variable = self._dataset.variables.get(dim)
        if variable is None:
            return None
        units = str(getattr(variable, "units", "")).lower()
        standard = str(getattr(variable, "standard_name", "")).lower()
        axis = str(getattr(variable, "axis", "")).upper()
        if standard == "time" or axis == "T" or " since " in units:
            return "time"
        if standard == "latitude" or units in ("degrees_north", "degree_north", "degree_n",
                                               "degrees_n") or dim.lower() in ("lat",
                                                                               "latitude"):
            return "lat"
        if standard == "longitude" or units in ("degrees_east", "degree_east", "degree_e",
                                                "degrees_e") or dim.lower() in ("lon",
                                                                                "longitude"):
            return "lon"
        return None

    def _check_grid_mapping(self):
        mapping = getattr(self._variable, "grid_mapping", None)
        if mapping and mapping in self._dataset.variables:
            kind = getattr(self._dataset.variables[mapping], "grid_mapping_name",
                           "latitude_longitude")
            if kind != "latitude_longitude":
                raise ToolError(f"{self.name}: is on a {kind} grid; the model needs a "
                                "latitude-longitude grid (regrid it first, e.g. with gdalwarp "
                                "-t_srs EPSG:4326)")

    def _read_time(self, variable, netCDF4):
        units = getattr(variable, "units", "")
        calendar = getattr(variable, "calendar", "standard")

        def dates(values):
            try:
                decoded = netCDF4.num2date(np.asarray(values), units, calendar=calendar,
                                           only_use_cftime_datetimes=False,
                                           only_use_python_datetimes=True)
            except (ValueError, TypeError) as error:
                raise ToolError(f"{self.name}: its time axis ({units}, calendar {calendar}) "
                                f"cannot be read as real dates ({error})")
            return [_to_second(d) for d in np.ravel(decoded)]

        starts = dates(variable[:])
        if not starts:
            raise ToolError(f"{self.name}: holds no time step")
        bounds_name = getattr(variable, "bounds", None)
        if bounds_name and bounds_name in self._dataset.variables:
            edges = dates(self._dataset.variables[bounds_name][:])
            starts, ends = edges[0::2], edges[1::2]
            intervals = {end - start for start, end in zip(starts, ends)}
            if len(intervals) != 1:
                raise ToolError(f"{self.name}: its time bounds have different lengths; "
                                "the model needs one interval")
            self.interval = intervals.pop()
            self.has_bounds = True
        elif len(starts) > 1:
            self.interval = starts[1] - starts[0]
        else:
            raise ToolError(f"{self.name}: one time step and no time bounds: the interval "
                            "of the data is unknown")
        self.starts = starts

    def read(self, first, stop, rows, cols):
        pieces = []
        for col_start, col_stop in _runs(cols):
            index = []
            for dim, kind in zip(self._dims, self._kinds):
                index.append({"time": slice(first, stop), "lat": slice(rows[0], rows[-1] + 1),
                              "lon": slice(col_start, col_stop)}.get(kind, 0))
            data = self._variable[tuple(index)]
            kept = [kind for kind in self._kinds if kind is not None]
            data = np.ma.filled(np.ma.asarray(data).astype(np.float64), np.nan)
            pieces.append(np.transpose(data, [kept.index(k) for k in ("time", "lat", "lon")]))
        values = np.concatenate(pieces, axis=2)
        return values[:, [row - rows[0] for row in rows], :]


def _to_second(moment):
    moment = datetime.datetime(moment.year, moment.month, moment.day, moment.hour,
                               moment.minute, moment.second, moment.microsecond)
    rounded = moment + datetime.timedelta(microseconds=500000)
    return rounded.replace(microsecond=0)


_STEP = re.compile(r"([0-9]+)\s*(s|min|h|d)")
_STEP_UNITS = {"s": "seconds", "min": "minutes", "h": "hours", "d": "days"}


def parse_step(text):
    match = _STEP.fullmatch(text.strip())
    if not match or int(match.group(1)) == 0:
        raise ToolError(f"--step '{text}': give a whole number and s, min, h or d, e.g. 1h "
                        "or 30min")
    return datetime.timedelta(**{_STEP_UNITS[match.group(2)]: int(match.group(1))})


def parse_moment(text, option):
    try:
        moment = datetime.datetime.fromisoformat(text.strip().replace("Z", ""))
    except ValueError:
        raise ToolError(f"{option} '{text}': give a date and time like 2000-07-01T00:00")
    return moment.replace(tzinfo=None)


class RasterSource(Source):
    """Bands of a raster GDAL reads, band 1 the first time step."""

    def __init__(self, path, units_text, start, step):
        try:
            self._dataset = gdal.Open(path)
        except RuntimeError as error:
            raise ToolError(f"{path}: GDAL cannot read it ({str(error).strip()})")
        self.name = path
        if start is None or step is None:
            raise ToolError(f"{path}: a raster without a time axis needs --start and --step")
        transform = self._dataset.GetGeoTransform()
        if transform[2] != 0 or transform[4] != 0:
            raise ToolError(f"{path}: is rotated; the model needs a regular latitude-longitude "
                            "grid")
        wkt = self._dataset.GetProjection()
        if not wkt:
            raise ToolError(f"{path}: has no coordinate reference system (for longitude and "
                            "latitude assign it: gdal_edit.py -a_srs EPSG:4326 RAIN)")
        srs = osr.SpatialReference(wkt=wkt)
        if not srs.IsGeographic():
            raise ToolError(f"{path}: is in a projected coordinate system; the model needs a "
                            "latitude-longitude grid (gdalwarp -t_srs EPSG:4326 -r near)")
        self.lon = Axis(transform[0] + transform[1] / 2, transform[1], self._dataset.RasterXSize)
        self.lat = Axis(transform[3] + transform[5] / 2, transform[5], self._dataset.RasterYSize)
        self.interval = step
        self.starts = [start + i * step for i in range(self._dataset.RasterCount)]
        text = units_text or self._dataset.GetRasterBand(1).GetUnitType()
        if not text:
            raise ToolError(f"{path}: its bands carry no units; give them with --units")
        self.units = rain_units.parse(text)

    def read(self, first, stop, rows, cols):
        fields = []
        for number in range(first + 1, stop + 1):
            band = self._dataset.GetRasterBand(number)
            pieces = [band.ReadAsArray(start, rows[0], end - start, rows[-1] + 1 - rows[0])
                      for start, end in _runs(cols)]
            field = np.concatenate(pieces, axis=1).astype(np.float64)
            no_data = band.GetNoDataValue()
            if no_data is not None:
                field[field == no_data] = np.nan
            field = field * (band.GetScale() or 1.0) + (band.GetOffset() or 0.0)
            fields.append(field[[row - rows[0] for row in rows], :])
        return np.array(fields)


def open_source(path, variable=None, units=None, start=None, step=None):
    if is_netcdf(path):
        if start is not None or step is not None:
            raise ToolError(f"{path}: a NetCDF file has its own time axis; --start and --step "
                            "are for rasters without one")
        return NetcdfSource(path, variable, units)
    if variable:
        raise ToolError(f"{path}: --variable is for NetCDF files")
    return RasterSource(path, units, start, step)
