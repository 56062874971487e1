"""Lakes in the tools: prepare-basin --lakes makes the lake list from polygons in a GeoPackage
(outlets, areas against the ellipsoid's area element, the default weir), check-basin checks a
lake list against the V-valley's grid with the simulator's placement rule; refusals."""
import csv
import math
import os

from osgeo import ogr, osr

import support

CELL = support.V_CELL


def square(west, south, size):
    """A polygon of `size` degrees a side from its south-west corner."""
    ring = ogr.Geometry(ogr.wkbLinearRing)
    for lon, lat in ((west, south), (west + size, south), (west + size, south + size),
                     (west, south + size), (west, south)):
        ring.AddPoint_2D(lon, lat)
    polygon = ogr.Geometry(ogr.wkbPolygon)
    polygon.AddGeometry(ring)
    return polygon


def cell_corner(row_from_north, col):
    """South-west corner of a V-valley cell counted as the support module draws them."""
    return support.V_WEST + col * CELL, support.V_NORTH - (row_from_north + 1) * CELL


def write_layer(path, features, epsg=4326, kind=ogr.wkbPolygon, driver="GPKG"):
    """A GeoPackage (or another OGR `driver`'s file) of `features`, each (name, geometry)."""
    source = ogr.GetDriverByName(driver).CreateDataSource(path)
    srs = None
    if epsg:
        srs = osr.SpatialReference()
        srs.ImportFromEPSG(epsg)
    layer = source.CreateLayer("lakes", srs, kind)
    layer.CreateField(ogr.FieldDefn("Lake_name", ogr.OFTString))
    for name, geometry in features:
        feature = ogr.Feature(layer.GetLayerDefn())
        feature.SetField("Lake_name", name)
        feature.SetGeometry(geometry)
        layer.CreateFeature(feature)
    source = None


def ellipsoid_area_km2(west, south, size):
    """Area of a small longitude-latitude square on WGS 84: the area element M N cos(lat) at
    its centre times its sides in radians (exact to far below a millionth at this size)."""
    a, f = 6378137.0, 1 / 298.257223563
    e2 = f * (2 - f)
    lat = math.radians(south + size / 2)
    w = 1 - e2 * math.sin(lat) ** 2
    meridional, normal = a * (1 - e2) / w ** 1.5, a / w ** 0.5
    return meridional * normal * math.cos(lat) * math.radians(size) ** 2 / 1e6


def read_lakes(path):
    with open(path, newline="") as source:
        return list(csv.DictReader(source))


def write_lake_list(workdir, rows):
    with open(os.path.join(workdir, "lakes.csv"), "w") as out:
        out.write("name,lon,lat,area,rule,a,b,start\n" + "".join(row + "\n" for row in rows))


def centre(row_from_north, col):
    west, south = cell_corner(row_from_north, col)
    return f"{west + CELL / 2:.8f},{south + CELL / 2:.8f}"


class PrepareBasinLakesTest(support.ToolTestCase):
    def test_polygons_become_weir_lakes_at_their_outlets(self):
        dem = self.path("valley.tif")
        support.write_v_valley_dem(dem)
        # A lake over rows 3-5 and columns 3-5 of the valley, whose water leaves it at row 5
        # of the middle column; a pond inside one cell of row 8, holding no cell centre; a
        # polygon on the outer ring, which is never routed.
        valley = cell_corner(5, 3)
        pond = cell_corner(8, 4)
        ring = cell_corner(5, 0)
        write_layer(self.path("lakes.gpkg"), [
            ("Valley lake", square(valley[0], valley[1], 3 * CELL)),
            ("Pond", square(pond[0] + 0.1 * CELL, pond[1] + 0.1 * CELL, 0.3 * CELL)),
            ("Ring", square(ring[0] + 0.2 * CELL, ring[1] + 0.2 * CELL, 0.6 * CELL))])
        status, lines = support.run_tool("prepare-basin", dem, self.path("basin"),
                                         "--min-basin", 10, "--lakes", self.path("lakes.gpkg"))
        self.assertEqual(status, 0, lines)
        self.assertIn("lakes.csv: 2 lakes from " + self.path("lakes.gpkg")
                      + "; 1 polygon without a routed cell left out", lines)
        lakes = read_lakes(self.path("basin", "lakes.csv"))
        self.assertEqual([(k["name"], k["rule"], k["b"], k["start"]) for k in lakes],
                         [("Valley lake", "weir", "1.5", "0"), ("Pond", "weir", "1.5", "0")])
        self.assertEqual(f"{lakes[0]['lon']},{lakes[0]['lat']}", centre(5, 4))
        self.assertEqual(f"{lakes[1]['lon']},{lakes[1]['lat']}", centre(8, 4))
        self.assertAlmostEqual(float(lakes[0]["area"]) / ellipsoid_area_km2(*valley, 3 * CELL),
                               1, delta=1e-4)
        self.assertAlmostEqual(float(lakes[1]["area"]) / ellipsoid_area_km2(
            pond[0], pond[1], 0.3 * CELL), 1, delta=1e-4)
        # The crest is as wide as the channel, which grows as the drainage area to the 0.685:
        # the pond drains 56 cells, the lake 35.
        self.assertAlmostEqual(float(lakes[1]["a"]) / float(lakes[0]["a"]),
                               (56 / 35) ** 0.685081138, delta=1e-4)
        # Placed on their own cells, the lakes pass check-basin.
        status, lines = support.run_tool("check-basin", self.path("basin"), "--snap", 0)
        self.assertIn("lakes: 2 in lakes.csv (weir)", lines)
        self.assertFalse([line for line in lines if "lakes.csv" in line and "warning" in line])

    def test_given_crest_width_and_start(self):
        dem = self.path("valley.tif")
        support.write_v_valley_dem(dem)
        corner = cell_corner(5, 3)
        write_layer(self.path("lakes.gpkg"), [("L", square(*corner, 3 * CELL))])
        status, lines = support.run_tool("prepare-basin", dem, self.path("basin"),
                                         "--min-basin", 10, "--lakes", self.path("lakes.gpkg"),
                                         "--lake-crest-width", 20, "--lake-start", 0.25)
        self.assertEqual(status, 0, lines)
        lake = read_lakes(self.path("basin", "lakes.csv"))[0]
        self.assertEqual((lake["a"], lake["b"], lake["start"]), ("34", "1.5", "0.25"))

    def test_bad_lake_input_gets_one_line_and_no_directory(self):
        dem = self.path("valley.tif")
        support.write_v_valley_dem(dem)
        point = ogr.Geometry(ogr.wkbPoint)
        point.AddPoint_2D(10.001, 44.995)
        write_layer(self.path("points.gpkg"), [("P", point)], kind=ogr.wkbPoint)
        write_layer(self.path("nowhere.gpkg"), [("N", square(*cell_corner(5, 3), CELL))],
                    epsg=None)
        write_layer(self.path("nowhere"), [("N", square(*cell_corner(5, 3), CELL))], epsg=None,
                    driver="ESRI Shapefile")  # a shapefile without its .prj
        write_layer(self.path("far.gpkg"), [("F", square(20, 20, 0.01))])
        with open(self.path("text.gpkg"), "w") as out:
            out.write("not a vector file\n")
        cases = (
            (["--lakes", self.path("points.gpkg")], "feature 1 is a point, not a polygon"),
            (["--lakes", self.path("nowhere.gpkg")], "has no coordinate reference system"),
            (["--lakes", self.path("nowhere", "lakes.shp")], "has no coordinate reference system"),
            (["--lakes", self.path("far.gpkg")], "none of its 1 polygons holds a routed cell"),
            (["--lakes", self.path("text.gpkg")], "OGR reads no vector layer from it"),
            (["--lakes", self.path("far.gpkg"), "--lake-layer", "rivers"],
             "has no layer 'rivers' (it has lakes)"),
            (["--lakes", self.path("far.gpkg"), "--lake-name-field", "NAME"],
             "has no field 'NAME'"),
            (["--lake-start", "1"], "--lake-start applies to --lakes"),
            (["--lakes", self.path("far.gpkg"), "--lake-crest-width", "0"],
             "--lake-crest-width 0: must be positive"),
        )
        for k, (options, fragment) in enumerate(cases):
            with self.subTest(fragment=fragment):
                out = self.path(f"basin{k}")
                status, lines = support.run_tool("prepare-basin", dem, out, "--min-basin", 10,
                                                 *options)
                self.assertRefused(status, lines, fragment)
                self.assertFalse(os.path.exists(out))


class CheckBasinLakesTest(support.ToolTestCase):
    def setUp(self):
        super().setUp()
        self.basin = self.path("basin")
        support.write_v_valley_workdir(self.basin)

    def test_lakes_on_routed_cells_pass_and_moves_are_named(self):
        write_lake_list(self.basin, [f"Upper,{centre(3, 4)},0.5,linear,12,,0",
                                     f"\"Lower, dam\",{centre(9, 4)},1,weir,20,1.5,0.1"])
        status, lines = support.run_tool("check-basin", self.basin, "--snap", 0)
        self.assertEqual(status, 0, lines)
        self.assertIn("lakes: 2 in lakes.csv (linear, weir)", lines)
        self.assertEqual(lines[-1], "ok: no errors, no warnings")
        # With the simulator's default reach the upper lake moves two cells down its river.
        status, lines = support.run_tool("check-basin", self.basin)
        self.assertEqual(status, 0, lines)
        self.assertIn("warning: lakes.csv line 2: lake \"Upper\" moves from row 8 col 4 (lon "
                      "10.00375, lat 44.99708) to row 6 col 4 (lon 10.00375, lat 44.99542) "
                      "(runoff-sim --snap 2); with --snap 0 it stays on its own cell, which "
                      "must then be routed", lines)

    def test_each_fault_of_a_lake_list_is_an_error(self):
        faults = (
            (f"A,{centre(6, 3)},1,weir,20,1.5,0\nB,{centre(6, 5)},1,linear,3,,0",
             ["--snap", "1"], "error: lakes.csv line 3: lake \"B\" is placed on row 4 col 4 "
                              "(lon 10.00375, lat 44.99375), the cell of lake \"A\"; a cell "
                              "holds one lake"),
            (f"A,{centre(0, 4)},1,weir,20,1.5,0", ["--snap", "0"],
             "error: lakes.csv line 2: lake \"A\" has no routed cell within 0 cells of row 11 "
             "col 4"),
            ("A,12,45,1,weir,20,1.5,0", [],
             "error: lakes.csv line 2: lake \"A\" at lon 12, lat 45 lies outside the grid"),
            (f"A,{centre(3, 4)},0,weir,20,1.5,0", [],
             "error: lakes.csv line 2: area \"0\" of lake \"A\" must be above 0 (its surface, "
             "km2)"),
            (f"A,{centre(3, 4)},1,sluice,20,1.5,0", [],
             "error: lakes.csv line 2: rule \"sluice\" of lake \"A\" is not linear, weir or "
             "releases"),
            (f"A,{centre(3, 4)},1,linear,0,,0", [],
             "error: lakes.csv line 2: a \"0\" of lake \"A\" must be above 0 (its time "
             "constant, hours)"),
        )
        for rows, options, expected in faults:
            with self.subTest(expected=expected):
                write_lake_list(self.basin, rows.split("\n"))
                status, lines = support.run_tool("check-basin", self.basin, *options)
                self.assertEqual(status, 1, lines)
                self.assertTrue(any(line.startswith(expected) for line in lines),
                                "\n".join(lines))

    def test_a_named_list_must_exist(self):
        status, lines = support.run_tool("check-basin", self.basin, "--lakes",
                                         self.path("none.csv"))
        self.assertEqual(status, 1, lines)
        self.assertIn(f"error: {self.path('none.csv')}: missing", lines)
