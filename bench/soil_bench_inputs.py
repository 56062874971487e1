#!/usr/bin/python3
"""Writes the soil benchmarks' inputs into a basin working directory.

Usage: soil_bench_inputs.py DIR [DAYS [rain]]

topoData/curveNumber.bin, soilCapacity.bin, percolation.bin and baseflowTime.bin with typical
values that vary from cell to cell, and input/pet.dat on the rainfall grid for DAYS days (the
parameter file's when not given): a daily PET of 1 to 5 mm following the seasons, spread over the
daylight hours 6 to 17 as a sine, varying a little from rain cell to rain cell, undated. With
"rain", input/rain.dat too: DAYS days of hourly rain, a storm of 2 to 12 hours at 1 to 8 mm/h
starting on about one day in four, moving across the rain cells (some 1100 mm a year).
"""
import math
import sys

import numpy as np


def main():
    folder = sys.argv[1]
    values = open(f"{folder}/param-ravo-event-ver300.dat").read().split()
    cols, rows = int(values[1]), int(values[2])
    rain_cols, rain_rows = int(values[5]), int(values[6])
    days = int(sys.argv[2]) if len(sys.argv) > 2 else int(values[11])
    random = np.random.default_rng(2026)
    cells = rows * cols
    for name, low, high in (("curveNumber", 55, 90), ("soilCapacity", 50, 250),
                            ("percolation", 0.05, 0.5), ("baseflowTime", 100, 1000)):
        random.uniform(low, high, cells).astype("<f4").tofile(f"{folder}/topoData/{name}.bin")
    shares = [math.sin(math.pi * (h - 5.5) / 12) if 6 <= h < 18 else 0.0 for h in range(24)]
    total = sum(shares)
    spread = 1 + 0.1 * np.sin(np.arange(rain_rows * rain_cols))
    with open(f"{folder}/input/pet.dat", "w") as out:
        for day in range(days):
            daily = 3 - 2 * math.cos(2 * math.pi * (day - 15) / 365)
            for hour in range(24):
                out.write("0 0 0 0 0 0\n")
                rates = daily * shares[hour] / total * spread
                out.write(" ".join(f"{r:.4f}" for r in rates) + "\n")
    if len(sys.argv) > 3 and sys.argv[3] == "rain":
        write_rain(folder, days, rain_rows, rain_cols, random)


def write_rain(folder, days, rain_rows, rain_cols, random):
    with open(f"{folder}/input/rain.dat", "w") as out:
        storm = None  # (first hour, hours, mm/h)
        for day in range(days):
            if random.random() < 0.27:
                storm = (day * 24 + int(random.integers(0, 24)), int(random.integers(2, 13)),
                         float(random.uniform(1, 8)))
            for hour in range(24):
                now = day * 24 + hour
                out.write(f"0 0 {day + 1} {hour} 0 0\n")
                rates = np.zeros(rain_rows * rain_cols)
                if storm and storm[0] <= now < storm[0] + storm[1]:
                    # The storm's front crosses the grid from west to east over its hours.
                    front = (now - storm[0]) / storm[1] * rain_cols
                    for k in range(rain_rows * rain_cols):
                        rates[k] = storm[2] * math.exp(-abs(k % rain_cols - front) / 2)
                out.write(" ".join(f"{r:.3f}" for r in rates) + "\n")


if __name__ == "__main__":
    main()
