"""The parameter file of a working directory, param-ravo-event-ver300.dat.

Nineteen numbers separated by white space, in a fixed order. The simulator reads integer fields
with integer input, so an integer written with a decimal point would shift every later value:
integers are written as integers. Real values are written with at most 15 significant digits,
which read back as the same double; the simulator copies some of them into its cache keys with
15 digits, and a value that did not survive that round trip would rebuild its caches on every
run.
"""
import re

from . import atomic
from .cli import ToolError

FILE_NAME = "param-ravo-event-ver300.dat"

# (name, type, meaning) in file order.
FIELDS = (
    ("topoScale", float, "cell size of the topography grid, arc-seconds"),
    ("topoCols", int, "columns of the topography grid"),
    ("topoRows", int, "rows of the topography grid"),
    ("topoSwLon", float, "longitude of the grid's outer south-west corner, degrees"),
    ("topoSwLat", float, "latitude of that corner, degrees"),
    ("rainCols", int, "columns of the rainfall grid"),
    ("rainRows", int, "rows of the rainfall grid"),
    ("rainDx", float, "spacing of the rainfall cell centres in longitude, degrees"),
    ("rainDy", float, "spacing of the rainfall cell centres in latitude, degrees"),
    ("rainSwLon", float, "longitude of the centre of the south-west rainfall cell, degrees"),
    ("rainSwLat", float, "latitude of that centre, degrees"),
    ("days", int, "simulated days"),
    ("timeStep", int, "finite-difference time step, seconds"),
    ("spaceSteps", int, "finite-difference space intervals per cell"),
    ("fdWeight", float, "finite-difference weight"),
    ("slopeManning", float, "Manning coefficient of hillslope cells"),
    ("channelManning", float, "Manning coefficient of channel cells"),
    ("channelThreshold", int, "flow accumulation above which a cell is a channel, cells"),
    ("initialRunoff", float, "initial runoff height, mm/h"),
)
NAMES = tuple(name for name, _, _ in FIELDS)
TYPES = {name: kind for name, kind, _ in FIELDS}

# Lines of the file as the tools write it: study area, rainfall grid, duration and steps,
# weight and kinematic-wave values.
_LINES = (NAMES[0:5], NAMES[5:11], NAMES[11:14], NAMES[14:19])

_INTEGER = re.compile(r"[+-]?[0-9]+")
_REAL = re.compile(r"[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?")

# Documented defaults of the values that are not properties of the grid or the rainfall.
DEFAULTS = {
    "timeStep": 60,          # s: 60 sub-steps per hour keep the implicit scheme smooth
    "spaceSteps": 1,         # one space interval per cell
    "fdWeight": 0.6,         # slightly implicit
    "slopeManning": 0.4,     # overland flow on vegetated hillslopes
    "channelManning": 0.03,  # natural channels
    "channelThreshold": 100, # cells draining more than 100 cells are channels
    "initialRunoff": 0.1,    # mm/h of base flow at the start
}


def format_value(name, value):
    if TYPES[name] is int:
        return str(int(value))
    text = "%.15g" % float(value)
    return "0" if text == "-0" else text


def read(path, label=None):
    """Returns the 19 values as a dict, refusing a file a run could not use as intended;
    messages name the file as `label` (default: its path)."""
    label = label or path
    try:
        with open(path, encoding="utf-8", errors="replace") as source:
            tokens = source.read().split()
    except FileNotFoundError:
        raise ToolError(f"{label}: missing")
    if len(tokens) < len(FIELDS):
        raise ToolError(f"{label}: holds {len(tokens)} numbers, a parameter file has "
                        f"{len(FIELDS)}")
    values = {}
    for index, ((name, kind, _), token) in enumerate(zip(FIELDS, tokens), start=1):
        pattern = _INTEGER if kind is int else _REAL
        if not pattern.fullmatch(token):
            what = "an integer" if kind is int else "a number"
            raise ToolError(f"{label}: value {index} ({name}) is '{token}', not {what}")
        values[name] = int(token) if kind is int else float(token)
    return values


def problems(values):
    """The values that make a run meaningless, one line each (empty when all are usable)."""
    found = []
    for name in ("topoCols", "topoRows", "rainCols", "rainRows", "spaceSteps"):
        if values[name] < 1:
            found.append(f"{name} is {values[name]}, must be at least 1")
    if values["days"] < 0:
        found.append(f"days is {values['days']}, must not be negative")
    if not 1 <= values["timeStep"] <= 3600 or 3600 % values["timeStep"]:
        found.append(f"timeStep is {values['timeStep']} s, must divide the hour (3600 s)")
    for name in ("topoScale", "rainDx", "rainDy", "slopeManning", "channelManning"):
        if not values[name] > 0:
            found.append(f"{name} is {format_value(name, values[name])}, must be positive")
    if not 0 <= values["fdWeight"] <= 1:
        found.append(f"fdWeight is {format_value('fdWeight', values['fdWeight'])}, "
                     "must lie between 0 and 1")
    if not values["initialRunoff"] >= 0:
        found.append(f"initialRunoff is {values['initialRunoff']}, must not be negative")
    return found


def render(values):
    lines = (" ".join(format_value(name, values[name]) for name in line) for line in _LINES)
    return "\n".join(lines) + "\n"


def write(path, values):
    """Writes the file whole, each value in the form the simulator reads back exactly."""
    atomic.write_text(path, render(values))
