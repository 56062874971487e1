"""The loss grids of a working directory: the per-cell parameters of runoff-sim --losses.

Each is a topoData/*.bin grid of little-endian float32 records in the layout of modDem.bin
(rows from the south, each row from the west). On every routed cell the value must be a
finite number in the grid's range; other cells may hold anything (the tools write -9999
there when a raster has no value). The table below is the one of runoff/inputs/loss_grids.h.

For --soil-texture-raster the Green-Ampt parameters come by USDA soil texture class from
Rawls, Brakensiek and Miller (1983), "Green-Ampt infiltration parameters from soils data",
Journal of Hydraulic Engineering 109(1), 62-70, as tabulated in Chow, Maidment and Mays,
Applied Hydrology (1988), Table 4.3.1: the effective porosity, the wetting-front suction head
and the saturated hydraulic conductivity of each class.
"""
import math

import numpy as np
from osgeo import gdal

from .cli import ToolError
from .dem_grid import _first_line, _wgs84, open_raster

gdal.UseExceptions()

NO_VALUE = -9999.0  # written on cells a raster gives no value for (never routed ones)

METHODS = ("constant", "scs-cn", "green-ampt")

# name -> (method that reads it, None for every method; required by it; low; high)
LOSS_GRIDS = {
    "impervious": (None, False, 0.0, 1.0),
    "initialLoss": ("constant", True, 0.0, math.inf),
    "constantLoss": ("constant", True, 0.0, math.inf),
    "lossRecovery": ("constant", False, 0.0, math.inf),
    "curveNumber": ("scs-cn", True, 1.0, 100.0),
    "ksat": ("green-ampt", True, 0.0, math.inf),
    "suction": ("green-ampt", True, 0.0, math.inf),
    "moistureDeficit": ("green-ampt", True, 0.0, 1.0),
}


def reads(method, name):
    """True when runoff-sim --losses METHOD reads grid NAME."""
    owner = LOSS_GRIDS[name][0]
    return owner is None or owner == method


def range_text(name):
    low, high = LOSS_GRIDS[name][2:4]
    return f"{low:g} or more" if math.isinf(high) else f"{low:g} to {high:g}"


# USDA texture classes, numbered as in the STATSGO-derived soil categories that land-surface
# models use (1 sand to 12 clay): (name, effective porosity, suction head cm, Ks cm/h) from
# Rawls, Brakensiek and Miller (1983). Their table has no class "silt"; class 5 takes the
# values of silt loam, its nearest neighbour in the texture triangle.
TEXTURES = {
    1: ("sand", 0.417, 4.95, 11.78),
    2: ("loamy sand", 0.401, 6.13, 2.99),
    3: ("sandy loam", 0.412, 11.01, 1.09),
    4: ("silt loam", 0.486, 16.68, 0.65),
    5: ("silt (as silt loam)", 0.486, 16.68, 0.65),
    6: ("loam", 0.434, 8.89, 0.34),
    7: ("sandy clay loam", 0.330, 21.85, 0.15),
    8: ("silty clay loam", 0.432, 27.30, 0.10),
    9: ("clay loam", 0.309, 20.88, 0.10),
    10: ("sandy clay", 0.321, 23.90, 0.06),
    11: ("silty clay", 0.423, 29.22, 0.05),
    12: ("clay", 0.385, 31.63, 0.03),
}


def warp_to_grid(path, geometry, resample):
    """Band 1 of the raster at `path` on the model grid, float64 in storage order (row 0 the
    southern row), NaN where it has no value. `resample` is a GDAL resampling name."""
    dataset = open_raster(path, "EPSG:4326 FILE")
    options = dict(format="MEM", dstSRS=_wgs84(),
                   outputBounds=(geometry.west, geometry.south, geometry.east, geometry.north),
                   width=geometry.cols, height=geometry.rows, resampleAlg=resample,
                   outputType=gdal.GDT_Float64, dstNodata=float("nan"))
    no_data = dataset.GetRasterBand(1).GetNoDataValue()
    if no_data is not None:
        options["srcNodata"] = no_data
    try:
        if dataset.RasterCount > 1:
            dataset = gdal.Translate("", dataset, format="VRT", bandList=[1])
        warped = gdal.Warp("", dataset, **options)
        values = warped.GetRasterBand(1).ReadAsArray().astype(np.float64)
    except RuntimeError as error:
        raise ToolError(f"GDAL cannot warp {path} ({_first_line(error)})")
    return np.flipud(values)


def check_routed(name, values, routed, geometry, source):
    """Refuses values of grid NAME that runoff-sim would refuse on a routed cell, naming the
    first (from the south-west) and where it came from."""
    low, high = LOSS_GRIDS[name][2:4]
    bad = routed & ~(np.isfinite(values) & (values >= low) & (values <= high))
    if bad.any():
        row, col = map(int, np.argwhere(bad)[0])
        value = values[row, col]
        shown = "no value" if np.isnan(value) else f"{value:g}"
        hint = ""
        if name == "impervious" and np.nanmax(values[routed]) > 1:
            hint = "; give fractions, not percent (divide by 100 first, e.g. with gdal_calc.py)"
        raise ToolError(f"{source}: {name}.bin needs {range_text(name)} on every routed cell; "
                        f"{int(bad.sum())} have other values, first "
                        f"{geometry.where(row, col)}: {shown}{hint}")


def texture_parameters(classes, routed, geometry, source, initial_saturation):
    """Ks (mm/h), suction (mm) and moisture deficit from a grid of texture classes; the
    deficit is the effective porosity times (1 - initial effective saturation)."""
    known = np.isin(classes, list(TEXTURES))
    missing = routed & ~known
    if missing.any():
        row, col = map(int, np.argwhere(missing)[0])
        value = classes[row, col]
        shown = "no value" if np.isnan(value) else f"class {value:g}"
        raise ToolError(f"{source}: {int(missing.sum())} routed cells have no texture class "
                        f"of 1 to 12, first {geometry.where(row, col)}: {shown}")
    out = {name: np.full(classes.shape, NO_VALUE) for name in ("ksat", "suction",
                                                                 "moistureDeficit")}
    for code, (_, porosity, suction_cm, ksat_cm) in TEXTURES.items():
        cells = classes == code
        out["ksat"][cells] = 10.0 * ksat_cm
        out["suction"][cells] = 10.0 * suction_cm
        out["moistureDeficit"][cells] = porosity * (1.0 - initial_saturation)
    return out
