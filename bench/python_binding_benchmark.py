#!/usr/bin/python3
"""What the Python binding costs, each figure against a peer measured in the
same run:

1. a 1,000-point steady-state scan from Python (Model.scan) against the same
   scan of the same model file by `vireon run`, as a ratio (want <= 1.05);
2. a small simulate call from Python against the engine's own time course
   of the same model (as `vireon simulate` computes it) and against the
   same call made from C++ without the interpreter, as the microseconds
   the binding adds (want under 100 above the engine).

Run it with a Release build (-DCMAKE_BUILD_TYPE=Release):
    PYTHONPATH=build-release/python /usr/bin/python3 \\
        bench/python_binding_benchmark.py build-release/vireon
"""

import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

import vireon

EXAMPLE = pathlib.Path(__file__).resolve().parents[1] / "examples" / "phosphorylation_cycle.vrn"
SCAN_POINTS = 1000
# Each measurement is repeated, alternating the peers; the medians compare.
REPEATS = 5
SMALL_POINTS = 20
SMALL_CALLS = 2000


def scan_model(folder):
    """The example with its scan of the kinase's V over SCAN_POINTS points, its
    steady state alone and no report."""
    text = EXAMPLE.read_text()
    for old, new in (
        ("\nDynamics=1\n", "\nDynamics=0\n"),
        ("\nReport=1\n", "\nReport=0\n"),
        ("\nDensity=11\n", f"\nDensity={SCAN_POINTS}\n"),
    ):
        assert old in text, old
        text = text.replace(old, new)
    path = pathlib.Path(folder) / "scan.vrn"
    path.write_text(text)
    return path


def timed(call):
    start = time.perf_counter()
    call()
    return time.perf_counter() - start


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    program = sys.argv[1]
    environment = dict(os.environ)
    with tempfile.TemporaryDirectory() as folder:
        environment.setdefault("XDG_CONFIG_HOME", folder)
        os.environ.setdefault("XDG_CONFIG_HOME", folder)
        path = scan_model(folder)
        command = [program, "run", "--quiet", "--jobs", "1", str(path)]
        subprocess.run(command, check=True, env=environment, capture_output=True)
        data = path.with_name("phosphorylation_cycle-steadystate.dat")
        titles = data.read_text().split("\n", 1)[0].split()
        model = vireon.load(path)
        cli, module, loaded = [], [], []
        for _ in range(REPEATS):
            cli.append(timed(lambda: subprocess.run(command, check=True, env=environment,
                                                    capture_output=True)))
            module.append(timed(lambda: model.scan(select=titles, jobs=1)))
            loaded.append(timed(lambda: vireon.load(path).scan(select=titles, jobs=1)))
        cli_time = statistics.median(cli)
        module_time, loaded_time = statistics.median(module), statistics.median(loaded)
        print(f"steady-state scan of {SCAN_POINTS} points: vireon run (the whole process) "
              f"{cli_time * 1e3:.1f} ms; Model.scan {module_time * 1e3:.1f} ms, ratio "
              f"{module_time / cli_time:.3f}; load and scan {loaded_time * 1e3:.1f} ms, ratio "
              f"{loaded_time / cli_time:.3f}")

        small = vireon.load(EXAMPLE.with_name("linear_pathway.vrn"))
        session = small._session
        engine_only, in_cpp, from_python = [], [], []
        for _ in range(REPEATS):
            engine_only.append(vireon._vireon._time_engine(session, 10.0, SMALL_POINTS, SMALL_CALLS))
            in_cpp.append(vireon._vireon._time_simulate(session, 10.0, SMALL_POINTS, SMALL_CALLS))
            from_python.append(timed(lambda: [small.simulate(end=10.0, points=SMALL_POINTS)
                                              for _ in range(SMALL_CALLS)]) / SMALL_CALLS)
        engine = statistics.median(engine_only)
        session_time, call = statistics.median(in_cpp), statistics.median(from_python)
        print(f"simulate of {SMALL_POINTS} points: the engine {engine * 1e6:.1f} us, the session "
              f"from C++ {session_time * 1e6:.1f} us, simulate() from Python {call * 1e6:.1f} us: "
              f"{(call - engine) * 1e6:.1f} us above the engine, "
              f"{(call - session_time) * 1e6:.1f} us of them in Python")


if __name__ == "__main__":
    main()
