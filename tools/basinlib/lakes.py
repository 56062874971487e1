"""The lake list of runoff-sim --lakes (lakes.csv): made from lake polygons, checked against a
working directory.

One lake a line under the header name,lon,lat,area,rule,a,b,start (runoff/inputs/lake_list.h
describes it): the outlet in degrees, the surface in km2, the rule (linear, weir or releases)
and its numbers, the level above the crest at the start in m. The simulator places each outlet
on a routed cell by the rule that places gauges: the routed cell of largest flow accumulation
within --snap cells of the cell holding the point (default 2), ties to the nearest cell, then
the southern, then the western; a cell holds one lake.

From polygons (any vector format OGR reads, in any coordinate reference system) each lake's
outlet is the routed cell of largest flow accumulation whose centre lies inside the polygon
(for a polygon that holds no cell centre, any cell it touches), where its water leaves it; the
area is the polygon's, measured in a Lambert azimuthal equal-area projection centred on it.
The rule is a broad-crested weir, Q = C L h^1.5 with C = 1.7 m^0.5/s (the critical-depth
discharge of a broad crest, 1.705 in SI units) and a crest as wide as the model's channel at
the outlet, L = 1.061722301 A^0.685081138 m for A km2 draining through it, the width the
simulator gives that channel cell: a = 1.7 L, b = 1.5, start 0 (the lake at its crest).
"""
import csv
import io
import math
import re

import numpy as np
from osgeo import gdal, ogr, osr

from . import atomic
from .cli import ToolError

gdal.UseExceptions()
ogr.UseExceptions()

FILE_NAME = "lakes.csv"
HEADER = ("name", "lon", "lat", "area", "rule", "a", "b", "start")
RULES = ("linear", "weir", "releases")
WEIR_COEFFICIENT = 1.7  # m^0.5/s
WEIR_EXPONENT = 1.5
METRES_PER_ARCSEC = 92.6886 / 3  # the simulator's metres per arc-second, north-south
NAME_FIELDS = ("name", "lake_name", "lakename", "gnis_name", "nom")  # tried in this order

# What `a` is under each rule, and the unit, for messages.
MEANING_OF_A = {"linear": "its time constant, hours",
                "weir": "its discharge at a level of 1 m, m3/s",
                "releases": "its capacity, 10^6 m3"}


class Lake:
    def __init__(self, name, lon, lat, area, rule, a, b, start, line=0):
        self.name, self.lon, self.lat, self.area = name, lon, lat, area
        self.rule, self.a, self.b, self.start, self.line = rule, a, b, start, line


def _wgs84():
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(4326)
    srs.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    return srs


def channel_width(geometry, row, flow_acc):
    """The simulator's width, m, of a channel cell in storage row `row` that `flow_acc` cells
    drain through."""
    _, lat = geometry.centre(row, 0)
    height = METRES_PER_ARCSEC * geometry.scale
    width_x = height * math.cos(lat / 180 * 3.14)
    drainage_km2 = flow_acc * height / 1000 * width_x / 1000
    return 1.061722301 * drainage_km2 ** 0.685081138


def _area_km2(polygon):
    """Area of a polygon given in longitude and latitude, in an equal-area projection centred
    on it."""
    centre = polygon.Centroid()
    laea = osr.SpatialReference()
    laea.ImportFromProj4(f"+proj=laea +lat_0={centre.GetY()} +lon_0={centre.GetX()} "
                         "+datum=WGS84 +units=m +no_defs")
    projected = polygon.Clone()
    projected.Transform(osr.CoordinateTransformation(_wgs84(), laea))
    return projected.GetArea() / 1e6


def read_polygons(path, layer_name=None, name_field=None):
    """[(name, polygon in WGS 84 longitude and latitude)] of the first layer (or `layer_name`)
    of a vector file; names from `name_field`, else the first of NAME_FIELDS the layer has,
    else "lake FID"; a name met before gets " FID" added."""
    try:
        source = ogr.Open(path)
    except RuntimeError as error:
        raise ToolError(f"{path}: OGR reads no vector layer from it "
                        f"({str(error).strip() or 'unknown error'})")
    if source is None or source.GetLayerCount() == 0:
        raise ToolError(f"{path}: OGR reads no vector layer from it")
    if layer_name is not None:
        layer = source.GetLayerByName(layer_name)
        if layer is None:
            names = ", ".join(source.GetLayerByIndex(k).GetName()
                              for k in range(source.GetLayerCount()))
            raise ToolError(f"{path}: has no layer {layer_name!r} (it has {names})")
    else:
        layer = source.GetLayerByIndex(0)
    srs = layer.GetSpatialRef()
    # A GeoPackage without one reports an "Undefined geographic SRS" (srs_id 0).
    if srs is None or (srs.GetName() or "").startswith("Undefined"):
        raise ToolError(f"{path}: layer {layer.GetName()!r} has no coordinate reference system; "
                        "assign one, e.g. ogr2ogr -a_srs EPSG:4326 OUT.gpkg IN")
    srs = srs.Clone()
    srs.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    to_wgs84 = osr.CoordinateTransformation(srs, _wgs84())
    definition = layer.GetLayerDefn()
    fields = [definition.GetFieldDefn(k).GetName() for k in range(definition.GetFieldCount())]
    if name_field is not None and name_field not in fields:
        raise ToolError(f"{path}: layer {layer.GetName()!r} has no field {name_field!r} (it has "
                        f"{', '.join(fields) or 'none'})")
    if name_field is None:
        lowered = {field.lower(): field for field in fields}
        name_field = next((lowered[n] for n in NAME_FIELDS if n in lowered), None)
    polygons, seen = [], set()
    for feature in layer:
        shape = feature.GetGeometryRef()
        if shape is None or shape.IsEmpty():
            continue
        kind = ogr.GT_Flatten(shape.GetGeometryType())
        if kind not in (ogr.wkbPolygon, ogr.wkbMultiPolygon):
            raise ToolError(f"{path}: feature {feature.GetFID()} is a "
                            f"{ogr.GeometryTypeToName(kind).lower()}, not a polygon")
        shape = shape.Clone()
        shape.FlattenTo2D()
        try:
            shape.Transform(to_wgs84)
        except RuntimeError as error:
            raise ToolError(f"{path}: feature {feature.GetFID()} cannot be carried to WGS 84 "
                            f"({str(error).strip()})")
        name = str(feature.GetField(name_field) or "").strip() if name_field else ""
        name = name or f"lake {feature.GetFID()}"
        if name in seen:
            name = f"{name} {feature.GetFID()}"
        seen.add(name)
        polygons.append((name, shape))
    return polygons


def _burn(polygons, indexes, geometry, all_touched, into):
    """Burns polygon k + 1 of `indexes` into the cells of `into` (storage order) that hold 0."""
    driver = ogr.GetDriverByName("Memory")
    source = driver.CreateDataSource("lakes")
    layer = source.CreateLayer("lakes", _wgs84(), ogr.wkbMultiPolygon)
    layer.CreateField(ogr.FieldDefn("idx", ogr.OFTInteger))
    for k in indexes:
        feature = ogr.Feature(layer.GetLayerDefn())
        feature.SetField("idx", k + 1)
        feature.SetGeometry(polygons[k][1])
        layer.CreateFeature(feature)
    raster = gdal.GetDriverByName("MEM").Create("", geometry.cols, geometry.rows, 1,
                                                gdal.GDT_Int32)
    raster.SetGeoTransform((geometry.west, geometry.cell, 0, geometry.north, 0, -geometry.cell))
    raster.SetProjection(_wgs84().ExportToWkt())
    options = ["ATTRIBUTE=idx"] + (["ALL_TOUCHED=TRUE"] if all_touched else [])
    gdal.RasterizeLayer(raster, [1], layer, options=options)
    burnt = np.flipud(raster.GetRasterBand(1).ReadAsArray())
    free = into == 0
    into[free] = burnt[free]


def from_polygons(polygons, geometry, flow_acc, routed, crest_width=None, start=0.0):
    """(lakes, left_out): a weir lake for each polygon that holds a routed cell, and the names
    of those that hold none. Each lake's outlet is its routed cell of largest flow accumulation
    (ties to the southern, then the western cell), written as the cell's centre."""
    owner = np.zeros((geometry.rows, geometry.cols), dtype=np.int64)
    _burn(polygons, range(len(polygons)), geometry, False, owner)
    empty = [k for k in range(len(polygons)) if not (owner == k + 1).any()]
    if empty:
        _burn(polygons, empty, geometry, True, owner)
    lakes, left_out = [], []
    accumulation = np.where(routed, flow_acc.astype(np.int64), -1)
    for k, (name, polygon) in enumerate(polygons):
        inside = (owner == k + 1) & routed
        if not inside.any():
            left_out.append(name)
            continue
        candidates = np.where(inside, accumulation, -1)
        row, col = np.unravel_index(int(np.argmax(candidates)), candidates.shape)
        row, col = int(row), int(col)
        lon, lat = geometry.centre(row, col)
        width = crest_width if crest_width is not None else channel_width(
            geometry, row, int(flow_acc[row, col]))
        lakes.append(Lake(name, lon, lat, _area_km2(polygon), "weir",
                          WEIR_COEFFICIENT * width, WEIR_EXPONENT, start))
    return lakes, left_out


def render(lakes):
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(HEADER)
    for lake in lakes:
        writer.writerow([lake.name, f"{lake.lon:.8f}", f"{lake.lat:.8f}", f"{lake.area:.6g}",
                         lake.rule, f"{lake.a:.6g}", f"{lake.b:g}" if lake.rule == "weir" else "",
                         f"{lake.start:g}"])
    return out.getvalue()


def write(path, lakes):
    atomic.write_text(path, render(lakes))


_REAL = re.compile(r"[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?")


def _number(text):
    """The value of a decimal number as the simulator reads it; None for anything else."""
    if not _REAL.fullmatch(text):
        return None
    value = float(text)
    return value if math.isfinite(value) else None


def read(path, label):
    """(lakes, problems): the lakes of a list, and the first refusal the simulator would make
    (one line, or none), naming `label`, the line and the value."""
    with open(path, encoding="utf-8-sig", errors="replace", newline="") as source:
        rows = list(csv.reader(source, skipinitialspace=True))
    lakes, columns, width, seen = [], None, 0, {}
    for number, fields in enumerate(rows, start=1):
        fields = [field.strip() for field in fields]
        where = f"{label} line {number}"
        if not any(fields):
            continue
        if columns is None:
            lowered = [field.lower() for field in fields]
            aliases = {"lon": ("lon", "longitude"), "lat": ("lat", "latitude")}
            columns = {}
            for name in HEADER:
                found = [k for k, field in enumerate(lowered) if field in aliases.get(name,
                                                                                      (name,))]
                if not found:
                    return lakes, f"{where}: the header names no column \"{name}\" (expected " \
                                  f"{','.join(HEADER)})"
                columns[name] = found[0]
            width = len(fields)
            continue
        if len(fields) != width:
            return lakes, f"{where} has {len(fields)} fields, not {width}"
        field = {name: fields[k] for name, k in columns.items()}
        name = field["name"]
        if not name:
            return lakes, f"{where}: the lake has no name"

        def refused(column, why):
            return lakes, f"{where}: {column} \"{field[column]}\" of lake \"{name}\" {why}"

        rule = field["rule"].lower()
        if rule not in RULES:
            return refused("rule", "is not linear, weir or releases")
        values = {}
        for column in ("lon", "lat", "area", "a") + (("b",) if rule == "weir" else ()):
            values[column] = _number(field[column])
            if values[column] is None:
                return refused(column, "is not a number")
        values["start"] = 0.0 if not field["start"] else _number(field["start"])
        if values["start"] is None:
            return refused("start", "is not a number")
        if not values["area"] > 0:
            return refused("area", "must be above 0 (its surface, km2)")
        if not values["a"] > 0:
            return refused("a", f"must be above 0 ({MEANING_OF_A[rule]})")
        if rule == "weir" and not values["b"] > 0:
            return refused("b", "must be above 0 (the weir's exponent of the level, 1.5 for a "
                                "broad crest)")
        if not values["start"] >= 0:
            return refused("start", "must be 0 or more (the level above the crest at the "
                                    "start, m)")
        if name in seen:
            return lakes, f"{where}: lake \"{name}\" is already listed on line {seen[name]}"
        seen[name] = number
        lakes.append(Lake(name, values["lon"], values["lat"], values["area"], rule, values["a"],
                          values.get("b", 0.0), values["start"], number))
    if not lakes:
        return lakes, f"{label} lists no lake"
    return lakes, None


def place(lake, geometry, flow_acc, routed, snap):
    """(home, placed): the cell holding the lake's point and the cell the simulator places its
    outlet on (storage row and column), either None where it finds none."""
    home = geometry.cell_of(lake.lon, lake.lat)
    if home is None:
        return None, None
    row, col = home
    best, best_key = None, None
    for r in range(max(row - snap, 0), min(row + snap, geometry.rows - 1) + 1):
        for c in range(max(col - snap, 0), min(col + snap, geometry.cols - 1) + 1):
            if not routed[r, c]:
                continue
            key = (int(flow_acc[r, c]), -((r - row) ** 2 + (c - col) ** 2))
            if best_key is None or key > best_key:
                best, best_key = (r, c), key
    return home, best
