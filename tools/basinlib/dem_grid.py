"""The DEM on this model's grid: geographic WGS 84, square cells of a given size in
arc-seconds, elevation resampled bilinearly by GDAL.

Placement of the grid: a DEM that is already geographic keeps its own cell edges as far as the
new cell size allows (the grid is anchored at the DEM's corner), so that a DEM at the target
resolution is taken over cell for cell without any resampling; a projected DEM gets cells whose
edges lie on whole multiples of the cell size, so that grids of one cell size line up. Either
way the grid is the largest one that lies inside the DEM's footprint, so that every cell
samples data rather than the empty wedges a reprojection leaves at the borders.
"""
import math

import numpy as np
from osgeo import gdal, osr

from .cli import ToolError
from .grids import GridGeometry

gdal.UseExceptions()

_EDGE_SAMPLES = 64  # points per DEM edge when its outline is carried into geographic space
_SNAP = 1e-6        # fraction of a cell within which a bound counts as lying on a cell edge


def open_raster(path, srs_example):
    """The dataset of a georeferenced raster, with one-line refusals for a file GDAL cannot
    read, one without a band and one without a coordinate reference system (the refusal
    suggests assigning `srs_example`, e.g. "EPSG:4326 FILE")."""
    try:
        dataset = gdal.Open(path)
    except RuntimeError as error:
        raise ToolError(f"{path}: GDAL cannot read it ({_first_line(error)})")
    if dataset is None or dataset.RasterCount < 1:
        raise ToolError(f"{path}: holds no raster band")
    if not dataset.GetProjection():
        raise ToolError(f"{path}: has no coordinate reference system; assign one, e.g. "
                        f"gdal_edit.py -a_srs {srs_example}")
    return dataset


def open_dem(path):
    """The DEM's dataset, with one-line refusals for what cannot be a DEM."""
    dataset = open_raster(path, "EPSG:32617 DEM")
    transform = dataset.GetGeoTransform()
    if transform[2] != 0 or transform[4] != 0:
        raise ToolError(f"{path}: is rotated; make it north-up first, e.g. with gdalwarp")
    return dataset


def _first_line(error):
    return str(error).strip().splitlines()[0] if str(error).strip() else "unknown error"


def _wgs84():
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(4326)
    srs.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    return srs


def _dem_srs(dataset):
    srs = osr.SpatialReference()
    srs.ImportFromWkt(dataset.GetProjection())
    srs.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    return srs


def describe_resolution(dataset):
    srs = _dem_srs(dataset)
    transform = dataset.GetGeoTransform()
    if srs.IsGeographic():
        return f"{abs(transform[1]) * 3600 * _degrees_per_unit(srs):.4g} arc-second cells"
    unit = srs.GetLinearUnitsName() or "unit"
    return f"{abs(transform[1]):g} x {abs(transform[5]):g} {unit} cells"


def _degrees_per_unit(srs):
    return srs.GetAngularUnits() * 180.0 / math.pi


def native_arcsec(dataset):
    """The DEM's resolution in arc-seconds: its own cell size when geographic, else the square
    cell GDAL suggests for the reprojected DEM (which keeps about as many cells)."""
    srs = _dem_srs(dataset)
    transform = dataset.GetGeoTransform()
    if srs.IsGeographic():
        return abs(transform[1]) * 3600.0 * _degrees_per_unit(srs)
    suggested = gdal.Warp("", dataset, format="VRT", dstSRS=_wgs84())
    return abs(suggested.GetGeoTransform()[1]) * 3600.0


def _outline(dataset):
    """Points along the DEM's outer edges, in longitude and latitude: four arrays (west, east,
    south, north edge), each of (lon, lat) pairs."""
    transform = dataset.GetGeoTransform()
    width, height = dataset.RasterXSize, dataset.RasterYSize
    steps = np.linspace(0.0, 1.0, _EDGE_SAMPLES)
    edges = {
        "west": [(0.0, t * height) for t in steps],
        "east": [(width, t * height) for t in steps],
        "south": [(t * width, height) for t in steps],
        "north": [(t * width, 0.0) for t in steps],
    }
    to_wgs84 = osr.CoordinateTransformation(_dem_srs(dataset), _wgs84())
    outline = {}
    for name, pixels in edges.items():
        points = [(transform[0] + px * transform[1], transform[3] + py * transform[5])
                  for px, py in pixels]
        try:
            outline[name] = np.array([to_wgs84.TransformPoint(x, y)[:2] for x, y in points])
        except RuntimeError as error:
            raise ToolError(f"the DEM's corners cannot be carried to WGS 84 "
                            f"({_first_line(error)})")
    return outline


def choose_grid(dataset, scale):
    """The model grid of `scale`-arc-second cells inside the DEM's footprint."""
    outline = _outline(dataset)
    west = outline["west"][:, 0].max()
    east = outline["east"][:, 0].min()
    south = outline["south"][:, 1].max()
    north = outline["north"][:, 1].min()
    cell = scale / 3600.0
    srs = _dem_srs(dataset)
    if srs.IsGeographic():
        anchor_lon, anchor_lat = west, south
    else:
        anchor_lon, anchor_lat = 0.0, 0.0
    first_col = math.ceil((west - anchor_lon) / cell - _SNAP)
    last_col = math.floor((east - anchor_lon) / cell + _SNAP)
    first_row = math.ceil((south - anchor_lat) / cell - _SNAP)
    last_row = math.floor((north - anchor_lat) / cell + _SNAP)
    cols, rows = last_col - first_col, last_row - first_row
    if cols < 3 or rows < 3:
        raise ToolError(f"the DEM holds only {max(rows, 0)} x {max(cols, 0)} cells of "
                        f"{scale:g} arc-seconds; the model needs at least 3 x 3 (its outer "
                        "ring is never routed)")
    return GridGeometry(scale, cols, rows, anchor_lon + first_col * cell,
                        anchor_lat + first_row * cell)


def warp(dataset, geometry):
    """The DEM on `geometry`, north-up float32, NaN where the DEM has no data."""
    band = dataset.GetRasterBand(1)
    source_no_data = band.GetNoDataValue()
    options = dict(
        format="MEM", dstSRS=_wgs84(),
        outputBounds=(geometry.west, geometry.south, geometry.east, geometry.north),
        width=geometry.cols, height=geometry.rows, resampleAlg="bilinear",
        outputType=gdal.GDT_Float32, dstNodata=float("nan"))
    if source_no_data is not None:
        options["srcNodata"] = source_no_data
    try:
        if dataset.RasterCount > 1:  # the elevation is band 1; the warper would take them all
            dataset = gdal.Translate("", dataset, format="VRT", bandList=[1])
        warped = gdal.Warp("", dataset, **options)
        elevation = warped.GetRasterBand(1).ReadAsArray().astype(np.float32)
    except RuntimeError as error:
        raise ToolError(f"GDAL cannot warp the DEM ({_first_line(error)})")
    return elevation
