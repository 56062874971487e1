"""prepare-rain on small rainfall sets made here, over the V-valley's working directory
(written directly, without GRASS): every value in its row, column and hour; units; time
handling; refusals that leave the directory as it was."""
import os

import numpy as np
from osgeo import gdal, osr

import support

# A product wider than the valley: 20 x 15 cells of 0.005 degrees, centres from 9.9775 E and
# 44.965 N. The valley (10 to 10.0075 E, 44.99 to 45 N) takes the rain cells of columns 5 and
# 6 and of rows 5 to 7 from the south; with the margin the window is columns 4 to 7 and rows
# 4 to 8: south-west centre 9.9975 E, 44.985 N.
LON = 9.9775 + 0.005 * np.arange(20)
LAT = 44.965 + 0.005 * np.arange(15)
WINDOW_COLS, WINDOW_ROWS = range(4, 8), range(4, 9)
RAIN_LINE = "4 5 0.005 0.005 9.9975 44.985"


def code(hour, row, col):
    """The value written for an hour and a product cell (row counted from the south): each
    index in its own digits, so that a value in the wrong place cannot pass."""
    return 100 * (col % 10) + 10 * (row % 10) + 0.01 * hour


class PlacementTest(support.ToolTestCase):
    def setUp(self):
        super().setUp()
        self.basin = self.path("basin")
        support.write_v_valley_workdir(self.basin)

    def expected(self, hours):
        """[hour, row from north, col] of the window as the rain file must hold it."""
        return np.array([[[code(h, row, col) for col in WINDOW_COLS]
                          for row in reversed(WINDOW_ROWS)] for h in hours])

    def test_each_value_lands_in_its_row_column_and_hour(self):
        values = np.array([[[code(h, r, c) for c in range(20)] for r in range(15)]
                           for h in range(30)])
        for order in ("south first", "north first"):
            with self.subTest(latitudes=order):
                flip = order == "north first"
                rain = self.path(f"rain-{flip}.nc")
                support.write_netcdf(rain, LON, LAT[::-1] if flip else LAT, range(30),
                                     values[:, ::-1] if flip else values)
                status, lines = support.run_tool("prepare-rain", rain, self.basin)
                self.assertEqual(status, 0, lines)
                self.assertIn("note: the data end 18 hours before the last day ends; those "
                              "hours are dry", lines)
                params = support.read_params(self.basin).splitlines()
                self.assertEqual(params[1], RAIN_LINE)
                self.assertEqual(params[2], "2 60 1")  # 30 hours make 2 days
                stamps, fields = support.read_rain(self.basin, 5, 4)
                self.assertEqual(stamps[0], [2000, 7, 1, 0, 0, 0])
                self.assertEqual(stamps[29], [2000, 7, 2, 5, 0, 0])
                self.assertEqual(len(stamps), 48)
                np.testing.assert_allclose(fields[:30], self.expected(range(30)), atol=1e-9)
                self.assertTrue((fields[30:] == 0).all())

    def test_multiband_raster_with_start_and_step(self):
        rain = self.path("rain.tif")
        dataset = gdal.GetDriverByName("GTiff").Create(rain, 20, 15, 26, gdal.GDT_Float64)
        dataset.SetGeoTransform((9.975, 0.005, 0, 45.0375, 0, -0.005))  # north-up
        srs = osr.SpatialReference()
        srs.ImportFromEPSG(4326)
        dataset.SetProjection(srs.ExportToWkt())
        for band in range(26):
            field = [[code(band, r, c) for c in range(20)] for r in reversed(range(15))]
            dataset.GetRasterBand(band + 1).WriteArray(np.array(field))
        dataset = None
        status, lines = support.run_tool("prepare-rain", rain, self.basin, "--start",
                                         "2000-07-01T06:00", "--step", "1h", "--units", "mm/h",
                                         "--days", 1)
        self.assertEqual(status, 0, lines)
        stamps, fields = support.read_rain(self.basin, 5, 4)
        self.assertEqual((len(stamps), stamps[0], stamps[23]),
                         (24, [2000, 7, 1, 6, 0, 0], [2000, 7, 2, 5, 0, 0]))
        np.testing.assert_allclose(fields, self.expected(range(24)), atol=1e-9)

    def test_period_and_time_labels(self):
        values = np.array([[[code(h, r, c) for c in range(20)] for r in range(15)]
                           for h in range(30)])
        cases = (
            # options, time values are bounds, first stamp, data hour of the first record
            (("--from", "2000-07-01T03:00", "--days", 1), False, [2000, 7, 1, 3, 0, 0], 3),
            (("--time-label", "end"), False, [2000, 6, 30, 23, 0, 0], 0),
            ((), True, [2000, 6, 30, 23, 0, 0], 0),  # bounds [t - 1 h, t] mark the starts
        )
        for options, bounds, first_stamp, first_hour in cases:
            with self.subTest(options=options, bounds=bounds):
                rain = self.path("rain.nc")
                support.write_netcdf(rain, LON, LAT, range(30), values, bounds=bounds)
                status, lines = support.run_tool("prepare-rain", rain, self.basin, *options)
                self.assertEqual(status, 0, lines)
                stamps, fields = support.read_rain(self.basin, 5, 4)
                self.assertEqual(stamps[0], first_stamp)
                np.testing.assert_allclose(fields[0], self.expected([first_hour])[0],
                                           atol=1e-9)


class UnitsTest(support.ToolTestCase):
    def test_units_and_intervals_become_mm_per_hour(self):
        cases = (
            # units, time step in minutes, stored values of the first steps, hourly mm/h
            ("mm/h", 60, [2.5, 4.0], [2.5, 4.0]),
            ("kg m-2 s-1", 60, [0.001, 0.002], [3.6, 7.2]),
            ("mm", 180, [6.0, 3.0], [2.0, 2.0, 2.0, 1.0, 1.0, 1.0]),
            ("m", 60, [0.004, 0.001], [4.0, 1.0]),
            ("mm/day", 60, [24.0, 48.0], [1.0, 2.0]),
            ("mm h-1", 30, [1.0, 3.0, 5.0, 5.0], [2.0, 5.0]),
        )
        for units, minutes, stored, hourly in cases:
            with self.subTest(units=units, minutes=minutes):
                basin = self.path(f"basin-{len(os.listdir(self.tmp))}")
                support.write_v_valley_workdir(basin)
                steps = 24 * 60 // minutes
                series = np.zeros(steps)
                series[:len(stored)] = stored
                rain = self.path("rain.nc")
                support.write_netcdf(rain, [9.995, 10.005, 10.015], [44.985, 44.995, 45.005],
                                     np.arange(steps) * minutes, series[:, None, None] *
                                     np.ones((1, 3, 3)), units=units, time_units="minutes")
                status, lines = support.run_tool("prepare-rain", rain, basin)
                self.assertEqual(status, 0, lines)
                _, fields = support.read_rain(basin, 3, 3)
                self.assertEqual(len(fields), 24)
                np.testing.assert_allclose(fields[:len(hourly), 1, 1], hourly, rtol=1e-6)
                self.assertTrue((fields[len(hourly):] == 0).all())


class RefusalTest(support.ToolTestCase):
    def test_unusable_rainfall_is_refused_and_the_directory_kept(self):
        basin = self.path("basin")
        support.write_v_valley_workdir(basin)
        kept = {name: support.read_bytes(os.path.join(basin, name))
                for name in ("param-ravo-event-ver300.dat", "input/rain.dat")}
        good = np.full((6, 15, 20), 1.0)
        negative, missing = good.copy(), good.copy()
        negative[2, 6, 5] = -0.5      # hour 2, row 6 from the south, column 5: in the valley
        missing[4, 7, 6] = -999.0     # the fill value, hour 4
        cases = (
            (dict(lon=LON + 1.0), "does not cover the basin: 70 routed cells lie outside"),
            (dict(hours=[0, 1, 2, 4, 5, 6]), "has a gap in time: 2000-07-01 02:00:00 is "
                                            "followed by 2000-07-01 04:00:00"),
            (dict(values=negative), "has negative values inside the basin: rain cell at lon "
                                    "10.0025, lat 44.995, hour from 2000-07-01 02:00:00"),
            (dict(values=missing, fill_value=-999.0),
             "has missing values inside the basin: rain cell at lon 10.0075, lat 45, hour "
             "from 2000-07-01 04:00:00"),
            (dict(units="K"), "units 'K' cannot be read"),
            (dict(values=good * 1e20), "values above 1000 mm/h inside the basin"),
        )
        for change, fragment in cases:
            with self.subTest(change=sorted(change)):
                arguments = dict(lon=LON, lat=LAT, hours=range(6), values=good)
                arguments.update(change)
                rain = self.path("rain.nc")
                support.write_netcdf(rain, **arguments)
                status, lines = support.run_tool("prepare-rain", rain, basin)
                self.assertRefused(status, lines, fragment)
                for name, content in kept.items():
                    self.assertEqual(support.read_bytes(os.path.join(basin, name)), content,
                                     name)

    def test_gaps_outside_the_basin_become_dry(self):
        basin = self.path("basin")
        support.write_v_valley_workdir(basin)
        values = np.full((24, 15, 20), 1.0)
        values[:, 4, :] = -999.0  # the window's southern margin row: no valley cell takes it
        rain = self.path("rain.nc")
        support.write_netcdf(rain, LON, LAT, range(24), values, fill_value=-999.0)
        status, lines = support.run_tool("prepare-rain", rain, basin)
        self.assertEqual(status, 0, lines)
        self.assertIn("note: 96 missing or negative hourly values outside the basin are "
                      "written as 0", lines)
        _, fields = support.read_rain(basin, 5, 4)
        self.assertTrue((fields[:, -1, :] == 0).all() and (fields[:, :-1, :] == 1).all())
