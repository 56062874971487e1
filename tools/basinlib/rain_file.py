"""The rainfall file of a working directory, input/rain.dat.

One record per hour: six integers, the year, month, day, hour, minute and second at which the
hour starts, then the intensities of that hour in mm/h, one line per rainfall row from the
northern row to the southern one, each row from west to east. The simulator reads the values
as 32-bit floats; six significant digits keep every value to well under a thousandth of a
millimetre per hour.
"""
import os

import numpy as np

from . import atomic

PATH = os.path.join("input", "rain.dat")


def _value(number):
    text = "%.6g" % number
    return "0" if text in ("-0", "0") else text


def render(hour_starts, fields):
    """`fields` [hour, row from north, col] in mm/h; `hour_starts` the datetime of each hour."""
    parts = []
    for moment, field in zip(hour_starts, fields):
        parts.append(f"{moment.year} {moment.month} {moment.day} {moment.hour} "
                     f"{moment.minute} {moment.second}\n")
        for row in field:
            parts.append(" ".join(_value(v) for v in row) + "\n")
    return "".join(parts)


def write(workdir, hour_starts, fields):
    atomic.write_text(os.path.join(workdir, PATH), render(hour_starts, np.asarray(fields)))
