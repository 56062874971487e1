// The coordinate reference system of every grid the model writes: geographic coordinates on
// WGS 84 (EPSG:4326), as GIS software writes its well-known text, so that GDAL, QGIS and NetCDF
// readers recognise the authority code instead of a custom datum.
#ifndef RUNOFF_OUTPUT_GEOGRAPHIC_CRS_H_
#define RUNOFF_OUTPUT_GEOGRAPHIC_CRS_H_

#include <string>

namespace runoff {

/// WGS 84 as OGC well-known text (version 1). Its axis order is latitude first; writers that
/// give longitude first say so beside it.
inline constexpr const char* kWgs84Wkt =
    "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563,"
    "AUTHORITY[\"EPSG\",\"7030\"]],AUTHORITY[\"EPSG\",\"6326\"]],PRIMEM[\"Greenwich\",0,"
    "AUTHORITY[\"EPSG\",\"8901\"]],UNIT[\"degree\",0.0174532925199433,AUTHORITY[\"EPSG\","
    "\"9122\"]],AXIS[\"Latitude\",NORTH],AXIS[\"Longitude\",EAST],AUTHORITY[\"EPSG\",\"4326\"]]";

/// `text` with the characters XML reserves written as entities, for an element's content.
std::string xmlEscaped(const std::string& text);

}  // namespace runoff

#endif  // RUNOFF_OUTPUT_GEOGRAPHIC_CRS_H_
