"""Random observed and simulated discharge series with gaps, and their scores computed
independently with numpy, for tests/scores_test.cpp.

Usage: score_reference.py SEED DIR [WARM_UP_HOURS]
Writes into DIR: observed.csv and simulated.csv (the long form time,gauge,discharge),
expected.csv (the columns of scores.csv, one line per gauge and the mean) and counts.txt
(paired, observed missing, simulated missing, outside the run, between hours, in the warm-up).
Values are float32 numbers written in their shortest form, as gauges.csv holds them.
"""
import datetime
import os
import sys

import numpy as np


def stamp(t):
    return t.strftime("%Y-%m-%dT%H:%M:%S")


def quoted(name):
    return f'"{name}"' if "," in name else name


def shortest(x):
    return repr(float(x)) if np.isfinite(x) else "nan"


def scores(o, s, hours):
    """The scores of paired series o (observed) and s (simulated) at the given hours."""
    nse = 1 - np.sum((s - o) ** 2) / np.sum((o - o.mean()) ** 2)
    eps = 0.01 * o.mean()
    lo, ls = np.log(o + eps), np.log(s + eps)
    log_nse = 1 - np.sum((ls - lo) ** 2) / np.sum((lo - lo.mean()) ** 2)
    r = np.corrcoef(o, s)[0, 1]
    alpha = np.std(s) / np.std(o)
    beta = s.mean() / o.mean()
    gamma = (np.std(s) / s.mean()) / (np.std(o) / o.mean())
    kge = 1 - np.sqrt((r - 1) ** 2 + (alpha - 1) ** 2 + (beta - 1) ** 2)
    kge_2012 = 1 - np.sqrt((r - 1) ** 2 + (gamma - 1) ** 2 + (beta - 1) ** 2)
    pbias = 100 * np.sum(s - o) / np.sum(o)
    peak = 100 * (s.max() - o.max()) / o.max()
    peak_time = hours[np.argmax(s)] - hours[np.argmax(o)]
    return [nse, log_nse, kge, r, alpha, beta, kge_2012, gamma, pbias, peak, peak_time]


def main():
    seed, out = int(sys.argv[1]), sys.argv[2]
    warm_up = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    rng = np.random.default_rng(seed)
    start = datetime.datetime(2001, 3, 4, 5)
    hours = 120
    gauges = ["A", "Bridge, west", "C"]
    sim_lines, obs_lines = [], []
    counts = dict(paired=0, missing=0, sim_missing=0, outside=0, between=0, warm_up=0)
    expected = []
    for g in gauges:
        # A storm hydrograph with noise; the simulation a distorted copy.
        t = np.arange(hours)
        peak = rng.uniform(20, 90)
        base = 0.5 + rng.uniform(5, 40) * np.exp(-((t - peak) / rng.uniform(4, 15)) ** 2)
        obs = np.float32(base * rng.uniform(0.8, 1.2, hours))
        sim = np.float32(np.roll(base, rng.integers(-3, 4)) * rng.uniform(0.7, 1.3)
                         + rng.uniform(0, 0.3, hours))
        sim_present = rng.uniform(size=hours) > 0.1
        sim_present[0] = sim_present[-1] = True  # the run reaches from the first hour to the last
        sim_nan = rng.uniform(size=hours) < 0.05
        obs_kind = rng.choice(["value", "empty", "nan", "negative", "absent"], size=hours,
                              p=[0.8, 0.05, 0.05, 0.05, 0.05])
        for h in range(hours):
            if sim_present[h]:
                text = "NaN" if sim_nan[h] else shortest(sim[h])
                sim_lines.append(f"{stamp(start + datetime.timedelta(hours=h))},{quoted(g)},{text}")
        o_pairs, s_pairs, h_pairs = [], [], []
        for h in range(hours):
            kind = obs_kind[h]
            if kind == "absent":
                continue
            text = {"value": shortest(obs[h]), "empty": "", "nan": "nan",
                    "negative": "-1"}[kind]
            obs_lines.append((g, start + datetime.timedelta(hours=h), text))
            if kind != "value":
                counts["missing"] += 1
            elif h < warm_up:
                counts["warm_up"] += 1
            elif not sim_present[h] or sim_nan[h]:
                counts["sim_missing"] += 1
            else:
                counts["paired"] += 1
                o_pairs.append(float(obs[h]))
                s_pairs.append(float(sim[h]))
                h_pairs.append(h)
        # Times the simulation does not cover, or not on an hour of it.
        for offset in (-5, -1, hours + 2):
            obs_lines.append((g, start + datetime.timedelta(hours=offset), "3"))
            counts["outside"] += 1
        obs_lines.append((g, start + datetime.timedelta(hours=7, minutes=30), "3"))
        counts["between"] += 1
        expected.append((g, len(o_pairs), scores(np.array(o_pairs), np.array(s_pairs),
                                                 np.array(h_pairs))))
    with open(os.path.join(out, "simulated.csv"), "w") as f:
        f.write("time,gauge,discharge\n")
        for line in sorted(sim_lines):
            f.write(line + "\n")
    rng.shuffle(obs_lines)
    with open(os.path.join(out, "observed.csv"), "w") as f:
        f.write("gauge,discharge,time\n")
        for g, t, text in obs_lines:
            f.write(f"{quoted(g)},{text},{stamp(t)}\n")
    order = []
    for g, _, _ in obs_lines:
        if g not in order:
            order.append(g)
    by_name = {g: (n, v) for g, n, v in expected}
    with open(os.path.join(out, "expected.csv"), "w") as f:
        for g in order:
            n, v = by_name[g]
            f.write(",".join([quoted(g), str(n)] + [shortest(x) for x in v]) + "\n")
        mean = np.mean([by_name[g][1] for g in order], axis=0)
        total = sum(by_name[g][0] for g in order)
        f.write(",".join(["mean", str(total)] + [shortest(x) for x in mean]) + "\n")
    with open(os.path.join(out, "counts.txt"), "w") as f:
        f.write(" ".join(str(counts[k]) for k in
                         ["paired", "missing", "sim_missing", "outside", "between", "warm_up"]))
        f.write("\n")


if __name__ == "__main__":
    main()
