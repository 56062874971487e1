"""The rainfall-runoff model from Python.

    import runoff
    model = runoff.Model("examples/sample-basin", scheme="conservative")
    model.advance(5)                  # route five hours
    rain = model.rain()               # the next hour's rain, rows north to south
    model.set_rain(rain * 2)          # doubled, for that hour only
    model.advance(1)
    q = model.discharge()             # last hour's discharge, rows north to south
    model.run()                       # the rest of the run; the files are written

Model(workdir, **options) is a run of runoff-sim in the basin folder `workdir` with its
options given as keywords (scheme="conservative" is --scheme conservative, budget=True is
--budget, outputs=["hourly", "daily"] is --outputs hourly,daily). It is the model's Basic Model
Interface as well: initialize, update, update_until, finalize, get_value, set_value and the
rest, in the interface's Python form (docs/python-and-bmi.md). score() and calibrate() are the
scores of discharge-score and the calibration of runoff-calibrate.
"""

import os
from collections import namedtuple

import numpy as np

from . import _runoff

__all__ = ["Model", "score", "calibrate", "Calibration", "DISCHARGE", "RAIN", "EXCESS"]

# The variables' standard names.
DISCHARGE = "channel_water__volume_flow_rate"
RAIN = "atmosphere_water__rainfall_volume_flux"
EXCESS = "land_surface_water__runoff_volume_flux"

_MISSING = -9999.0


def _arguments(options):
    """Keyword options as command-line arguments: key_name=value -> --key-name value."""
    args = []
    for key, value in options.items():
        if value is None or value is False:
            continue
        flag = "--" + key.replace("_", "-")
        if value is True:
            args.append(flag)
            continue
        if isinstance(value, (list, tuple)):
            value = ",".join(str(v) for v in value)
        args += [flag, os.fspath(value) if isinstance(value, os.PathLike) else str(value)]
    return args


class Model(_runoff.Model):
    """A run of the model, stepped an hour at a time (see the module's help)."""

    def __init__(self, workdir=None, **options):
        super().__init__()
        if workdir is not None:
            self.initialize_with(os.path.abspath(os.fspath(workdir)), _arguments(options))

    def run(self):
        """Routes every hour left and finalizes: the run's files are written."""
        self.update_until(self.get_end_time())
        self.finalize()

    def _shape(self, name):
        return tuple(int(n) for n in self.get_grid_shape(self.get_var_grid(name)))

    def _north_first(self, name):
        values = self.get_value(name).reshape(self._shape(name))[::-1].copy()
        if name != RAIN:
            values[values == _MISSING] = np.nan
        return values

    def discharge(self):
        """Each cell's mean discharge over the last hour, m3/s, rows north to south (NaN off
        the simulated rivers)."""
        return self._north_first(DISCHARGE)

    def excess(self):
        """Each cell's rainfall excess of the last hour, mm/h, rows north to south."""
        return self._north_first(EXCESS)

    def rain(self):
        """The rain of the next hour, mm/h, on the rainfall grid, rows north to south."""
        return self._north_first(RAIN)

    def set_rain(self, rain):
        """Sets the next hour's rain (mm/h, the rainfall grid's shape, rows north to south),
        in place of the rain file's for that hour."""
        values = np.asarray(rain, dtype=np.float32)
        shape = self._shape(RAIN)
        if values.shape != shape:
            raise ValueError(f"set_rain needs an array of shape {shape}, not {values.shape}.")
        self.set_value(RAIN, np.ascontiguousarray(values[::-1]).ravel())

    def gauges(self):
        """The hourly mean discharge at the placed gauges (option gauges=FILE), m3/s: a pandas
        DataFrame, a column per gauge, indexed by hour from 1."""
        import pandas as pd

        series = self.gauge_series()
        hours = pd.RangeIndex(1, series.shape[0] + 1, name="hour")
        return pd.DataFrame(series, index=hours, columns=self.gauge_names())


def score(observed, simulated):
    """The scores of discharge-score for one series (nse, log_nse, kge, r, alpha, beta,
    kge_2012, gamma, pbias_pct, peak_error_pct, peak_time_error_h, pairs), over the hours where
    both series hold a number; the hours are the positions in the series."""
    return _runoff.score(np.asarray(observed, dtype=float), np.asarray(simulated, dtype=float))


Calibration = namedtuple("Calibration", "console scores trace parameters")


def calibrate(workdir, **options):
    """Runs runoff-calibrate in `workdir` with its options as keywords (observed=FILE,
    gauges=FILE, parameters=FILE, evaluations=N, ...) and returns its console text, the best
    run's scores and the search's trace (pandas DataFrames) and the path of the best parameter
    file."""
    import pandas as pd

    if not hasattr(_runoff, "calibrate"):
        raise RuntimeError("This build has no calibration: it was built without NLopt.")
    workdir = os.path.abspath(os.fspath(workdir))
    console = _runoff.calibrate(workdir, _arguments(options))
    out = os.path.join(workdir, "calibration")
    return Calibration(console, pd.read_csv(os.path.join(out, "scores.csv")),
                       pd.read_csv(os.path.join(out, "trace.csv")),
                       os.path.join(out, "param-ravo-event-ver300.dat"))
