"""prepare-basin end to end: synthetic V-shaped valleys, geographic and projected, through
GRASS, check-basin, prepare-rain and a whole runoff-sim run; options; refusals."""
import os
import subprocess

import numpy as np
from osgeo import gdal, osr

import support
from support import V_COLS, V_ROWS


def utm_v_valley(path):
    """The V-valley again, 30 m cells in UTM zone 17N: the valley floor runs due north along
    the meridian 1 arc-second east of 81 W, which is the centre of a 2-arc-second cell of
    the grid prepare-basin makes (its cell edges lie on whole multiples of the cell size)."""
    utm, wgs84 = osr.SpatialReference(), osr.SpatialReference()
    utm.ImportFromEPSG(32617)
    wgs84.ImportFromEPSG(4326)
    for srs in (utm, wgs84):
        srs.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    floor_x, floor_y, _ = osr.CoordinateTransformation(wgs84, utm).TransformPoint(
        -81 + 1 / 3600, 36.5)
    rows, cols, size = 24, 21, 30.0
    # cell centres 15 m either side of the floor, so the floor is a kink between two centres
    west, north = floor_x - 15 - 10 * size, floor_y + 12 * size
    x = west + (np.arange(cols) + 0.5) * size
    y = north - (np.arange(rows) + 0.5) * size
    elevation = 100 + 0.5 * np.abs(x[None, :] - floor_x) + 0.05 * (y[:, None] - y[-1])
    support.write_geotiff(path, elevation, (west, size, 0, north, 0, -size), 32617)
    return -81 + 1 / 3600


class VValleyTest(support.ToolTestCase):
    def prepare(self, *options):
        dem = self.path("valley.tif")
        support.write_v_valley_dem(dem)
        status, lines = support.run_tool("prepare-basin", dem, self.path("basin"), *options)
        self.assertEqual(status, 0, lines)
        return self.path("basin")

    def test_geographic_valley_gives_the_hand_checked_grids(self):
        basin = self.prepare("--min-basin", 10)
        grid = lambda name: support.read_grid(basin, name, V_ROWS, V_COLS)  # noqa: E731
        np.testing.assert_array_equal(grid("flowDir"), support.V_FLOW_DIR)
        np.testing.assert_array_equal(grid("flowAcc"), support.V_FLOW_ACC)
        np.testing.assert_array_equal(grid("riverNum"), support.V_RIVER_NUM)
        np.testing.assert_array_equal(grid("modDem"), support.V_ELEVATION)  # nothing to fill
        self.assertEqual(support.read_params(basin),
                         support.V_PARAMS + "1 1 0.01001 0.01001 10.00375 44.995\n"
                         "0 60 1\n0.6 0.4 0.03 100 0.1\n")
        with open(os.path.join(basin, "topoData", "riverNumList.dat")) as river_list:
            self.assertEqual(river_list.read(), "0 0 4 71 0 0 10.00375 44.9904166666667\n")
        for folder in ("input", "temp", "output", "output/image"):
            self.assertEqual(os.listdir(os.path.join(basin, folder)),
                             ["image"] if folder == "output" else [])

    def test_vrt_shows_each_grid_north_up_where_it_lies(self):
        basin = self.prepare("--min-basin", 10)
        expected = {"flowDir": support.V_FLOW_DIR, "flowAcc": support.V_FLOW_ACC,
                    "riverNum": support.V_RIVER_NUM, "modDem": support.V_ELEVATION}
        for name, grid in expected.items():
            with self.subTest(grid=name):
                dataset = gdal.Open(os.path.join(basin, "topoData", name + ".vrt"))
                np.testing.assert_array_equal(dataset.ReadAsArray(), grid)
                np.testing.assert_allclose(dataset.GetGeoTransform(),
                                           (10, 3 / 3600, 0, 45, 0, -3 / 3600), atol=1e-12)
                self.assertIn("4326", dataset.GetProjection())

    def test_projected_valley_drains_to_its_floor(self):
        dem = self.path("utm.tif")
        floor_lon = utm_v_valley(dem)
        status, lines = support.run_tool("prepare-basin", dem, self.path("basin"),
                                         "--cell-size", 2, "--min-basin", 10)
        self.assertEqual(status, 0, lines)
        values = support.read_params(self.path("basin")).split()
        cols, rows, west = int(values[1]), int(values[2]), float(values[3])
        self.assertEqual(float(values[0]), 2)
        floor = round((floor_lon - west) / (2 / 3600) - 0.5)
        expected = np.zeros((rows, cols), dtype=int)  # north row first
        expected[1:-1, 1:floor] = 3          # west of the floor: east
        expected[1:-1, floor] = 5            # the floor: south
        expected[1:-1, floor + 1:-1] = 7     # east of the floor: west
        flow_dir = support.read_grid(self.path("basin"), "flowDir", rows, cols)
        np.testing.assert_array_equal(flow_dir, expected)
        flow_acc = support.read_grid(self.path("basin"), "flowAcc", rows, cols)
        self.assertEqual(flow_acc[-1, floor], (rows - 2) * (cols - 2) + 1)

    def test_whole_chain_to_a_finished_run(self):
        geographic, projected = self.path("valley.tif"), self.path("utm.tif")
        support.write_v_valley_dem(geographic)
        floor_lon = utm_v_valley(projected)
        for dem, options in ((geographic, ()), (projected, ("--cell-size", 2))):
            with self.subTest(dem=os.path.basename(dem)):
                basin = self.path(os.path.basename(dem) + ".basin")
                status, lines = support.run_tool("prepare-basin", dem, basin, "--min-basin", 10,
                                                 *options)
                self.assertEqual(status, 0, lines)
                scale, cols, rows, west, south = map(float, support.read_params(
                    basin).split()[:5])
                cols, rows, cell = int(cols), int(rows), scale / 3600
                floor = 4 if dem == geographic else round((floor_lon - west) / cell - 0.5)
                self.run_storm(basin, west + cols * cell / 2, south + rows * cell / 2,
                               max(rows, cols) * cell)
                status, lines = support.run_tool("check-basin", basin)
                self.assertEqual((status, lines[-1]), (0, "ok: no errors, no warnings"), lines)
                done = subprocess.run([support.runoff_sim()], cwd=basin, capture_output=True,
                                      text=True, timeout=120)
                self.assertEqual(done.returncode, 0, done.stdout)
                self.check_flood(basin, rows, cols, floor)

    def run_storm(self, basin, lon, lat, spacing):
        """10 mm/h for the first 6 hours of one day on 3 x 3 rain cells around the grid."""
        values = np.zeros((24, 3, 3))
        values[:6] = 10.0
        rain = self.path("rain.nc")
        support.write_netcdf(rain, lon=lon + spacing * np.array([-1, 0, 1]),
                             lat=lat + spacing * np.array([-1, 0, 1]), hours=range(24),
                             values=values)
        status, lines = support.run_tool("prepare-rain", rain, basin)
        self.assertEqual(status, 0, lines)

    def check_flood(self, basin, rows, cols, floor):
        hourly = np.fromfile(os.path.join(basin, "output", "dischargeHourly.bin"), "<f4")
        hourly = np.flip(hourly.reshape(24, rows, cols), axis=1)  # north row first
        routed = support.read_grid(basin, "riverNum", rows, cols) == 0
        routed[[0, -1], :] = routed[:, [0, -1]] = False
        self.assertEqual(int(routed.sum()), (rows - 2) * (cols - 2))
        self.assertTrue((hourly[:, ~routed] == -9999).all())
        self.assertTrue((hourly[:, routed] >= 0).all())
        # The floor gathers the valley: its lowest routed cell carries the most water, and
        # the flood there rises with the rain and recedes after it.
        foot = hourly[:, -2, floor]
        self.assertEqual(float(hourly[5].max()), float(foot[5]))
        self.assertGreater(foot[5], 5 * foot[0])
        self.assertLess(foot[23], 0.5 * foot.max())


class OptionsTest(support.ToolTestCase):
    def test_model_values_and_cell_size_reach_the_parameter_file(self):
        dem = self.path("valley.tif")
        support.write_v_valley_dem(dem)
        status, lines = support.run_tool(
            "prepare-basin", dem, self.path("basin"), "--cell-size", 6, "--min-basin", 1,
            "--time-step", 30, "--space-steps", 2, "--fd-weight", 0.7, "--slope-manning", 0.3,
            "--channel-manning", 0.05, "--channel-threshold", 20, "--initial-runoff", 0.5)
        self.assertEqual(status, 0, lines)
        lines = support.read_params(self.path("basin")).splitlines()
        self.assertEqual(lines[0], "6 4 6 10 44.99")  # 12 x 9 cells of 3" hold 6 x 4 of 6"
        self.assertEqual(lines[2:], ["0 30 2", "0.7 0.3 0.05 20 0.5"])

    def test_given_outlets_cut_the_valley_into_nested_basins(self):
        dem = self.path("valley.tif")
        support.write_v_valley_dem(dem)
        # Points on the floor in storage rows 4 and 8, and a point one cell west of the floor
        # that --snap 1 moves to the largest accumulation nearby: the floor one row further
        # downstream.
        centre = lambda row, col: (10 + (col + 0.5) * support.V_CELL,  # noqa: E731
                                   44.99 + (row + 0.5) * support.V_CELL)
        cases = (
            ((), [(4, 4), (8, 4)], {(4, 4): 0, (8, 4): 1}),
            (("--snap", 1), [(4, 4), (8, 3)], {(3, 4): 0, (7, 4): 1}),
        )
        for options, points, outlets in cases:
            with self.subTest(options=options):
                basin = self.path("basin" + "".join(map(str, options)))
                arguments = [a for row, col in points for a in ("--outlet", *centre(row, col))]
                status, lines = support.run_tool("prepare-basin", dem, basin, *arguments,
                                                 *options)
                self.assertEqual(status, 0, lines)
                river_num = np.flipud(support.read_grid(basin, "riverNum", V_ROWS, V_COLS))
                expected = np.full((V_ROWS, V_COLS), -1)
                (low, first), (high, second) = sorted(outlets.items())
                expected[low[0]:high[0], 1:-1] = first    # from the lower outlet upwards
                expected[high[0]:V_ROWS - 1, 1:-1] = second
                np.testing.assert_array_equal(river_num, expected)
                with open(os.path.join(basin, "topoData", "riverNumList.dat")) as river_list:
                    listed = [line.split()[:4] for line in river_list]
                sizes = {low: 7 * (high[0] - low[0]), high: 7 * (V_ROWS - 1 - high[0])}
                self.assertEqual(listed, [[str(number), str(r), str(c), str(sizes[(r, c)])]
                                          for (r, c), number in sorted(
                                              outlets.items(), key=lambda item: item[1])])

    def test_planes_between_gaps_give_every_direction_code(self):
        # Eight planes of 7 x 7 cells, two rows of four, apart by strips without data; plane
        # k falls towards direction k (1 = N, 2 = NE, ... clockwise), 3 m per cell along each
        # axis it falls on. The cells next to a gap are outlets, so each plane drains on its
        # own and its inner 5 x 5 cells all carry its code.
        falls = {1: (1, 0), 2: (1, 1), 3: (0, 1), 4: (-1, 1), 5: (-1, 0), 6: (-1, -1),
                 7: (0, -1), 8: (1, -1)}  # (northward, eastward)
        elevation = np.full((17, 33), -9999.0)
        expected = np.zeros((17, 33), dtype=int)
        north, east = np.indices((7, 7))
        north = 6 - north
        for code, (to_north, to_east) in falls.items():
            top, left = 1 + 8 * ((code - 1) // 4), 1 + 8 * ((code - 1) % 4)
            elevation[top:top + 7, left:left + 7] = 500 - 3.0 * (to_north * north
                                                                 + to_east * east)
            expected[top + 1:top + 6, left + 1:left + 6] = code
        dem = self.path("planes.tif")
        support.write_geotiff(dem, elevation, (10, support.V_CELL, 0, 45, 0, -support.V_CELL),
                              4326, no_data=-9999)
        basin = self.path("basin")
        status, lines = support.run_tool("prepare-basin", dem, basin, "--min-basin", 1)
        self.assertEqual(status, 0, lines)
        grid = lambda name: support.read_grid(basin, name, 17, 33)  # noqa: E731
        np.testing.assert_array_equal(grid("flowDir"), expected)
        gap = elevation == -9999
        self.assertTrue((grid("modDem")[gap] == -9999).all())
        self.assertTrue((grid("flowAcc")[gap] == 0).all())
        self.assertTrue((grid("riverNum")[gap] == -1).all())
        self.assertTrue((grid("riverNum")[~gap] >= 0).all())
        status, lines = support.run_tool("check-basin", basin)
        self.assertEqual([line for line in lines if line.startswith("error")],
                         ["error: param-ravo-event-ver300.dat: days is 0: no rainfall yet "
                          "(run prepare-rain)"])


class RefusalTest(support.ToolTestCase):
    def test_bad_input_gets_one_line_and_no_directory(self):
        valley = self.path("valley.tif")
        support.write_v_valley_dem(valley)
        no_crs = self.path("no-crs.tif")
        support.write_geotiff(no_crs, support.V_ELEVATION, (0, 1, 0, 0, 0, -1), None)
        tiny = self.path("tiny.tif")
        support.write_geotiff(tiny, support.V_ELEVATION[:2, :2],
                              (10, support.V_CELL, 0, 45, 0, -support.V_CELL), 4326)
        text = self.path("notes.txt")
        with open(text, "w") as out:
            out.write("not a raster\n")
        cases = (
            ([self.path("missing.tif")], "GDAL cannot read it"),
            ([text], "GDAL cannot read it"),
            ([no_crs], "has no coordinate reference system"),
            ([tiny], "the model needs at least 3 x 3"),
            ([valley, "--outlet", 11, 45], "--outlet 11 45 lies outside the grid"),
            ([valley, "--min-basin", 500], "no outlet on the grid's edge drains 500 cells"),
            ([valley, "--time-step", 7], "--time-step 7: must divide the hour"),
            ([valley, "--cell-size", 0.3], "exact as a 32-bit float"),
            ([valley, "--min-basin", "many"], "invalid int value"),
        )
        for arguments, fragment in cases:
            with self.subTest(arguments=arguments):
                out = self.path("basin")
                dem, options = arguments[0], arguments[1:]
                status, lines = support.run_tool("prepare-basin", dem, out, *options)
                self.assertRefused(status, lines, fragment)
                self.assertFalse(os.path.exists(out))
        self.assertEqual(sorted(os.listdir(self.tmp)),
                         ["no-crs.tif", "notes.txt", "tiny.tif", "valley.tif"])

    def test_an_occupied_directory_is_left_alone(self):
        dem = self.path("valley.tif")
        support.write_v_valley_dem(dem)
        os.makedirs(self.path("basin"))
        with open(self.path("basin", "mine.txt"), "w") as out:
            out.write("keep\n")
        status, lines = support.run_tool("prepare-basin", dem, self.path("basin"))
        self.assertRefused(status, lines, "exists and is not an empty folder")
        self.assertEqual(os.listdir(self.path("basin")), ["mine.txt"])
