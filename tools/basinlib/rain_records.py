"""Reading input/rain.dat back, to check it against the parameter file.

The simulator reads the file as one stream of numbers: for each hour six integers, then
rainRows x rainCols values. This reader keeps the line of every number so that a report can
point at it.
"""
import datetime
import re

import numpy as np

_INTEGER = re.compile(r"[+-]?[0-9]+")


class Records:
    """`stamps` (datetime or None for each complete record, with its line), `values`
    [record, value] in mm/h, `extra` (numbers after the last complete record) and `problems`
    (kind, text) found while reading."""

    def __init__(self, path, per_record, limit=None):
        """Reads every record, or the first `limit` only."""
        tokens, lines = [], []
        width = 6 + per_record
        with open(path, encoding="utf-8", errors="replace") as source:
            for number, line in enumerate(source, start=1):
                words = line.split()
                tokens.extend(words)
                lines.extend([number] * len(words))
                if limit is not None and len(tokens) >= limit * width:
                    del tokens[limit * width:], lines[limit * width:]
                    break
        self.problems = []
        self.count, self.extra = divmod(len(tokens), width)
        self.stamps, self.lines = [], []
        values = []
        for record in range(self.count):
            head = tokens[record * width:record * width + 6]
            line = lines[record * width]
            self.lines.append(line)
            self.stamps.append(self._stamp(head, line))
            values.append(tokens[record * width + 6:(record + 1) * width])
            if len(self.problems) > 3:
                break
        self.values = self._numbers(values, lines, width)

    def _stamp(self, head, line):
        if not all(_INTEGER.fullmatch(word) for word in head):
            self.problems.append(("error", f"line {line}: '{' '.join(head)}' is not six "
                                  "integers (a time stamp)"))
            return None
        try:
            return datetime.datetime(*map(int, head))
        except ValueError:
            self.problems.append(("error", f"line {line}: {' '.join(head)} is not a date and "
                                  "time (year month day hour minute second)"))
            return None

    def _numbers(self, values, lines, width):
        try:
            return np.array(values, dtype=np.float64)
        except ValueError:
            for record, words in enumerate(values):
                for offset, word in enumerate(words):
                    try:
                        float(word)
                    except ValueError:
                        line = lines[record * width + 6 + offset]
                        self.problems.append(("error", f"line {line}: '{word}' is not a "
                                              "number"))
                        return None
            return None
