#!/usr/bin/python3
"""The published Fortran LSODA (scipy.integrate.odeint, Debian's python3-scipy)
on the right-hand side of an imported model, evaluated by Vireon itself
(lsoda_models_benchmark --serve), beside our LSODA's counts on the same
problem (lsoda_models_benchmark --counts, with the grouped and with the
column-by-column Jacobian differences).

Same state variables, tolerances (the engine's, scaled by the volumes),
output times, full Jacobian by differences (jt = 2), no step limit.

    bench/lsoda_models_reference.py path/to/lsoda_models_benchmark MODEL.xml... [-- END POINTS RTOL ATOL]

With --trace CALLS (one model) it prints the first CALLS evaluations of the
published solver as `lsoda_models_benchmark MODEL.xml --trace --dense ...`
prints ours (number, t, y[1], dy[1]/dt), for `cmp`:

    bench/lsoda_models_reference.py --trace 100000 DRIVER MODEL.xml > fortran.txt
    DRIVER MODEL.xml --trace --dense 100 100 1e-6 1e-12 100000 > ours.txt
"""

import struct
import subprocess
import sys
import time

import numpy as np
from scipy.integrate import odeint


class Enough(Exception):
    pass


def published(driver, model, extra, trace=0):
    server = subprocess.Popen([driver, model, "--serve"] + extra, stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE)
    read = server.stdout.readline
    n = int(read())
    rtol = float(read())
    atol = np.array([float(v) for v in read().split()])
    y0 = np.array([float(v) for v in read().split()])
    times = np.array([0.0] + [float(v) for v in read().split()])
    packer = struct.Struct("<%dd" % (n + 1))
    size = 8 * n
    calls = [0]

    def f(y, t):
        calls[0] += 1
        if trace and calls[0] > trace:
            raise Enough()
        server.stdin.write(packer.pack(t, *y))
        server.stdin.flush()
        ydot = np.frombuffer(server.stdout.read(size), dtype="<f8")
        if trace:
            print("%d %.17g %.17g %.17g" % (calls[0], t, y[0], ydot[0]))
        return ydot

    start = time.time()
    info = None
    try:
        _, info = odeint(f, y0, times, rtol=rtol, atol=atol if len(set(atol)) > 1 else atol[0],
                         mxstep=10**9, full_output=True)
    except Enough:
        pass
    seconds = time.time() - start
    server.stdin.close()
    server.wait()
    return info, seconds, calls[0]


def ours(driver, model, extra, dense):
    words = [driver, model, "--counts"] + (["--dense"] if dense else []) + extra
    lines = subprocess.run(words, capture_output=True, text=True, check=True).stdout.splitlines()
    rows = [line.split() for line in lines if line and line[0].isdigit()]
    return rows[-1] if rows else None


def main():
    arguments = sys.argv[1:]
    if arguments and arguments[0] == "--trace":
        published(arguments[2], arguments[3], arguments[4:], trace=int(arguments[1]))
        return
    extra = []
    if "--" in arguments:
        extra = arguments[arguments.index("--") + 1:]
        arguments = arguments[:arguments.index("--")]
    driver, models = arguments[0], arguments[1:]
    print("%-18s %-22s %8s %10s %7s %s" % ("model", "solver", "nst", "nfe", "nje", "note"))
    for model in models:
        name = model.rsplit("/", 1)[-1].rsplit(".", 1)[0]
        for dense in (False, True):
            row = ours(driver, model, extra, dense)
            label = "vireon (%s)" % ("columns" if dense else "grouped")
            if row:
                print("%-18s %-22s %8s %10s %7s" % (name, label, row[1], row[2], row[3]))
        info, seconds, calls = published(driver, model, extra)
        switches = int(np.sum(np.diff(info["mused"]) != 0))
        print("%-18s %-22s %8d %10d %7d  methods at the points: %s, %d switches, %.1f s" % (
            name, "odeint (Fortran)", info["nst"][-1], info["nfe"][-1], info["nje"][-1],
            "".join(str(m) for m in info["mused"][::10]), switches, seconds))


if __name__ == "__main__":
    main()
