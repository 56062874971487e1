"""Loss grids: prepare-basin --losses from uniform values and from rasters (the texture classes
against the published Green-Ampt parameters), a run of runoff-sim --losses on the result,
check-basin's findings on damaged loss grids, and the refusals."""
import os
import subprocess

import numpy as np

import support
from support import V_COLS, V_ROWS

GEOGRAPHIC = (10, support.V_CELL, 0, 45, 0, -support.V_CELL)  # the valley's own grid

# Rawls, Brakensiek and Miller (1983), as Chow, Maidment and Mays tabulate them (Applied
# Hydrology, Table 4.3.1): effective porosity, suction head (cm), Ks (cm/h) of sand, loam, clay.
PUBLISHED = {1: (0.417, 4.95, 11.78), 6: (0.434, 8.89, 0.34), 12: (0.385, 31.63, 0.03)}


def read_loss_grid(workdir, name):
    """A loss grid north row first."""
    data = np.fromfile(os.path.join(workdir, "topoData", name + ".bin"), "<f4")
    return np.flipud(data.reshape(V_ROWS, V_COLS))


class PrepareBasinLossesTest(support.ToolTestCase):
    def prepare(self, *options, name="basin"):
        dem = self.path("valley.tif")
        support.write_v_valley_dem(dem)
        status, lines = support.run_tool("prepare-basin", dem, self.path(name), "--min-basin",
                                         10, *options)
        return status, lines, self.path(name)

    def test_uniform_values_fill_every_cell_and_the_hint_names_the_run(self):
        status, lines, basin = self.prepare("--losses", "constant", "--initial-loss", 12,
                                            "--constant-loss", 2.5, "--loss-recovery", 8,
                                            "--impervious", 0.15)
        self.assertEqual(status, 0, lines)
        self.assertIn("loss grids for --losses constant: impervious.bin 0.15, initialLoss.bin "
                      "12, constantLoss.bin 2.5, lossRecovery.bin 8", lines)
        self.assertEqual(lines[-1], "then, in " + basin + ": runoff-sim --scheme conservative "
                         "--losses constant (the conservative scheme keeps the water budget "
                         "closed; the classic one gains water, more the larger the cells)")
        for name, value in (("initialLoss", 12), ("constantLoss", 2.5), ("lossRecovery", 8),
                            ("impervious", 0.15)):
            np.testing.assert_array_equal(read_loss_grid(basin, name),
                                          np.full((V_ROWS, V_COLS), np.float32(value)))
        self.assertFalse(os.path.exists(os.path.join(basin, "topoData", "curveNumber.bin")))
        status, lines = support.run_tool("check-basin", basin)
        self.assertIn("losses: grids for --losses constant", lines)

    def test_texture_classes_give_the_published_green_ampt_parameters(self):
        # Sand in the west, loam in the middle column, clay in the east; the vrt shows them
        # where they lie.
        classes = np.full((V_ROWS, V_COLS), 6.0)
        classes[:, :4] = 1
        classes[:, 5:] = 12
        texture = self.path("texture.tif")
        support.write_geotiff(texture, classes, GEOGRAPHIC, 4326)
        status, lines, basin = self.prepare("--losses", "green-ampt", "--soil-texture-raster",
                                            texture, "--initial-saturation", 0.25)
        self.assertEqual(status, 0, lines)
        for code, (porosity, suction_cm, ksat_cm) in PUBLISHED.items():
            cells = classes == code
            with self.subTest(texture_class=code):
                np.testing.assert_allclose(read_loss_grid(basin, "ksat")[cells], 10 * ksat_cm,
                                           rtol=1e-6)
                np.testing.assert_allclose(read_loss_grid(basin, "suction")[cells],
                                           10 * suction_cm, rtol=1e-6)
                np.testing.assert_allclose(read_loss_grid(basin, "moistureDeficit")[cells],
                                           0.75 * porosity, rtol=1e-6)
        from osgeo import gdal
        shown = gdal.Open(os.path.join(basin, "topoData", "ksat.vrt")).ReadAsArray()
        np.testing.assert_array_equal(shown, read_loss_grid(basin, "ksat"))

    def test_a_curve_number_raster_is_warped_and_the_run_takes_its_losses(self):
        # Curve numbers rising from 60 in the west by 4 a column, on the valley's own cells:
        # bilinear warping onto the same cells keeps them.
        numbers = np.tile(60.0 + 4 * np.arange(V_COLS), (V_ROWS, 1))
        raster = self.path("cn.tif")
        support.write_geotiff(raster, numbers, GEOGRAPHIC, 4326)
        status, lines, basin = self.prepare("--losses", "scs-cn", "--curve-number-raster",
                                            raster)
        self.assertEqual(status, 0, lines)
        np.testing.assert_allclose(read_loss_grid(basin, "curveNumber"), numbers, rtol=1e-6)
        support.write_v_valley_workdir(self.path("rain-source"))
        for name in ("param-ravo-event-ver300.dat", os.path.join("input", "rain.dat")):
            with open(self.path("rain-source", name)) as source, \
                    open(os.path.join(basin, name), "w") as out:
                out.write(source.read())
        status, lines = support.run_tool("check-basin", basin)
        self.assertEqual((status, lines[-1]), (0, "ok: no errors, no warnings"), lines)
        done = subprocess.run([support.runoff_sim(), "--losses", "scs-cn", "--budget",
                               "--scheme", "conservative"], cwd=basin, capture_output=True,
                              text=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stdout)
        total = done.stdout.splitlines()[-1].split()
        rain, loss = float(total[1]), float(total[2])
        self.assertGreater(loss, 0.3 * rain)  # 48 mm on curve numbers of 60 to 92

    def test_refusals_name_the_option(self):
        percent = self.path("percent.tif")
        support.write_geotiff(percent, np.full((V_ROWS, V_COLS), 35.0), GEOGRAPHIC, 4326)
        odd = self.path("odd.tif")
        support.write_geotiff(odd, np.full((V_ROWS, V_COLS), 14.0), GEOGRAPHIC, 4326)
        cases = (
            (("--curve-number", 70), "--curve-number applies to --losses scs-cn"),
            (("--losses", "constant", "--curve-number", 70),
             "--curve-number applies to --losses scs-cn"),
            (("--impervious", 0.2), "--impervious applies to --losses METHOD"),
            (("--losses", "scs-cn"), "--losses scs-cn needs --curve-number or "
                                     "--curve-number-raster"),
            (("--losses", "constant", "--initial-loss", 5),
             "--losses constant needs --initial-loss and --constant-loss"),
            (("--losses", "green-ampt", "--ksat", 5, "--suction", 100),
             "--losses green-ampt needs --ksat, --suction and --moisture-deficit, or "
             "--soil-texture-raster"),
            (("--losses", "scs-cn", "--curve-number", 101),
             "--curve-number 101: must be 1 to 100"),
            (("--losses", "scs-cn", "--curve-number", 70, "--curve-number-raster", odd),
             "give --curve-number or --curve-number-raster, not both"),
            (("--losses", "green-ampt", "--ksat", -1, "--suction", 1, "--moisture-deficit", 0.2),
             "--ksat -1: must be 0 or more"),
            (("--losses", "scs-cn", "--curve-number", 70, "--impervious-raster", percent),
             "impervious.bin needs 0 to 1 on every routed cell; 70 have other values, first "
             "row 1 col 1 (lon 10.00125, lat 44.99125): 35; give fractions, not percent"),
            (("--losses", "green-ampt", "--soil-texture-raster", odd),
             "70 routed cells have no texture class of 1 to 12, first row 1 col 1 "
             "(lon 10.00125, lat 44.99125): class 14"),
            (("--losses", "green-ampt", "--ksat", 5, "--suction", 100, "--moisture-deficit",
              0.2, "--initial-saturation", 0.5),
             "--initial-saturation applies to --losses green-ampt with --soil-texture-raster"),
            (("--losses", "horton"), "argument --losses: invalid choice: 'horton'"),
        )
        for options, fragment in cases:
            with self.subTest(options=options):
                status, lines, basin = self.prepare(*options, name="refused")
                self.assertRefused(status, lines, fragment)
                self.assertFalse(os.path.exists(basin))


class CheckBasinLossesTest(support.ToolTestCase):
    def workdir(self):
        basin = self.path("basin")
        support.write_v_valley_workdir(basin)
        for name, value in (("curveNumber", 75.0), ("ksat", 5.0), ("impervious", 0.1)):
            np.full(V_ROWS * V_COLS, value, "<f4").tofile(
                os.path.join(basin, "topoData", name + ".bin"))
        return basin

    def edit(self, basin, name, row, col, value):
        """Sets a loss grid at (row from the north, column); without a row, makes it one
        record too long."""
        path = os.path.join(basin, "topoData", name + ".bin")
        if row is None:
            with open(path, "ab") as grid:
                grid.write(b"1234")
            return
        grid = np.flipud(np.fromfile(path, "<f4").reshape(V_ROWS, V_COLS)).copy()
        grid[row, col] = value
        np.flipud(grid).tofile(path)

    def test_complete_and_partial_methods_are_named(self):
        basin = self.workdir()
        status, lines = support.run_tool("check-basin", basin)
        self.assertEqual(status, 0, lines)
        self.assertIn("losses: grids for --losses scs-cn", lines)
        self.assertIn("warning: loss grids: green-ampt lacks suction.bin, moistureDeficit.bin; "
                      "runoff-sim --losses green-ampt would stop", lines)

    def test_each_fault_on_a_routed_cell_is_an_error_and_off_them_none(self):
        # North row 6 is storage row 5; column 4 is the valley floor.
        faults = (
            (lambda b: self.edit(b, "curveNumber", 6, 4, 120),
             "error: topoData/curveNumber.bin: not a number of 1 to 100 on 1 cell of the listed "
             "basins, first row 5 col 4 (lon 10.00375, lat 44.99458): 120"),
            (lambda b: self.edit(b, "ksat", 3, 2, np.nan),
             "error: topoData/ksat.bin: not a number of 0 or more on 1 cell of the listed "
             "basins, first row 8 col 2 (lon 10.00208, lat 44.99708): nan"),
            (lambda b: self.edit(b, "impervious", 10, 7, -9999),
             "error: topoData/impervious.bin: not a number of 0 to 1 on 1 cell of the listed "
             "basins, first row 1 col 7 (lon 10.00625, lat 44.99125): -9999"),
            (lambda b: self.edit(b, "curveNumber", None, None, None),
             "error: topoData/curveNumber.bin: 436 bytes, the grid needs 432 (12 rows x 9 "
             "columns of 4 bytes)"),
        )
        for damage, expected in faults:
            with self.subTest(expected=expected):
                basin = self.workdir()
                damage(basin)
                status, lines = support.run_tool("check-basin", basin)
                self.assertEqual(status, 1, lines)
                self.assertIn(expected, lines)
        basin = self.workdir()
        self.edit(basin, "curveNumber", 0, 0, np.nan)  # the outer ring is never routed
        self.edit(basin, "ksat", 11, 8, -9999)
        status, lines = support.run_tool("check-basin", basin)
        self.assertEqual(status, 0, lines)
