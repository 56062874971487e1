"""Rainfall units: intensities (a depth of water per time) and amounts (a depth per interval of
the data), turned into the model's mm/h.

Accepted: any product of kg, m, cm, mm and s, min, h (hr, hour), d (day) with exponents, in the
CF form ("kg m-2 s-1", "mm h-1", "kg m**-2 s**-1") or with slashes ("mm/h", "kg/m2/s"), that
is a depth of water (m, mm, or a mass per area, 1 kg m-2 = 1 mm) or a depth per time. A depth
alone is the amount that fell in one interval of the data.
"""
import re

from .cli import ToolError

# factor to SI and the dimension it counts: (mass, length, time)
_UNITS = {
    "kg": (1.0, (1, 0, 0)),
    "m": (1.0, (0, 1, 0)), "cm": (1e-2, (0, 1, 0)), "mm": (1e-3, (0, 1, 0)),
    "s": (1.0, (0, 0, 1)), "sec": (1.0, (0, 0, 1)), "second": (1.0, (0, 0, 1)),
    "seconds": (1.0, (0, 0, 1)), "min": (60.0, (0, 0, 1)), "minute": (60.0, (0, 0, 1)),
    "minutes": (60.0, (0, 0, 1)), "h": (3600.0, (0, 0, 1)), "hr": (3600.0, (0, 0, 1)),
    "hour": (3600.0, (0, 0, 1)), "hours": (3600.0, (0, 0, 1)),
    "d": (86400.0, (0, 0, 1)), "day": (86400.0, (0, 0, 1)), "days": (86400.0, (0, 0, 1)),
}
_TOKEN = re.compile(r"([a-z]+)(-?[0-9]+)?")
_WATER_DENSITY = 1000.0  # kg m-3

ACCEPTED = "mm/h, kg m-2 s-1, mm s-1, mm or m per interval"


class Units:
    """`to_mm_per_hour(values, interval_hours)` converts data in these units."""

    def __init__(self, text, metres, per_time):
        self.text = text
        self._metres = metres      # metres of water per unit (per second when per_time)
        self.per_time = per_time   # an intensity; else an amount per interval

    def to_mm_per_hour(self, values, interval_hours):
        if self.per_time:
            return values * (self._metres * 1000.0 * 3600.0)
        return values * (self._metres * 1000.0 / interval_hours)


def parse(text):
    """The Units of a unit string; refuses anything that is not rainfall."""
    cleaned = text.strip().lower().replace("**", "").replace("^", "")
    factor, dimension = 1.0, [0, 0, 0]
    for part_number, part in enumerate(cleaned.split("/")):
        words = part.split()
        if not words:
            raise ToolError(f"units '{text}' cannot be read; rainfall comes in {ACCEPTED}")
        for word in words:
            match = _TOKEN.fullmatch(word)
            name = match.group(1) if match else None
            if name not in _UNITS:
                raise ToolError(f"units '{text}' cannot be read; rainfall comes in {ACCEPTED}")
            power = int(match.group(2) or 1) * (-1 if part_number else 1)
            scale, counts = _UNITS[name]
            factor *= scale ** power
            for axis in range(3):
                dimension[axis] += counts[axis] * power
    mass, length, time = dimension
    if (mass, length) == (1, -2):
        metres = factor / _WATER_DENSITY
    elif (mass, length) == (0, 1):
        metres = factor
    else:
        metres = None
    if metres is None or time not in (0, -1):
        raise ToolError(f"units '{text}' are not a rainfall intensity or amount; "
                        f"rainfall comes in {ACCEPTED}")
    return Units(text, metres, time == -1)
