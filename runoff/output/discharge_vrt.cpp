#include "runoff/output/discharge_vrt.h"

#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>

#include "common/atomic_file.h"
#include "common/input_file.h"
#include "runoff/output/geographic_crs.h"

namespace runoff {

namespace {

// Shortest text that reads back as the same double, independent of the global locale.
std::string exact(double value) {
  std::ostringstream s;
  s.imbue(std::locale::classic());
  s.precision(17);
  s << value;
  return s.str();
}

std::string describeBand(std::int64_t band, std::int32_t gridsPerDay) {
  std::string text = "day " + std::to_string(band / gridsPerDay + 1);
  if (gridsPerDay > 1) text += " hour " + std::to_string(band % gridsPerDay + 1);
  return text;
}

}  // namespace

std::string vrtPath(DischargeFile file) {
  const std::string bin = outputPath(file);
  return bin.substr(0, bin.size() - 4) + ".vrt";
}

void writeDischargeVrt(std::ostream& out, const RunParameters& params, DischargeFile file) {
  const std::int32_t gridsPerDay = runoff::gridsPerDay(file);
  const char* binName = dischargeFileName(file);
  const std::int64_t rows = params.topoRows;
  const std::int64_t cols = params.topoCols;
  const std::int64_t bands = static_cast<std::int64_t>(params.days) * gridsPerDay;
  const double cellDeg = static_cast<double>(params.topoScale) / 3600.0;
  const double northDeg = params.topoSwLat + static_cast<double>(rows) * cellDeg;

  out << "<VRTDataset rasterXSize=\"" << cols << "\" rasterYSize=\"" << rows << "\">\n";
  // The axis mapping tells GDAL that the GeoTransform gives longitude first, although the
  // authority's axis order is latitude first.
  out << "  <SRS dataAxisToSRSAxisMapping=\"2,1\">" << xmlEscaped(kWgs84Wkt) << "</SRS>\n";
  out << "  <GeoTransform>" << exact(params.topoSwLon) << ", " << exact(cellDeg) << ", 0, "
      << exact(northDeg) << ", 0, " << exact(-cellDeg) << "</GeoTransform>\n";
  const std::int64_t gridBytes = rows * cols * 4;
  for (std::int64_t b = 0; b < bands; ++b) {
    out << "  <VRTRasterBand dataType=\"Float32\" band=\"" << b + 1
        << "\" subClass=\"VRTRawRasterBand\">\n";
    out << "    <Description>" << describeBand(b, gridsPerDay) << "</Description>\n";
    out << "    <NoDataValue>-9999</NoDataValue>\n";
    out << "    <SourceFilename relativeToVRT=\"1\">" << binName << "</SourceFilename>\n";
    out << "    <ImageOffset>" << b * gridBytes + (rows - 1) * cols * 4 << "</ImageOffset>\n";
    out << "    <PixelOffset>4</PixelOffset>\n";
    out << "    <LineOffset>" << -cols * 4 << "</LineOffset>\n";
    out << "    <ByteOrder>LSB</ByteOrder>\n";
    out << "  </VRTRasterBand>\n";
  }
  out << "</VRTDataset>\n";
}

Status checkDischargeVrtPaths(const RunParameters& params, DischargeFileSet files) {
  if (params.days == 0) return {};  // no view is written
  for (DischargeFile file : kDischargeFiles) {
    if (files.has(file) && isDirectoryAt(vrtPath(file))) {
      return Status::ioError(vrtPath(file) + " cannot be written: it is a directory.");
    }
  }
  return {};
}

Status writeDischargeVrts(const RunParameters& params, DischargeFileSet files) {
  // The views go together: none is written when a directory holds the place of one.
  if (Status places = checkDischargeVrtPaths(params, files); !places.ok()) return places;
  for (DischargeFile file : kDischargeFiles) {
    if (!files.has(file)) continue;
    const std::string path = vrtPath(file);
    if (params.days == 0) {
      std::error_code error;
      std::filesystem::remove(path, error);
      if (error) return Status::ioError(path + " cannot be removed.");
      continue;
    }
    AtomicFile vrt(path, std::ios::binary);  // whole or not at all
    if (vrt.isOpen()) writeDischargeVrt(vrt.stream(), params, file);
    if (Status written = vrt.commit(); !written.ok()) return written;
  }
  return {};
}

}  // namespace runoff
