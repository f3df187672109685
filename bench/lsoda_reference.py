#!/usr/bin/python3
"""Reference counts for bench/lsoda_benchmark.cpp from the published Fortran
LSODA as shipped in Debian's python3-scipy (scipy.integrate.odeint), and the
time of the Fortran solve of the Henri-Michaelis-Menten chains against the
whole run of the same models in Vireon (read, analyse, integrate, report and
data file), measured in the same run.

Solves the benchmark's four problems at the same tolerances (three sets),
step limit and output times, measures how far the reference counts move when each constant
of a problem is moved by one ulp up or down, and compares with our counts and
solutions (read from `lsoda_benchmark --counts`). Errors are measured against
a tight Radau solution, in units of the requested tolerance at each
component's scale: max |y - yref| / (rtol * max_t |yref| + atol); the last
column is the same measure of the distance between our solution and the
published solver's.

    bench/lsoda_reference.py [path/to/lsoda_benchmark]
"""

import subprocess
import sys
import time

import numpy as np
from scipy.integrate import odeint, solve_ivp

TOLERANCES = [(1e-6, 1e-12), (1e-4, 1e-8), (1e-9, 1e-14)]
GOAL = 0.05  # counts within 5 % of the reference, or within its one-ulp spread


def robertson(c):
    k1, k2, k3 = c

    def f(y, t):
        r1 = k1 * y[0]
        r2 = k2 * y[1] * y[2]
        r3 = k3 * y[1] * y[1]
        return [-r1 + r2, r1 - r2 - r3, r3]
    return f


def vanderpol(c):
    (mu,) = c

    def f(y, t):
        return [y[1], mu * (1.0 - y[0] * y[0]) * y[1] - y[0]]
    return f


def oscillator(c):
    (omega,) = c

    def f(y, t):
        return [y[1], -omega * omega * y[0]]
    return f


def chain(c):
    inflow, km, v1, v2, v3 = c
    vmax = np.array([(v1, v2, v3)[(i + 1) % 3] for i in range(100)])

    def f(y, t):
        y = np.asarray(y)
        rates = vmax * y / (km + y)
        influx = np.concatenate(([inflow], rates[:-1]))
        return influx - rates
    return f


PROBLEMS = [
    # name, builder, constants, y0, output times, mxstep
    ("robertson", robertson, [0.04, 1.0e4, 3.0e7], [1.0, 0.0, 0.0],
     [0.4 * 10.0**k for k in range(7)], 10000),
    ("vanderpol", vanderpol, [1000.0], [2.0, 0.0], [100.0 * k for k in range(1, 31)], 10000),
    ("oscillator", oscillator, [1.0], [1.0, 0.0], [1.0 * k for k in range(1, 101)], 10000),
    ("mmchain", chain, [1.0, 1.0, 2.0, 20.0, 200.0], [0.0] * 100,
     [10.0 * k for k in range(1, 51)], 10000),
]


def hmm_chain(n):
    def build(c):
        pool, first_v, v, km = c
        vmax = np.full(n, v)
        vmax[0] = first_v

        def f(y, t):
            s = np.empty(n)
            s[0] = pool
            s[1:] = y[:-1]
            rates = vmax * s / (km + s)
            out = np.empty(n)
            out[:-1] = rates[:-1] - rates[1:]
            out[-1] = rates[-1]
            return out
        return f
    return build


# The chains of bench/chain_model.h: X0 = 1 fixed, first V = 0.9, V = 1,
# Km = 0.5, to t = 100 in 100 intervals; the step limit is LSODA's default.
CHAINS = [
    ("hmmchain100", hmm_chain(100), [1.0, 0.9, 1.0, 0.5], [0.0] * 100,
     [1.0 * k for k in range(1, 101)], 500),
    ("hmmchain500", hmm_chain(500), [1.0, 0.9, 1.0, 0.5], [0.0] * 500,
     [1.0 * k for k in range(1, 101)], 500),
]
PROBLEMS += CHAINS


def reference(builder, constants, y0, times, mxstep, rtol, atol):
    ts = [0.0] + list(times)
    y, info = odeint(builder(constants), y0, ts, rtol=rtol, atol=atol, full_output=True,
                     mxstep=mxstep)
    if info["message"] != "Integration successful.":
        raise RuntimeError(info["message"])
    return (int(info["nst"][-1]), int(info["nfe"][-1]), int(info["nje"][-1])), y[1:]


def tight(builder, constants, y0, times):
    f = builder(constants)
    sol = solve_ivp(lambda t, y: f(y, t), (0.0, times[-1]), y0, method="Radau", t_eval=times,
                    rtol=1e-12, atol=1e-16)
    if not sol.success:
        raise RuntimeError(sol.message)
    return sol.y.T


def scaled_error(y, yref, rtol, atol):
    scale = rtol * np.max(np.abs(yref), axis=0) + atol
    return float(np.max(np.abs(np.asarray(y) - yref) / scale))


def read_ours(binary, rtol, atol):
    out = subprocess.run([binary, "--counts", repr(rtol), repr(atol)], check=True,
                         capture_output=True, text=True).stdout
    counts, solutions = {}, {}
    for line in out.splitlines():
        parts = line.split()
        if parts[0] == "counts":
            counts[parts[1]] = (int(parts[2]), int(parts[3]), int(parts[4]), parts[5] == "1")
        elif parts[0] == "y":
            solutions.setdefault(parts[1], []).append([float(v) for v in parts[3:]])
    return counts, {k: np.array(v) for k, v in solutions.items()}


def main():
    binary = sys.argv[1] if len(sys.argv) > 1 else "build-bench/lsoda_benchmark"
    tights = {}
    all_ok = True
    for rtol, atol in TOLERANCES:
        ours, our_solutions = read_ours(binary, rtol, atol)
        print(f"\nrtol = {rtol:g}, atol = {atol:g}; counts nst/nfe/nje")
        print(f"{'problem':<11} {'ours':>16} {'published':>16} {'one-ulp spread':>32} "
              f"{'max dev':>8} {'ok':>3} {'err/tol ours':>12} {'err/tol pub':>12} "
              f"{'ours-pub':>9}")
        for name, builder, constants, y0, times, mxstep in PROBLEMS:
            base, y_ref = reference(builder, constants, y0, times, mxstep, rtol, atol)
            spread = [base]
            for i, c in enumerate(constants):
                for direction in (np.inf, -np.inf):
                    moved = list(constants)
                    moved[i] = float(np.nextafter(c, direction))
                    spread.append(reference(builder, moved, y0, times, mxstep, rtol, atol)[0])
            low = [min(s[k] for s in spread) for k in range(3)]
            high = [max(s[k] for s in spread) for k in range(3)]
            mine = ours[name][:3]
            deviation = max(abs(m - b) / b for m, b in zip(mine, base) if b > 0)
            ok = ours[name][3] and all(
                abs(m - b) <= GOAL * b or lo <= m <= hi
                for m, b, lo, hi in zip(mine, base, low, high))
            all_ok = all_ok and ok
            if name not in tights:
                tights[name] = tight(builder, constants, y0, times)
            y_tight = tights[name]
            err_ours = scaled_error(our_solutions[name], y_tight, rtol, atol)
            err_pub = scaled_error(y_ref, y_tight, rtol, atol)
            distance = scaled_error(our_solutions[name], y_ref, rtol, atol)
            fmt = lambda c: "/".join(str(v) for v in c)
            spread_text = " ".join(f"{lo}-{hi}" for lo, hi in zip(low, high))
            print(f"{name:<11} {fmt(mine):>16} {fmt(base):>16} {spread_text:>32} "
                  f"{100 * deviation:7.2f}% {'yes' if ok else 'NO':>3} {err_ours:12.3g} "
                  f"{err_pub:12.3g} {distance:9.2g}")
    all_ok = whole_runs(binary) and all_ok
    return 0 if all_ok else 1


def seconds_per_solve(solve, batch_seconds=0.2, batches=5):
    """Processor seconds per solve, the best of several batches, each long
    enough to time (as the C++ side measures)."""
    repeats = 1
    while True:
        start = time.process_time()
        for _ in range(repeats):
            solve()
        if time.process_time() - start >= batch_seconds:
            break
        repeats *= 2
    best = float("inf")
    for _ in range(batches):
        start = time.process_time()
        for _ in range(repeats):
            solve()
        best = min(best, (time.process_time() - start) / repeats)
    return best


def whole_runs(binary):
    """Vireon's whole run of each chain against the Fortran solve alone."""
    out = subprocess.run([binary, "--whole-run"], check=True, capture_output=True,
                         text=True).stdout
    ours = {}
    for line in out.splitlines():
        parts = line.split()
        if parts and parts[0] == "wholerun":
            ours[parts[1]] = ([int(v) for v in parts[2:5]], parts[5] == "1", float(parts[6]),
                              float(parts[7]))
    print("\nwhole run of the chain models against the Fortran solve; counts nst/nfe/nje")
    print(f"{'problem':<11} {'ours':>16} {'published':>16} {'same':>4} {'whole(ms)':>10} "
          f"{'solve(ms)':>10} {'fortran(ms)':>11} {'whole/fortran':>13} {'solve/fortran':>13}")
    ok = True
    for name, builder, constants, y0, times, mxstep in CHAINS:
        counts, _ = reference(builder, constants, y0, times, mxstep, 1e-6, 1e-12)
        f = builder(constants)
        ts = [0.0] + list(times)
        fortran = seconds_per_solve(
            lambda: odeint(f, y0, ts, rtol=1e-6, atol=1e-12, mxstep=mxstep))
        mine, finished, whole, solve = ours[name]
        same = finished and tuple(mine) == counts
        ok = ok and same
        fmt = lambda c: "/".join(str(v) for v in c)
        print(f"{name:<11} {fmt(mine):>16} {fmt(counts):>16} {'yes' if same else 'NO':>4} "
              f"{whole * 1e3:10.3f} {solve * 1e3:10.3f} {fortran * 1e3:11.3f} "
              f"{whole / fortran:13.3f} {solve / fortran:13.3f}")
    return ok


if __name__ == "__main__":
    sys.exit(main())
