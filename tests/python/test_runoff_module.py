"""The Python package over the model (python/runoff), with pytest: a run stepped hour by hour
from Python gives runoff-sim's bytes, with the file's rain, with it set back and with other
rain set (against runoff-sim on a rain file holding it, written from the arrays as given, rows
north first); the interface's Python form answers as its contract says; the gauges' table is
runoff-sim's gauges.csv; score() and calibrate() run the existing code; the notebook-style
example runs and draws its plot.

Run by ctest (test python_module), which sets PYTHONPATH to the build's package and RUNOFF_SIM.
"""
import os
import shutil
import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

import runoff

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
EXAMPLE = os.path.join(ROOT, "examples", "sample-basin")
GAUGES = "name,lon,lat\nRiver 1,-84.3408333333333,36.6775\nRiver 2,-84.2591666666667,36.635\n"
ROWS, COLS, RAIN_ROWS, RAIN_COLS, HOURS = 100, 100, 3, 3, 48


def runoff_sim():
    return os.environ["RUNOFF_SIM"]


def stage(folder):
    shutil.copytree(EXAMPLE, folder)
    os.makedirs(folder / "output")
    os.makedirs(folder / "temp")
    (folder / "gauges.csv").write_text(GAUGES)
    return folder


def read_rain(folder):
    """The rain file: per hour its six stamp words and a (rows, cols) grid, north row first."""
    words = (folder / "input" / "rain.dat").read_text().split()
    per_hour = 6 + RAIN_ROWS * RAIN_COLS
    stamps, grids = [], []
    for start in range(0, len(words), per_hour):
        stamps.append(words[start:start + 6])
        grids.append(np.array(words[start + 6:start + per_hour], dtype=np.float32)
                     .reshape(RAIN_ROWS, RAIN_COLS))
    return stamps, grids


def write_rain(folder, stamps, grids):
    with open(folder / "input" / "rain.dat", "w") as out:
        for stamp, grid in zip(stamps, grids):
            out.write(" ".join(stamp) + "\n")
            for row in grid:
                out.write(" ".join(repr(float(v)) for v in row) + "\n")


def run_sim(folder, *args):
    done = subprocess.run([runoff_sim(), *args], cwd=folder, capture_output=True, text=True)
    assert done.returncode == 0, done.stdout


def file_rain(hour, shown):
    return None


def same_rain(hour, shown):
    return shown


def other_rain(hour, shown):
    """Hours 12 to 14 and 40: each rain cell its own rain, so that a turned grid would show."""
    if hour in (12, 13, 14, 40):
        return np.arange(1, RAIN_ROWS * RAIN_COLS + 1, dtype=np.float32).reshape(
            RAIN_ROWS, RAIN_COLS) * 3.0 + hour
    return None


@pytest.mark.parametrize("choose", [file_rain, same_rain, other_rain], ids=lambda f: f.__name__)
def test_hour_by_hour_gives_the_bytes_of_runoff_sim(tmp_path, choose):
    stepped = stage(tmp_path / "stepped")
    stamps, grids = read_rain(stepped)
    model = runoff.Model(stepped, scheme="conservative")
    hourly = []
    for hour in range(HOURS):
        assert model.get_current_time() == hour * 3600.0
        shown = model.rain()
        np.testing.assert_array_equal(shown, grids[hour])
        new = choose(hour, shown)
        if new is not None:
            model.set_rain(new)
            grids[hour] = np.asarray(new, dtype=np.float32)
        model.update()
        hourly.append(model.discharge())
    model.finalize()

    sim = stage(tmp_path / "sim")
    write_rain(sim, stamps, grids)
    run_sim(sim, "--scheme", "conservative")
    expected = np.fromfile(sim / "output" / "dischargeHourly.bin", dtype="<f4")
    # discharge() turns the rows north first and marks the cells off the rivers NaN.
    got = np.stack(hourly)[:, ::-1, :].reshape(-1)
    got = np.where(np.isnan(got), np.float32(-9999), got).astype("<f4")
    assert got.tobytes() == expected.tobytes()
    for name in os.listdir(sim / "output"):
        assert (stepped / "output" / name).read_bytes() == (sim / "output" / name).read_bytes()


def test_the_interface_answers_as_its_contract_says(tmp_path):
    model = runoff.Model(stage(tmp_path / "basin"))
    assert model.get_input_var_names() == (runoff.RAIN,)
    assert set(model.get_output_var_names()) == {runoff.DISCHARGE, runoff.RAIN, runoff.EXCESS}
    for name in model.get_output_var_names():
        grid = model.get_var_grid(name)
        size = model.get_grid_size(grid)
        assert size == int(np.prod(model.get_grid_shape(grid)))
        assert model.get_var_nbytes(name) == size * model.get_var_itemsize(name)
        assert model.get_value(name).dtype == np.dtype(model.get_var_type(name))
        assert model.get_var_location(name) == "node"
        assert model.get_grid_type(grid) == "uniform_rectilinear"
    assert list(model.get_grid_shape(0)) == [ROWS, COLS]
    assert list(model.get_grid_shape(1)) == [RAIN_ROWS, RAIN_COLS]
    assert model.get_var_units(runoff.DISCHARGE) == "m3 s-1"
    assert (model.get_start_time(), model.get_end_time()) == (0.0, HOURS * 3600.0)
    assert (model.get_time_units(), model.get_time_step()) == ("s", 3600.0)

    # get_value fills the array it is given; the pointer is the model's own array.
    dest = np.empty(RAIN_ROWS * RAIN_COLS, dtype=np.float32)
    assert model.get_value(runoff.RAIN, dest) is dest
    view = model.get_value_ptr(runoff.RAIN)
    model.set_value_at_indices(runoff.RAIN, [0, 8], [5.0, 6.0])
    assert (view[0], view[8]) == (5.0, 6.0)
    np.testing.assert_array_equal(
        model.get_value_at_indices(runoff.RAIN, np.empty(2, np.float32), [8, 0]), [6.0, 5.0])

    model.update_until(7200.0)
    assert model.get_current_time() == 7200.0
    with pytest.raises(RuntimeError, match="the run ends at 172800 s"):
        model.update_until(HOURS * 3600.0 + 3600.0)
    with pytest.raises(RuntimeError, match="cannot be set"):
        model.set_value(runoff.DISCHARGE, np.zeros(ROWS * COLS))
    with pytest.raises(RuntimeError, match="outside 0 to 10000"):
        model.set_rain(np.full((RAIN_ROWS, RAIN_COLS), -1.0))
    with pytest.raises(ValueError, match="shape"):
        model.set_rain(np.zeros((RAIN_COLS, RAIN_ROWS + 1)))
    with pytest.raises(RuntimeError, match="No grid"):
        model.get_grid_rank(5)
    with pytest.raises(RuntimeError, match="connectivity"):
        model.get_grid_face_nodes(0)
    with pytest.raises(RuntimeError, match="left: its files are not written"):
        model.finalize()


def test_gauges_are_runoff_sims_gauge_series(tmp_path):
    model = runoff.Model(stage(tmp_path / "basin"), gauges="gauges.csv", outputs=["daily", "max"])
    model.run()
    table = model.gauges()
    assert list(table.columns) == ["River 1", "River 2"]
    assert list(table.index) == list(range(1, HOURS + 1))
    written = pd.read_csv(tmp_path / "basin" / "output" / "gauges.csv")
    for name in table.columns:
        series = written[written.gauge == name].discharge.to_numpy(dtype=np.float32)
        np.testing.assert_array_equal(table[name].to_numpy(), series)
    assert table.max().min() > 1  # both outlets see the storm


def test_score_has_the_closed_forms_of_its_scores():
    observed = np.array([1.0, 3.0, 2.0, 8.0, 4.0, np.nan])
    perfect = runoff.score(observed, observed)
    assert (perfect["nse"], perfect["kge"], perfect["pbias_pct"], perfect["pairs"]) == (1, 1, 0, 5)
    doubled = runoff.score(observed, 2 * observed)
    # Twice the flow: the same timing, twice the mean and spread.
    assert doubled["r"] == pytest.approx(1)
    assert (doubled["beta"], doubled["alpha"], doubled["pbias_pct"]) == pytest.approx((2, 2, 100))
    assert doubled["kge"] == pytest.approx(1 - np.sqrt(2))
    with pytest.raises(ValueError):
        runoff.score([1.0, 2.0], [1.0])


@pytest.mark.skipif(not hasattr(runoff._runoff, "calibrate"), reason="built without NLopt")
def test_calibrate_runs_runoff_calibrate(tmp_path):
    basin = stage(tmp_path / "basin")
    run_sim(basin, "--gauges", "gauges.csv", "--outputs", "daily")
    shutil.copy(basin / "output" / "gauges.csv", basin / "observed.csv")
    (basin / "search.csv").write_text("name,min,max\nslopeManning,0.3,0.9\n")
    result = runoff.calibrate(basin, observed="observed.csv", gauges="gauges.csv",
                              parameters="search.csv", evaluations=8)
    assert "calibration" in result.console.lower() or result.console
    assert list(result.scores.gauge) == ["River 1", "River 2", "mean"]
    assert len(result.trace) == 8
    # The observed series is the model's own with the file's value: nothing beats it.
    assert result.trace.objective.max() == pytest.approx(1)
    assert os.path.exists(result.parameters)
    with pytest.raises(RuntimeError, match="runoff-calibrate"):
        runoff.calibrate(basin, evaluations="many")


def test_the_example_draws_its_plot(tmp_path):
    png = tmp_path / "outlets.png"
    done = subprocess.run([sys.executable, os.path.join(ROOT, "examples", "python",
                                                        "outlet_hydrographs.py"),
                           "--work", str(tmp_path / "work"), "--png", str(png)],
                          capture_output=True, text=True, env=os.environ.copy())
    assert done.returncode == 0, done.stdout + done.stderr
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert f"Write {png}" in done.stdout
