"""Runs inside a GRASS session (started by grass_conditioning.py): conditions the DEM in
WORK/dem.tif and writes WORK/filled.tif, WORK/drainage.tif, WORK/accumulation.tif and
WORK/session.txt (the number of r.fill.dir passes, then GRASS's version).

    grass --tmp-location EPSG:4326 --exec /usr/bin/python3 grass_session.py WORK MAX_PASSES

r.fill.dir fills depressions but may leave some for a later pass (it reports them as problem
areas), so it runs again on its own output until a pass changes no cell. r.watershed then
gives single-flow (D8) directions and the accumulation on the filled surface; -a keeps the
accumulation positive where GRASS suspects inflow from outside the region (the region is all
the model has). A failure prints one line starting with "grass-session:" and exits 1.
"""
import os
import sys

import grass.script as gs
from grass.exceptions import CalledModuleError


def changed_cells(before, after):
    gs.mapcalc(f"changed = if({after} != {before}, 1, 0)", overwrite=True, quiet=True)
    stats = gs.parse_command("r.univar", flags="g", map="changed")
    return int(float(stats.get("sum", 0) or 0)) if stats.get("n", "0") != "0" else 0


def main():
    work, max_passes = sys.argv[1], int(sys.argv[2])
    gs.run_command("r.in.gdal", flags="o", input=os.path.join(work, "dem.tif"), output="dem",
                   quiet=True)
    gs.run_command("g.region", raster="dem")
    surface = "dem"
    for n in range(1, max_passes + 1):
        filled = f"filled{n}"
        gs.run_command("r.fill.dir", input=surface, output=filled, direction=f"direction{n}",
                       quiet=True)
        changed = changed_cells(surface, filled)
        surface = filled
        if changed == 0:
            break
    else:
        print(f"grass-session: r.fill.dir still changed {changed} cells after {max_passes} "
              "passes")
        return 1
    gs.run_command("r.watershed", flags="sa", elevation=surface, drainage="drainage",
                   accumulation="accumulation", quiet=True)
    outputs = ((surface, "filled.tif", "Float32", -9999),
               ("drainage", "drainage.tif", "Int16", -32768),
               ("accumulation", "accumulation.tif", "Float64", -1))
    for name, file_name, kind, no_data in outputs:
        gs.run_command("r.out.gdal", flags="cm", input=name,
                       output=os.path.join(work, file_name), format="GTiff", type=kind,
                       nodata=no_data, quiet=True)
    with open(os.path.join(work, "session.txt"), "w") as out:
        out.write(f"{n}\n{gs.version().get('version', '?')}\n")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except CalledModuleError as error:
        print(f"grass-session: {error.module} failed")
        sys.exit(1)
