"""The time axis of a rainfall data set, and the hours the model reads from it.

The model takes one field per hour. Data whose interval is a whole number of hours give each of
its hours the interval's intensity; data whose interval divides the hour are averaged over each
hour. The series must run without gaps: a missing time step cannot be told from a dry one.
"""
import datetime

import numpy as np

from .cli import ToolError

HOUR = datetime.timedelta(hours=1)


def stamp(moment):
    return moment.strftime("%Y-%m-%d %H:%M:%S")


def duration(span):
    minutes = int(span.total_seconds()) // 60
    if minutes % 60:
        return f"{minutes} min"
    return f"{minutes // 60} h"


def check_steps(source):
    """Refuses a series whose steps are not one interval apart."""
    if not source.starts:
        raise ToolError(f"{source.name}: holds no time step")
    interval = source.interval
    if interval <= datetime.timedelta(0):
        raise ToolError(f"{source.name}: its time steps are not in increasing order")
    if HOUR % interval and interval % HOUR:
        raise ToolError(f"{source.name}: its interval of {duration(interval)} neither divides the hour "
                        "nor is a whole number of hours")
    starts = source.starts
    for before, after in zip(starts, starts[1:]):
        if after - before != interval:
            what = "a gap in time" if after - before > interval else "time steps out of order"
            raise ToolError(f"{source.name}: has {what}: {stamp(before)} is followed by "
                            f"{stamp(after)} (steps of {duration(interval)})")


class HourPlan:
    """Which time steps of the data make the `hours` hours from `first_hour_start` on:
    hour j takes steps source_first + j * per_hour .. + per_hour - 1 (per_hour > 1: averaged),
    or step source_first + j // hours_per_step (data of several hours); hours past the data
    (the last `dry_hours`) are dry."""

    def __init__(self, source, start, days):
        check_steps(source)
        interval = source.interval
        if interval >= HOUR:
            self.hours_per_step, self.per_hour = interval // HOUR, 1
            available = len(source.starts) * self.hours_per_step
        else:
            self.hours_per_step, self.per_hour = 1, HOUR // interval
            available = len(source.starts) // self.per_hour
        first_start = source.starts[0]
        if available == 0:
            raise ToolError(f"{source.name}: holds less than one hour of data")
        if start is None:
            offset = 0
        else:
            offset, rest = divmod(start - first_start, HOUR)
            if rest or not 0 <= offset < available:
                last = first_start + (available - 1) * HOUR
                raise ToolError(f"--from {stamp(start)} is not the start of an hour of the "
                                f"data (the first starts at {stamp(first_start)}, the last at "
                                f"{stamp(last)})")
        self.first_hour_start = first_start + offset * HOUR
        left = available - offset
        self.days = days if days is not None else -(-left // 24)
        self.hours = self.days * 24
        self.data_hours = min(self.hours, left)
        self.dry_hours = self.hours - self.data_hours
        self.first_hour = offset

    def step_range(self):
        """(first, stop) of the data's time steps the hours with data need."""
        if self.per_hour > 1:
            return (self.first_hour * self.per_hour,
                    (self.first_hour + self.data_hours) * self.per_hour)
        first = self.first_hour // self.hours_per_step
        last = (self.first_hour + self.data_hours - 1) // self.hours_per_step
        return first, last + 1

    def to_hours(self, values):
        """Hourly fields [hour, row, col] from the fields of step_range()."""
        if self.per_hour > 1:
            shape = (self.data_hours, self.per_hour) + values.shape[1:]
            hourly = values.reshape(shape).mean(axis=1)
        else:
            offset = self.first_hour - self.step_range()[0] * self.hours_per_step
            hourly = np.repeat(values, self.hours_per_step, axis=0)[
                offset:offset + self.data_hours]
        dry = np.zeros((self.dry_hours,) + values.shape[1:])
        return np.concatenate([hourly, dry], axis=0)

    def hour_start(self, index):
        return self.first_hour_start + index * HOUR
