#!/usr/bin/python3
"""The fit benchmark against SciPy: the same 4-parameter fit of the
10-metabolite Henri-Michaelis-Menten chain to 3 noisy time series, from the
same starts, by Vireon (`fit_benchmark pathway`) and by SciPy's
least_squares (Levenberg-Marquardt, MINPACK) driving the Fortran LSODA
(scipy.integrate.odeint) at the same tolerances, in log space as Vireon
searches. Both times are measured in this run; prints the time of each to
its own optimum, whether the optima agree (objective within 1e-6
relative), and the ratio Vireon / SciPy (want <= 0.1).

    bench/fit_reference.py [path/to/fit_benchmark]
"""

import os
import subprocess
import sys
import tempfile
import time

import numpy as np
from scipy.integrate import odeint
from scipy.optimize import least_squares

N = 10            # variable metabolites S1 .. S10, fed from X0 = 1
KM, V, V1 = 0.5, 1.0, 0.9
RTOL, ATOL = 1e-8, 1e-12
MEASURED = [3, 6, 10]
REPEATS = 3
AGREEMENT = 1e-6


def rates(y, km, vmax):
    return vmax * y / (km + y)


def model(parameters, times):
    """[S3], [S6], [S10] at the times for (E1 Km, E1 V, E5 V, E10 V)."""
    km1, v1, v5, v10 = parameters
    km = np.full(N, KM)
    vmax = np.full(N, V)
    km[0] = km1
    vmax[0] = v1
    vmax[4] = v5
    vmax[9] = v10

    def f(y, t):
        # Step k (0-based) turns S_k into S_(k+1); S_0 is the fixed pool.
        substrate = np.concatenate(([1.0], y[:-1]))
        v = vmax * substrate / (km + substrate)
        out = np.concatenate((v[1:], [0.0]))
        return v - out

    y = odeint(f, np.zeros(N), times, rtol=RTOL, atol=ATOL, mxstep=100000)
    return y[:, [m - 1 for m in MEASURED]]


def main():
    program = sys.argv[1] if len(sys.argv) > 1 else "build-bench/bench/fit_benchmark"
    with tempfile.TemporaryDirectory() as folder:
        text = subprocess.run([program, "pathway", folder], check=True, capture_output=True,
                              text=True).stdout
        data = np.loadtxt(os.path.join(folder, "pathway.csv"), delimiter=",", skiprows=1)
    ours = {}
    values = []
    starts = []
    for line in text.splitlines():
        words = line.split()
        if words[0] == "value":
            values.append(float(words[2]))
        elif words[0] == "start":
            starts.append(float(words[1]))
        else:
            ours[words[0]] = float(words[1])
    times = data[:, 0]
    measured = data[:, 1:]

    def residuals(x):
        return (model(np.exp(x), times) - measured).ravel()

    best = float("inf")
    for _ in range(REPEATS):
        begin = time.perf_counter()
        fit = least_squares(residuals, np.log(starts), method="lm", xtol=1e-12, ftol=1e-15,
                            gtol=1e-15, max_nfev=10000)
        best = min(best, time.perf_counter() - begin)
    objective = float(np.sum(fit.fun ** 2))
    agree = abs(objective - ours["objective"]) <= AGREEMENT * objective
    print("Fit of 4 constants of a 10-metabolite pathway to 3 time series (%d points)"
          % measured.size)
    print("  SciPy least_squares + odeint: %8.4f s  objective %.12g  %d evaluations"
          % (best, objective, fit.nfev))
    print("  Vireon                      : %8.4f s  objective %.12g  %d evaluations"
          % (ours["seconds"], ours["objective"], ours["evaluations"]))
    print("  values SciPy  " + "  ".join("%.8g" % v for v in np.exp(fit.x)))
    print("  values Vireon " + "  ".join("%.8g" % v for v in values))
    print("  same optimum (objective within %g relative): %s" % (AGREEMENT, "yes" if agree else "NO"))
    print("  time ratio Vireon / SciPy: %.3f (want <= 0.1)" % (ours["seconds"] / best))
    return 0 if agree else 1


if __name__ == "__main__":
    sys.exit(main())
