// GIS views of the three discharge grids: beside each raw grid ./output/NAME.bin the run writes
// ./output/NAME.vrt, a GDAL virtual raster that presents the raw file north-up and
// georeferenced without copying it, so QGIS, GDAL and rasterio open the results directly and
// gdal_translate turns them into GeoTIFF.
//
// File format (XML text, one per discharge grid):
//   <VRTDataset rasterXSize=topoCols rasterYSize=topoRows>
//     SRS          geographic WGS 84 (EPSG:4326), longitude first in the GeoTransform
//     GeoTransform west edge, cell, 0, north edge, 0, -cell; cell = topoScale / 3600 degrees,
//                  west edge = topoSwLon, north edge = topoSwLat + topoRows * cell (the grid's
//                  south-west corner is the outer corner of its south-west cell)
//     one VRTRawRasterBand per grid of the raw file (per day for the daily files, per hour
//     for the hourly file), in file order, each with
//       Description  "day D" or "day D hour H", both counted from 1
//       NoDataValue  -9999
//       SourceFilename NAME.bin, relative to the .vrt
//       ImageOffset  byte offset of the grid's NORTHERN row: (b * rows * cols + (rows-1) * cols) *
//       4
//                    for band b counted from 0, since the raw rows run from south to north
//       PixelOffset  4, LineOffset -cols * 4 (each image line steps one row south)
//       ByteOrder    LSB: little-endian Float32
// A run of 0 days has empty grid files and no band to describe. GDAL refuses a VRTDataset
// without bands, so no .vrt is written then, and one left by an earlier run is removed: it
// would describe grids that the truncated .bin no longer holds.
#ifndef RUNOFF_OUTPUT_DISCHARGE_VRT_H_
#define RUNOFF_OUTPUT_DISCHARGE_VRT_H_

#include <cstdint>
#include <ostream>
#include <string>

#include "common/discharge_files.h"
#include "common/params.h"
#include "common/status.h"

namespace runoff {

/// Writes the virtual raster of one discharge file (found beside the .vrt).
void writeDischargeVrt(std::ostream& out, const RunParameters& params, DischargeFile file);

/// "./output/dischargeDaily.vrt" and so on.
std::string vrtPath(DischargeFile file);

/// Refuses a run whose .vrt names (of `files`) are taken by a directory ("<path> cannot be
/// written."), which would refuse its view only after the grids are published; a run may ask
/// before routing.
Status checkDischargeVrtPaths(const RunParameters& params,
                              DischargeFileSet files = DischargeFileSet::all());

/// Writes the .vrt files of `files` under ./output/ for the grids of this run (removes them
/// for a run of 0 days); the failure names the file that could not be written or removed.
Status writeDischargeVrts(const RunParameters& params,
                          DischargeFileSet files = DischargeFileSet::all());

}  // namespace runoff

#endif  // RUNOFF_OUTPUT_DISCHARGE_VRT_H_
