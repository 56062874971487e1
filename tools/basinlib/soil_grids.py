"""The soil grids of a working directory: the per-cell parameters of runoff-sim --soil.

Each is a topoData/*.bin grid of little-endian float32 records in the layout of modDem.bin
(rows from the south, each row from the west). On every routed cell the value must be a
finite number in the grid's range; other cells may hold anything (the tools write -9999 there
when a raster has no value). The table below is the one of runoff/inputs/soil_grids.h.

For --soil-texture-raster with --soil-depth the soil's capacity is the available water
capacity of the texture class times the depth. The available water capacity is the water held
between field capacity (-33 kPa) and the wilting point (-1500 kPa), from the mean retention of
each USDA texture class in Rawls, Brakensiek and Saxton (1982), "Estimation of soil water
properties", Transactions of the ASAE 25(5), 1316-1320, Table 2 (as the Handbook of Hydrology,
Maidment 1993, Table 5.3.2, reproduces it).
"""
import math

import numpy as np

from .cli import ToolError

# name -> (low, high, low itself excluded, unit)
SOIL_GRIDS = {
    "soilCapacity": (0.0, math.inf, True, "mm"),
    "percolation": (0.0, math.inf, False, "mm/h"),
    "baseflowTime": (0.0, math.inf, True, "hours"),
}

# USDA texture classes numbered as for the loss grids (1 sand to 12 clay): (name, volumetric
# water content at -33 kPa, at -1500 kPa) from Rawls, Brakensiek and Saxton (1982). Their table
# has no class "silt"; class 5 takes the values of silt loam, its nearest neighbour in the
# texture triangle.
RETENTION = {
    1: ("sand", 0.091, 0.033),
    2: ("loamy sand", 0.125, 0.055),
    3: ("sandy loam", 0.207, 0.095),
    4: ("silt loam", 0.330, 0.133),
    5: ("silt (as silt loam)", 0.330, 0.133),
    6: ("loam", 0.270, 0.117),
    7: ("sandy clay loam", 0.255, 0.148),
    8: ("silty clay loam", 0.366, 0.208),
    9: ("clay loam", 0.318, 0.197),
    10: ("sandy clay", 0.339, 0.239),
    11: ("silty clay", 0.387, 0.250),
    12: ("clay", 0.396, 0.272),
}


def available_water(code):
    """Available water capacity of texture class `code`, a volume fraction."""
    _, field_capacity, wilting_point = RETENTION[code]
    return field_capacity - wilting_point


def range_text(name):
    low, high, open_low, _ = SOIL_GRIDS[name]
    if math.isinf(high):
        return f"above {low:g}" if open_low else f"{low:g} or more"
    return f"{low:g} to {high:g}"


def number_text(name):
    """The range after "a number": "above 0", "of 0 or more"."""
    text = range_text(name)
    return text if text.startswith("above") else "of " + text


def accepts(name, values):
    """True where `values` may stand on a routed cell of grid NAME."""
    low, high, open_low, _ = SOIL_GRIDS[name]
    values = np.asarray(values, dtype=np.float64)
    with np.errstate(invalid="ignore"):
        above = values > low if open_low else values >= low
        return np.isfinite(values) & above & (values <= high)


def check_routed(name, values, routed, geometry, source):
    """Refuses values of grid NAME that runoff-sim --soil would refuse on a routed cell,
    naming the first (from the south-west) and where it came from."""
    bad = routed & ~accepts(name, values)
    if bad.any():
        row, col = map(int, np.argwhere(bad)[0])
        value = values[row, col]
        shown = "no value" if np.isnan(value) else f"{value:g}"
        raise ToolError(f"{source}: {name}.bin needs {range_text(name)} on every routed cell; "
                        f"{int(bad.sum())} have other values, first "
                        f"{geometry.where(row, col)}: {shown}")


def capacity_from_texture(classes, routed, geometry, source, depth_mm, no_value):
    """The soil's capacity (mm) from a grid of texture classes: the class's available water
    capacity times `depth_mm`; `no_value` on cells without a known class (never routed)."""
    known = np.isin(classes, list(RETENTION))
    missing = routed & ~known
    if missing.any():
        row, col = map(int, np.argwhere(missing)[0])
        value = classes[row, col]
        shown = "no value" if np.isnan(value) else f"class {value:g}"
        raise ToolError(f"{source}: {int(missing.sum())} routed cells have no texture class "
                        f"of 1 to 12, first {geometry.where(row, col)}: {shown}")
    capacity = np.full(classes.shape, no_value)
    for code in RETENTION:
        capacity[classes == code] = available_water(code) * depth_mm
    return capacity
