"""Soil grids and potential evapotranspiration: prepare-basin --soil from uniform values,
rasters and texture classes (against the published water retention), check-basin's findings on
damaged soil grids and PET files, prepare-rain --output pet (units, the reanalysis sign, the
rainfall's grid and hours) and prepare-pet against FAO-56's worked examples."""
import datetime
import os
import sys

import numpy as np

import support
from support import V_COLS, V_ROWS

sys.path.insert(0, support.TOOLS)
from basinlib import hargreaves  # noqa: E402

GEOGRAPHIC = (10, support.V_CELL, 0, 45, 0, -support.V_CELL)  # the valley's own grid

# Rawls, Brakensiek and Saxton (1982), Table 2: water held at -33 and -1500 kPa by sand, loam
# and clay; the available water is their difference.
RETAINED = {1: (0.091, 0.033), 6: (0.270, 0.117), 12: (0.396, 0.272)}


def read_float_grid(workdir, name):
    """A float32 grid of topoData north row first."""
    data = np.fromfile(os.path.join(workdir, "topoData", name + ".bin"), "<f4")
    return np.flipud(data.reshape(V_ROWS, V_COLS))


def netcdf(path, variables, times, time_units, lat, lon):
    """A CF file with `variables` (name -> (units, values [time, lat, lon]))."""
    import warnings
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)
        import netCDF4
    with netCDF4.Dataset(path, "w") as dataset:
        dataset.createDimension("time", None)
        dataset.createDimension("lat", len(lat))
        dataset.createDimension("lon", len(lon))
        time = dataset.createVariable("time", "f8", ("time",))
        time.units = time_units
        time[:] = times
        for name, values, units in (("lat", lat, "degrees_north"), ("lon", lon, "degrees_east")):
            axis = dataset.createVariable(name, "f4", (name,))
            axis.units = units
            axis[:] = values
        for name, (units, values) in variables.items():
            variable = dataset.createVariable(name, "f4", ("time", "lat", "lon"))
            variable.units = units
            variable[:] = values


class PrepareBasinSoilTest(support.ToolTestCase):
    def prepare(self, *options, name="basin"):
        dem = self.path("valley.tif")
        support.write_v_valley_dem(dem)
        status, lines = support.run_tool("prepare-basin", dem, self.path(name), "--min-basin",
                                         10, *options)
        return status, lines, self.path(name)

    def test_uniform_values_and_the_run_they_call_for(self):
        status, lines, basin = self.prepare("--soil", "--soil-capacity", 150, "--percolation",
                                            0.4, "--baseflow-time", 720)
        self.assertEqual(status, 0, lines)
        self.assertIn("soil grids for --soil: soilCapacity.bin 150, percolation.bin 0.4, "
                      "baseflowTime.bin 720", lines)
        self.assertTrue(lines[-1].startswith(f"then, in {basin}: runoff-sim --scheme "
                                             "conservative --soil ("), lines)
        for name, value in (("soilCapacity", 150), ("percolation", 0.4), ("baseflowTime", 720)):
            np.testing.assert_array_equal(read_float_grid(basin, name),
                                          np.full((V_ROWS, V_COLS), np.float32(value)))
        status, lines = support.run_tool("check-basin", basin)
        self.assertIn("soil: grids for --soil", lines)

    def test_texture_classes_times_the_depth_and_a_raster(self):
        classes = np.full((V_ROWS, V_COLS), 6.0)
        classes[:, :4] = 1
        classes[:, 5:] = 12
        texture = self.path("texture.tif")
        support.write_geotiff(texture, classes, GEOGRAPHIC, 4326)
        times = np.tile(100.0 + 50 * np.arange(V_COLS), (V_ROWS, 1))
        raster = self.path("time.tif")
        support.write_geotiff(raster, times, GEOGRAPHIC, 4326)
        status, lines, basin = self.prepare(
            "--soil", "--soil-texture-raster", texture, "--soil-depth", 800, "--percolation",
            0.2, "--baseflow-time-raster", raster, "--losses", "green-ampt",
            "--initial-saturation", 0.5)
        self.assertEqual(status, 0, lines)
        self.assertIn(f"soil grids for --soil: soilCapacity.bin from texture classes x 800 mm, "
                      f"percolation.bin 0.2, baseflowTime.bin from {raster}", lines)
        capacity = read_float_grid(basin, "soilCapacity")
        for code, (field, wilting) in RETAINED.items():
            with self.subTest(texture_class=code):
                np.testing.assert_allclose(capacity[classes == code], (field - wilting) * 800,
                                           rtol=1e-6)
        np.testing.assert_allclose(read_float_grid(basin, "baseflowTime"), times, rtol=1e-6)
        # The same raster still gives Green-Ampt its parameters.
        np.testing.assert_allclose(read_float_grid(basin, "ksat")[classes == 12], 0.3, rtol=1e-6)

    def test_refusals_name_the_option(self):
        zero = self.path("zero.tif")
        support.write_geotiff(zero, np.zeros((V_ROWS, V_COLS)), GEOGRAPHIC, 4326)
        needs = ("--soil needs --soil-capacity (or --soil-capacity-raster, or "
                 "--soil-texture-raster with --soil-depth), --percolation (or "
                 "--percolation-raster) and --baseflow-time (or --baseflow-time-raster)")
        cases = (
            (("--percolation", 1), "--percolation applies to --soil"),
            (("--soil", "--soil-capacity", 100, "--percolation", 1), needs),
            (("--soil", "--soil-capacity", 0, "--percolation", 1, "--baseflow-time", 10),
             "--soil-capacity 0: must be above 0"),
            (("--soil", "--soil-capacity", 10, "--percolation", -1, "--baseflow-time", 10),
             "--percolation -1: must be 0 or more"),
            (("--soil", "--soil-depth", 500, "--percolation", 1, "--baseflow-time", 10),
             "--soil-depth needs --soil-texture-raster"),
            (("--soil", "--soil-capacity", 10, "--soil-capacity-raster", zero, "--percolation",
              1, "--baseflow-time", 10),
             "give --soil-capacity or --soil-capacity-raster, not more than one"),
            (("--soil", "--soil-capacity", 10, "--percolation", 1, "--baseflow-time-raster",
              zero),
             "baseflowTime.bin needs above 0 on every routed cell; 70 have other values, first "
             "row 1 col 1 (lon 10.00125, lat 44.99125): 0"),
            (("--soil-texture-raster", zero),
             "--soil-texture-raster applies to --losses green-ampt, or to --soil with "
             "--soil-depth"),
        )
        for options, fragment in cases:
            with self.subTest(options=options):
                status, lines, basin = self.prepare(*options, name="refused")
                self.assertRefused(status, lines, fragment)
                self.assertFalse(os.path.exists(basin))


def write_pet(workdir, hours, value, start=datetime.datetime(2000, 7, 1), stamps=True):
    with open(os.path.join(workdir, "input", "pet.dat"), "w") as out:
        for hour in range(hours):
            moment = start + datetime.timedelta(hours=hour)
            stamp = (f"{moment.year} {moment.month} {moment.day} {moment.hour} 0 0"
                     if stamps else "0 0 0 0 0 0")
            out.write(f"{stamp}\n{value}\n")


class CheckBasinSoilTest(support.ToolTestCase):
    def workdir(self):
        basin = self.path("basin")
        support.write_v_valley_workdir(basin, rain_days=2)
        for name, value in (("soilCapacity", 120.0), ("percolation", 0.3),
                            ("baseflowTime", 400.0)):
            np.full(V_ROWS * V_COLS, value, "<f4").tofile(
                os.path.join(basin, "topoData", name + ".bin"))
        write_pet(basin, 48, 0.2)
        return basin

    def test_a_sound_directory_names_its_soil_and_pet(self):
        status, lines = support.run_tool("check-basin", self.workdir())
        self.assertEqual(status, 0, lines)
        self.assertIn("soil: grids for --soil", lines)
        self.assertIn("PET: input/pet.dat, mean 4.8 mm/day", lines)

    def test_each_fault_is_an_error(self):
        def grid(name, value):
            def damage(basin):
                path = os.path.join(basin, "topoData", name + ".bin")
                values = np.fromfile(path, "<f4")
                values[5 * V_COLS + 4] = value  # storage row 5, the valley floor
                values.tofile(path)
            return damage

        faults = (
            (grid("soilCapacity", 0), "error: topoData/soilCapacity.bin: not a number above 0 "
             "on 1 cell of the listed basins, first row 5 col 4 (lon 10.00375, lat 44.99458): "
             "0"),
            (grid("percolation", np.nan), "error: topoData/percolation.bin: not a number of 0 "
             "or more on 1 cell of the listed basins, first row 5 col 4 (lon 10.00375, lat "
             "44.99458): nan"),
            (lambda b: os.remove(os.path.join(b, "topoData", "baseflowTime.bin")),
             "warning: soil grids: lacks baseflowTime.bin; runoff-sim --soil would stop"),
            (lambda b: write_pet(b, 47, 0.2),
             "error: input/pet.dat: holds 47 hour records, the run needs 48 (2 days x 24)"),
            (lambda b: write_pet(b, 48, -0.1),
             "error: input/pet.dat: 48 values are not rates of 0 to 100 mm/h, first in the "
             "record of line 1 (value 1)"),
            (lambda b: write_pet(b, 48, 0.1, start=datetime.datetime(2000, 1, 1)),
             "error: input/pet.dat: begins at 2000-01-01 00:00:00, the rainfall at 2000-07-01 "
             "00:00:00; runoff-sim needs the same hours"),
            (lambda b: write_pet(b, 48, "0.1 0.1"),
             "error: input/pet.dat: holds 54 hour records and 6 numbers more: its records are "
             "not of the rainfall grid's 1 x 1 cells (6 + 1 numbers)"),
        )
        for damage, expected in faults:
            with self.subTest(expected=expected):
                basin = self.workdir()
                damage(basin)
                status, lines = support.run_tool("check-basin", basin)
                self.assertIn(expected, lines)
                self.assertEqual(status, 0 if expected.startswith("warning") else 1, lines)


# The valley's rain cell is the one of write_v_valley_workdir: centre 10.00375 E, 44.995 N.
class PrepareRainPetTest(support.ToolTestCase):
    def setUp(self):
        super().setUp()
        self.basin = self.path("basin")
        support.write_v_valley_workdir(self.basin, rain_days=2)

    def pet_records(self):
        stamps, fields = support.read_rain(self.basin, 1, 1)  # the same format
        os.rename(os.path.join(self.basin, "input", "pet.dat"), self.path("pet.dat"))
        return stamps, fields

    def run_pet(self, path, *options):
        return support.run_tool("prepare-rain", path, self.basin, "--output", "pet", *options)

    def test_reanalysis_accumulations_are_turned_positive_on_the_rainfall_hours(self):
        # ERA5-like: metres of water per hour, evaporation negative, stamped at the end of
        # each hour, on a coarse grid from the day before; a little dew at night.
        hours = np.arange(1, 24 * 4 + 1)
        local = (hours - 1) % 24
        rate = np.where((local >= 6) & (local < 18), -0.0003, 0.00002)  # m per hour
        values = rate[:, None, None] * np.ones((len(hours), 3, 3))
        values[:, 0, 0] = 5.0  # an unused corner of the grid holds nonsense
        source = self.path("pev.nc")
        netcdf(source, {"pev": ("m", values)}, hours, "hours since 2000-06-30 00:00:00",
               [44.5, 45.0, 45.5], [9.5, 10.0, 10.5])
        status, lines = self.run_pet(source, "--time-label", "end", "--variable", "pev")
        self.assertEqual(status, 0, lines)
        self.assertIn("note: the values over the basin add up to less than zero, the sign "
                      "convention of reanalysis evaporation; they are taken with their sign "
                      "turned", lines)
        self.assertIn("note: 24 negative (dew) or missing hourly values are written as 0", lines)
        # The rainfall's params and file are unchanged: the PET follows them.
        self.assertEqual(support.read_params(self.basin).splitlines()[2], "2 60 1")
        with open(os.path.join(self.basin, "input", "pet.dat")) as pet:
            records = pet.read().split()
        self.assertEqual(len(records), 48 * 7)
        stamps = np.array(records, float).reshape(48, 7)
        self.assertEqual(list(stamps[0, :6]), [2000, 7, 1, 0, 0, 0])
        expected = np.where((np.arange(48) % 24 >= 6) & (np.arange(48) % 24 < 18), 0.3, 0.0)
        np.testing.assert_allclose(stamps[:, 6], expected, atol=1e-9)

    def test_daily_fluxes_give_each_hour_the_days_mean_rate(self):
        values = np.array([4.8, 2.4, 9.6])[:, None, None] * np.ones((3, 2, 2)) / 86400
        source = self.path("pet.nc")
        netcdf(source, {"pet": ("kg m-2 s-1", values)}, [0, 1, 2], "days since 2000-07-01",
               [44.9, 45.1], [9.9, 10.1])
        status, lines = self.run_pet(source)
        self.assertEqual(status, 0, lines)
        with open(os.path.join(self.basin, "input", "pet.dat")) as pet:
            values = np.array(pet.read().split(), float).reshape(48, 7)[:, 6]
        np.testing.assert_allclose(values, [0.2] * 24 + [0.1] * 24, rtol=1e-6)

    def test_refusals(self):
        grid = dict(lat=[44.9, 45.1], lon=[9.9, 10.1])
        short = self.path("short.nc")
        netcdf(short, {"pet": ("mm/day", np.full((40, 2, 2), 3.0))}, np.arange(40),
               "hours since 2000-07-01", **grid)
        late = self.path("late.nc")
        netcdf(late, {"pet": ("mm/day", np.full((60, 2, 2), 3.0))}, np.arange(60),
               "hours since 2000-07-01 02:00", **grid)
        holes = np.full((48, 2, 2), 3.0)
        holes[7, :, :] = np.nan
        missing = self.path("missing.nc")
        netcdf(missing, {"pet": ("mm/day", holes)}, np.arange(48), "hours since 2000-07-01",
               **grid)
        metres = self.path("metres.nc")
        netcdf(metres, {"pet": ("m/day", np.full((48, 2, 2), 3.0))}, np.arange(48),
               "hours since 2000-07-01", **grid)
        cases = (
            ((short,), "ends 8 hours before the rainfall (its last hour starts at 2000-07-02 "
                       "15:00:00); the PET must cover every hour of the run"),
            ((late,), "begins at 2000-07-01 02:00:00, after the rainfall's first hour "
                      "(2000-07-01 00:00:00)"),
            ((missing,), "has missing values inside the basin: rain cell at lon 10.0038, lat "
                         "44.995, hour from 2000-07-01 07:00:00"),
            ((metres,), "has rates above 10 mm/h inside the basin"),
            ((short, "--days", 2), "--output pet covers the hours of input/rain.dat"),
        )
        before = support.read_params(self.basin)
        for arguments, fragment in cases:
            with self.subTest(fragment=fragment):
                status, lines = self.run_pet(*arguments)
                self.assertRefused(status, lines, fragment)
                self.assertFalse(os.path.exists(os.path.join(self.basin, "input", "pet.dat")))
                self.assertEqual(support.read_params(self.basin), before)


class HargreavesTest(support.ToolTestCase):
    # FAO-56 Example 8: 3 September (day 246) at 20 degrees south: dr 0.985, declination 0.120
    # rad, sunset angle 1.527 rad, Ra 32.2 MJ m-2 day-1; Example 9: 11.7 hours of daylight.
    def test_fao56_worked_examples(self):
        latitude = hargreaves.degrees_to_radians(-20)
        self.assertAlmostEqual(float(hargreaves.inverse_distance(246)), 0.985, places=3)
        self.assertAlmostEqual(float(hargreaves.declination(246)), 0.120, places=3)
        self.assertAlmostEqual(float(hargreaves.sunset_angle(latitude, 246)), 1.527, places=3)
        self.assertAlmostEqual(float(hargreaves.daily_radiation(latitude, 246)), 32.2, places=1)
        self.assertAlmostEqual(float(hargreaves.daylight_hours(latitude, 246)), 11.7, places=1)

    def workdir(self):
        """The valley moved to 20 S on the prime meridian, its rain cell centred there, with
        the rainfall of 2011-09-02 to 09-04 (UTC)."""
        basin = self.path("basin")
        support.write_v_valley_workdir(basin, rain_days=3)
        with open(os.path.join(basin, "param-ravo-event-ver300.dat"), "w") as out:
            out.write("3 9 12 -0.004 -20.005\n1 1 0.02 0.02 0 -20\n3 60 1\n0.6 0.4 0.03 100 0.1\n")
        with open(os.path.join(basin, "input", "rain.dat"), "w") as out:
            for hour in range(72):
                moment = datetime.datetime(2011, 9, 2) + datetime.timedelta(hours=hour)
                out.write(f"{moment.year} {moment.month} {moment.day} {moment.hour} 0 0\n1\n")
        return basin

    def test_prepare_pet_spreads_the_days_et0_over_its_daylight(self):
        # Tmin 16 C (in kelvin) and Tmax 30 C: by hand, ET0 = 0.0023 x (23 + 17.8) x 14^0.5 x
        # 0.408 x 32.2 = 4.613 mm on 3 September.
        basin = self.workdir()
        days = np.arange(8)  # 2011-08-30 to 09-06
        grid = dict(lat=[-20.5, -20.0, -19.5], lon=[-0.5, 0.0, 0.5])
        temperatures = self.path("t.nc")
        netcdf(temperatures, {"tasmin": ("K", np.full((8, 3, 3), 289.15)),
                              "tasmax": ("degC", np.full((8, 3, 3), 30.0))},
               days, "days since 2011-08-30", **grid)
        status, lines = support.run_tool("prepare-pet", temperatures, temperatures, basin,
                                         "--tmin-variable", "tasmin", "--tmax-variable",
                                         "tasmax")
        self.assertEqual(status, 0, lines)
        with open(os.path.join(basin, "input", "pet.dat")) as pet:
            records = np.array(pet.read().split(), float).reshape(72, 7)
        september_3 = records[24:48, 6]
        self.assertAlmostEqual(float(september_3.sum()), 4.613, places=2)
        # On the prime meridian the clock is solar time: sunrise at 12 - 11.7 / 2 = 6.15 h and
        # sunset at 17.85 h, so the hours from 6 to 18 have sun and the others none.
        lit = (np.arange(24) >= 6) & (np.arange(24) < 18)
        self.assertTrue((september_3[lit] > 0).all(), september_3)
        self.assertTrue((september_3[~lit] == 0).all(), september_3)
        self.assertEqual(int(np.argmax(september_3)), 11)  # 11:00 to 12:00, beside noon
        # Three hours east of UTC shift the same amounts three hours earlier on the clock.
        status, lines = support.run_tool("prepare-pet", temperatures, temperatures, basin,
                                         "--tmin-variable", "tasmin", "--tmax-variable",
                                         "tasmax", "--utc-offset", 3)
        with open(os.path.join(basin, "input", "pet.dat")) as pet:
            shifted = np.array(pet.read().split(), float).reshape(72, 7)[:, 6]
        np.testing.assert_allclose(shifted[27:45], records[24:42, 6], atol=2e-6)

    def test_refusals(self):
        basin = self.workdir()
        grid = dict(lat=[-20.5, -20.0, -19.5], lon=[-0.5, 0.0, 0.5])
        swapped = self.path("swapped.nc")
        netcdf(swapped, {"tmin": ("degC", np.full((8, 3, 3), 30.0)),
                         "tmax": ("degC", np.full((8, 3, 3), 16.0))},
               np.arange(8), "days since 2011-08-30", **grid)
        short = self.path("short.nc")
        netcdf(short, {"t": ("degC", np.full((3, 3, 3), 20.0))}, np.arange(3),
               "days since 2011-08-30", **grid)
        hourly = self.path("hourly.nc")
        netcdf(hourly, {"t": ("degC", np.full((200, 3, 3), 20.0))}, np.arange(200),
               "hours since 2011-08-30", **grid)
        wet = self.path("wet.nc")
        netcdf(wet, {"t": ("mm", np.full((8, 3, 3), 20.0))}, np.arange(8),
               "days since 2011-08-30", **grid)
        cases = (
            ((swapped, swapped, "--tmin-variable", "tmin", "--tmax-variable", "tmax"),
             "the minimum temperature lies above the maximum at rain cell at lon 0, lat -20 on "
             "2011-09-02 (30 > 16 degrees C); are the files the right way round?"),
            ((short, short), "holds the days 2011-08-30 to 2011-09-01; the run needs "
                             "2011-09-02 to 2011-09-04"),
            ((hourly, hourly), "its steps are 1 h; Hargreaves' equation needs daily minimum "
                               "and maximum temperatures"),
            ((wet, wet), "units 'mm' are not a temperature; give K or degC"),
        )
        for arguments, fragment in cases:
            with self.subTest(fragment=fragment):
                status, lines = support.run_tool("prepare-pet", *arguments, basin)
                self.assertRefused(status, lines, fragment)
                self.assertFalse(os.path.exists(os.path.join(basin, "input", "pet.dat")))
