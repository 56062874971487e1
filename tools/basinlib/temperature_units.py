"""Air temperature units, turned into degrees Celsius: kelvin (K) or degrees Celsius, in the
spellings of CF and UDUNITS ("K", "degC", "deg_C", "degree_Celsius", "Celsius", "C")."""
from .cli import ToolError

_KELVIN = {"k", "kelvin", "kelvins", "degk", "deg_k", "degree_kelvin", "degrees_kelvin"}
_CELSIUS = {"c", "°c", "degc", "deg_c", "degree_c", "degrees_c", "celsius", "degree_celsius",
            "degrees_celsius"}


class Units:
    """`to_celsius(values)` converts data in these units."""

    def __init__(self, text, offset):
        self.text = text
        self._offset = offset

    def to_celsius(self, values):
        return values - self._offset


def parse(text):
    cleaned = text.strip().lower().replace(" ", "_")
    if cleaned in _KELVIN:
        return Units(text, 273.15)
    if cleaned in _CELSIUS:
        return Units(text, 0.0)
    raise ToolError(f"units '{text}' are not a temperature; give K or degC")
