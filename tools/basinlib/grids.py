"""The topography grids of a working directory and their geographic frame.

Four headerless grids of little-endian 4-byte records under topoData/: rows from the southern
to the northern row, each row from west to east. The tools keep arrays in that same storage
order (array row 0 = southern row), so that a row number in a message, in riverNumList.dat and
in the files is one and the same. Beside each grid a GDAL virtual raster presents it north-up
and georeferenced (WGS 84), so that QGIS or gdalinfo open it without a copy.
"""
import os

import numpy as np

from . import atomic

TOPO_DIR = "topoData"

# name -> (file, numpy type, GDAL type, no-data value shown in GIS or None, meaning)
GRIDS = {
    "modDem": ("modDem.bin", "<f4", "Float32", -9999, "filled elevation, m"),
    "flowDir": ("flowDir.bin", "<i4", "Int32", None, "D8 direction 1=N clockwise to 8=NW"),
    "flowAcc": ("flowAcc.bin", "<i4", "Int32", 0, "cells draining through the cell"),
    "riverNum": ("riverNum.bin", "<i4", "Int32", -1, "basin number, negative = none"),
}

NO_ELEVATION = -9999.0  # modDem value of a cell outside the DEM's data

# The grids of runoff-sim --losses, float32 in the same layout, -9999 where a raster gave no
# value (their methods and ranges are in loss_grids.py).
LOSS_GRID_MEANINGS = {
    "impervious": "impervious fraction of the cell",
    "initialLoss": "initial loss, mm",
    "constantLoss": "constant loss rate, mm/h",
    "lossRecovery": "recovery of the initial loss, mm/day",
    "curveNumber": "SCS curve number",
    "ksat": "saturated hydraulic conductivity, mm/h",
    "suction": "wetting-front suction head, mm",
    "moistureDeficit": "moisture deficit, theta_s - theta_i",
}
# The grids of runoff-sim --soil, the same way (their ranges are in soil_grids.py).
SOIL_GRID_MEANINGS = {
    "soilCapacity": "water the soil holds when full, mm",
    "percolation": "percolation from a full soil, mm/h",
    "baseflowTime": "time constant of the baseflow, hours",
}
SPECS = dict(GRIDS)
SPECS.update({name: (name + ".bin", "<f4", "Float32", -9999, meaning)
              for name, meaning in {**LOSS_GRID_MEANINGS, **SOIL_GRID_MEANINGS}.items()})

# EPSG:4326 with the axis mapping that tells GDAL the GeoTransform gives longitude first.
_WGS84_WKT = (
    'GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563,'
    'AUTHORITY["EPSG","7030"]],AUTHORITY["EPSG","6326"]],PRIMEM["Greenwich",0,'
    'AUTHORITY["EPSG","8901"]],UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],'
    'AXIS["Latitude",NORTH],AXIS["Longitude",EAST],AUTHORITY["EPSG","4326"]]')


class GridGeometry:
    """A geographic grid of square cells: `scale` arc-seconds, `rows` x `cols`, outer south-west
    corner at (`west`, `south`) degrees."""

    def __init__(self, scale, cols, rows, west, south):
        self.scale = float(scale)
        self.cols = int(cols)
        self.rows = int(rows)
        self.west = float(west)
        self.south = float(south)

    @classmethod
    def from_params(cls, values):
        return cls(values["topoScale"], values["topoCols"], values["topoRows"],
                   values["topoSwLon"], values["topoSwLat"])

    @property
    def cell(self):
        """Cell size in degrees."""
        return self.scale / 3600.0

    @property
    def north(self):
        return self.south + self.rows * self.cell

    @property
    def east(self):
        return self.west + self.cols * self.cell

    def centre(self, row, col):
        """Longitude and latitude of a cell centre; `row` counted from the south."""
        return self.west + (col + 0.5) * self.cell, self.south + (row + 0.5) * self.cell

    def cell_of(self, lon, lat):
        """(row from the south, column) of the cell holding the point, or None outside."""
        col = int(np.floor((lon - self.west) / self.cell))
        row = int(np.floor((lat - self.south) / self.cell))
        if 0 <= row < self.rows and 0 <= col < self.cols:
            return row, col
        return None

    def where(self, row, col):
        """A cell as messages name it: storage row and column (from 0 at the south-west, as in
        riverNumList.dat) and the centre's coordinates."""
        lon, lat = self.centre(row, col)
        return f"row {row} col {col} (lon {lon:.5f}, lat {lat:.5f})"

    def describe(self):
        return (f"{self.rows} rows x {self.cols} columns of {self.scale:g} arc-second cells, "
                f"south-west corner lon {self.west:.6f}, lat {self.south:.6f}")


def grid_path(workdir, name):
    return os.path.join(workdir, TOPO_DIR, SPECS[name][0])


def read_grid(workdir, name, geometry):
    """One grid as a (rows, cols) array in storage order; None when the file has another size
    than the grid needs (the caller reports it)."""
    path = grid_path(workdir, name)
    data = np.fromfile(path, dtype=SPECS[name][1])
    if data.size != geometry.rows * geometry.cols or os.path.getsize(path) % 4:
        return None
    return data.reshape(geometry.rows, geometry.cols)


def grid_bytes(name, array):
    return np.ascontiguousarray(array, dtype=SPECS[name][1]).tobytes()


def vrt_text(name, geometry):
    """A virtual raster that shows the raw grid north-up: it starts at the last stored row (the
    northern one) and steps backwards one row at a time."""
    file_name, _, gdal_type, no_data, meaning = SPECS[name]
    cell = geometry.cell
    row_bytes = geometry.cols * 4
    no_data_line = f"    <NoDataValue>{no_data}</NoDataValue>\n" if no_data is not None else ""
    return (
        f'<VRTDataset rasterXSize="{geometry.cols}" rasterYSize="{geometry.rows}">\n'
        f'  <SRS dataAxisToSRSAxisMapping="2,1">{_escape(_WGS84_WKT)}</SRS>\n'
        f"  <GeoTransform>{geometry.west!r}, {cell!r}, 0, {geometry.north!r}, 0, "
        f"{-cell!r}</GeoTransform>\n"
        f'  <VRTRasterBand dataType="{gdal_type}" band="1" subClass="VRTRawRasterBand">\n'
        f"    <Description>{name}: {meaning}</Description>\n"
        f"{no_data_line}"
        f'    <SourceFilename relativeToVRT="1">{file_name}</SourceFilename>\n'
        f"    <ImageOffset>{(geometry.rows - 1) * row_bytes}</ImageOffset>\n"
        f"    <PixelOffset>4</PixelOffset>\n"
        f"    <LineOffset>{-row_bytes}</LineOffset>\n"
        f"    <ByteOrder>LSB</ByteOrder>\n"
        f"  </VRTRasterBand>\n"
        f"</VRTDataset>\n")


def _escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace(
        '"', "&quot;")


def write_grids(workdir, geometry, arrays):
    """Writes each grid of `arrays` (name -> storage-order array) and its .vrt, each whole."""
    folder = os.path.join(workdir, TOPO_DIR)
    for name, array in arrays.items():
        atomic.write_bytes(grid_path(workdir, name), grid_bytes(name, array))
        vrt = os.path.join(folder, os.path.splitext(SPECS[name][0])[0] + ".vrt")
        atomic.write_text(vrt, vrt_text(name, geometry))
