"""The potential evapotranspiration of a working directory, input/pet.dat.

The rainfall file's format on the rainfall grid of the parameter file (rain_file.py): one
record per hour, the six integers of the hour's start, then the rates in mm/h, one line per
rainfall row from the northern row to the southern one. runoff-sim --soil reads it beside the
rainfall and needs a record for every hour of the run, stamped as the rainfall's are, with
rates from 0 to MOST_PET (runoff/inputs/pet_grid.h).
"""
import datetime
import os

from . import atomic, rain_file, rain_records
from .cli import ToolError

PATH = os.path.join("input", "pet.dat")
MOST_PET = 100.0  # mm/h: the largest rate runoff-sim accepts


def run_hours(workdir, values):
    """The start of every hour of the run: from the first stamp of input/rain.dat, for the
    parameter file's days. The PET must cover the hours of the rainfall."""
    path = os.path.join(workdir, rain_file.PATH)
    if values["days"] < 1 or not os.path.isfile(path):
        raise ToolError(f"{path}: missing; the PET is made for the hours of the rainfall, so "
                        "run prepare-rain first")
    first = rain_records.Records(path, values["rainRows"] * values["rainCols"], limit=1)
    if not first.stamps or first.stamps[0] is None:
        raise ToolError(f"{path}: its first record is stamped with no date and time; the PET "
                        "needs the hours' dates (prepare-rain writes them)")
    start = first.stamps[0]
    return [start + hour * datetime.timedelta(hours=1) for hour in range(values["days"] * 24)]


def write(workdir, hour_starts, fields):
    """`fields` [hour, row from north, col] in mm/h on the rainfall grid."""
    atomic.write_text(os.path.join(workdir, PATH), rain_file.render(hour_starts, fields))
