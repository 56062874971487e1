#!/usr/bin/env python3
"""The example basin driven from Python, notebook style: each "# %%" block is a cell.

Runs examples/sample-basin as its rain file has it, runs it again with a second storm set hour
by hour through the model, and plots the hydrographs at the two largest rivers' outlets of both
runs into one PNG.

    PYTHONPATH=build/python /usr/bin/python3 examples/python/outlet_hydrographs.py \
        [--work DIR] [--png FILE]
"""
# %% Set-up: the package, a plotting back end that needs no screen, the example's folder.
import argparse
import os
import shutil
import tempfile

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import runoff  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE = os.path.normpath(os.path.join(HERE, "..", "sample-basin"))

# The outlets of rivers 1 and 2 (topoData/riverNumList.dat: longitude and latitude); each gauge
# moves to the largest river cell within two cells.
GAUGES = "name,lon,lat\nRiver 1,-84.3408333333333,36.6775\nRiver 2,-84.2591666666667,36.635\n"

# The second storm: 25 mm/h more on every rain cell in hours 30 to 33 of the 48.
STORM_HOURS = range(30, 34)
STORM_MM_PER_HOUR = 25.0


# %% A working copy of the basin: a run writes into its output/ and temp/ folders.
def working_copy(folder):
    shutil.copytree(EXAMPLE, folder)
    os.makedirs(os.path.join(folder, "output"))
    os.makedirs(os.path.join(folder, "temp"))
    with open(os.path.join(folder, "gauges.csv"), "w") as out:
        out.write(GAUGES)
    return folder


# %% One run, stepped an hour at a time; before each storm hour the rain of that hour is raised.
def run(folder, storm_hours=()):
    model = runoff.Model(folder, gauges="gauges.csv")
    while model.hours_done < model.total_hours:
        if model.hours_done in storm_hours:
            model.set_rain(model.rain() + STORM_MM_PER_HOUR)
        model.advance(1)
    model.finalize()  # writes output/: the discharge grids and gauges.csv
    return model.gauges()


# %% Both runs and the plot: a panel per outlet, the file's rain and the changed rain.
def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--work", help="folder for the two working copies (default: a "
                        "temporary folder, removed at the end)")
    parser.add_argument("--png", default="outlet-hydrographs.png", help="the plot to write")
    args = parser.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="runoff-example-")
    try:
        as_file = run(working_copy(os.path.join(work, "file-rain")))
        stormy = run(working_copy(os.path.join(work, "second-storm")), STORM_HOURS)
        figure, panels = plt.subplots(1, 2, figsize=(10, 4), sharex=True)
        for panel, gauge in zip(panels, as_file.columns):
            panel.plot(stormy.index, stormy[gauge], label="second storm, hours 31 to 34")
            panel.plot(as_file.index, as_file[gauge], "--", label="rain file")
            panel.set_title(gauge)
            panel.set_xlabel("hour")
            panel.set_ylabel("discharge (m³/s)")
            panel.legend()
        figure.tight_layout()
        figure.savefig(args.png, dpi=100)
        print(f"Peaks: {as_file.max().round(3).to_dict()} with the file's rain, "
              f"{stormy.max().round(3).to_dict()} with the second storm.")
        print(f"Write {args.png}")
    finally:
        if not args.work:
            shutil.rmtree(work)


if __name__ == "__main__":
    main()
