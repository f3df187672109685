"""The vireon module against the program's own output and closed forms."""

import io
import os
import re
import signal
import subprocess
import threading
import time

import numpy as np
import pytest

import vireon
from conftest import EXAMPLES, read_data_file, same_as_written, vireon_program

# The example models without a scan, whose runs the module must repeat
# number for number (the scan of phosphorylation_cycle has a test of its own).
EXAMPLE_NAMES = [
    "michaelis_menten",
    "branched_pathway",
    "linear_pathway",
    "upper_glycolysis",
    "lotka_volterra",
    "robertson",
    "brusselator",
    "oregonator",
]


def example(name):
    return EXAMPLES / f"{name}.vrn"


def steady_state_value(title, state, control):
    """A steady-state data file's column, by its title, from the module's
    steady state and control analysis."""
    patterns = [
        (r"\[(.+)\]ss", lambda m: state.concentration(m[1])),
        (r"tt\((.+)\)", lambda m: state.transition_times[state.metabolites.index(m[1])]),
        (r"J\((.+)\)", lambda m: state.flux(m[1])),
        (r"C\(J\((.+)\),(.+)\)", lambda m: control.flux_control[
            control.flux_control.row_names.index(m[1]),
            control.flux_control.column_names.index(m[2])]),
        (r"C\(\[(.+)\],(.+)\)", lambda m: control.concentration_control[
            control.concentration_control.row_names.index(m[1]),
            control.concentration_control.column_names.index(m[2])]),
        (r"e\((.+),\[(.+)\]\)", lambda m: control.elasticities[
            control.elasticities.row_names.index(m[1]),
            control.elasticities.column_names.index(m[2])]),
    ]
    for pattern, value in patterns:
        match = re.fullmatch(pattern, title)
        if match:
            return float(value(match))
    # An output function's column (titled with its name) is none of these.
    return None


@pytest.mark.parametrize("name", EXAMPLE_NAMES)
def test_time_course_is_the_one_vireon_run_writes(name, run_cli):
    copy = run_cli(example(name))
    titles, rows = read_data_file(copy.with_name(f"{name}-timecourse.dat"))
    assert titles[0] == "time"
    course = vireon.load(copy).simulate(select=titles[1:])
    assert len(course) == len(rows)
    for k, row in enumerate(rows):
        assert same_as_written(course.time[k], row[0]), (k, course.time[k], row[0])
        for c, text in enumerate(row[1:]):
            assert same_as_written(course.values[k, c], text), (k, titles[c + 1])


@pytest.mark.parametrize("name", EXAMPLE_NAMES[:4])
def test_steady_state_and_control_are_those_vireon_run_writes(name, run_cli):
    # The steady state alone, as the module computes it.
    copy = run_cli(example(name), edit=lambda text: text.replace("\nDynamics=1\n", "\nDynamics=0\n"))
    titles, rows = read_data_file(copy.with_name(f"{name}-steadystate.dat"))
    model = vireon.load(copy)
    state = model.steady_state()
    control = model.control_analysis()
    compared = 0
    for title, text in zip(titles, rows[0]):
        if title in model.quantities():
            value = model[title]
        else:
            value = steady_state_value(title, state, control)
        if value is None:
            continue
        assert same_as_written(value, text), (title, value, text)
        compared += 1
    assert compared >= len(titles) - 1


@pytest.mark.parametrize("name", ["brusselator", "linear_pathway", "lotka_volterra"])
def test_the_stability_verdict_is_the_report_s(name, run_cli):
    report = run_cli(example(name)).with_suffix(".txt").read_text()
    summary = report.split("Summary:\n This steady state ", 1)[1].split(".\n", 1)[0]
    state = vireon.load(example(name)).steady_state()
    assert summary.startswith({"unstable": "is unstable",
                               "asymptotically stable": "is asymptotically stable",
                               "undetermined": "stability is undetermined"}[state.stability])
    assert state.oscillatory == ("oscillatory components" in summary)
    listed = report.split("Eigenvalues of the Jacobian matrix\n", 1)[1].split("\n\n", 1)[0]
    assert len(listed.strip().splitlines()) == len(state.eigenvalues)


def test_a_scan_is_the_one_vireon_run_writes(run_cli):
    copy = run_cli(
        example("phosphorylation_cycle"),
        edit=lambda text: text.replace("\nDynamics=1\n", "\nDynamics=0\n"),
    )
    titles, rows = read_data_file(copy.with_name("phosphorylation_cycle-steadystate.dat"))
    model = vireon.load(copy)
    # The model's own scan, with the file's columns after the scanned constant.
    scan = model.scan(select=titles)
    assert scan.columns == ["kinase(V)"] + titles
    assert len(scan) == len(rows) == 11
    for k, row in enumerate(rows):
        for c, text in enumerate(row):
            assert same_as_written(scan.values[k, c + 1], text), (k, titles[c])
    # The same points given from Python, on two threads.
    again = model.scan({"kinase(V)": vireon.grid(0.5, 1.5, 11)}, select=titles, jobs=2)
    np.testing.assert_array_equal(again.values, scan.values)
    listed = model.scan({"kinase(V)": np.linspace(0.5, 1.5, 11)}, select=titles)
    np.testing.assert_array_equal(listed.values, scan.values)


@pytest.mark.parametrize("jobs", [1, 2])
def test_a_random_scan_draws_what_vireon_run_draws(run_cli, jobs):
    without_time_course = lambda text: text.replace("\nDynamics=1\n", "\nDynamics=0\n")
    copy = run_cli(example("random_scan"), edit=without_time_course, extra=("--seed", "7"))
    titles, rows = read_data_file(copy.with_name("random_scan-steadystate.dat"))
    model = vireon.load(copy)
    scan = model.scan(select=titles, seed=7, jobs=jobs)
    scanned = len(scan.columns) - len(titles)
    assert len(scan) == len(rows) == 20
    for k, row in enumerate(rows):
        for c, text in enumerate(row):
            assert same_as_written(scan.values[k, scanned + c], text), (k, titles[c])


def decay_model():
    return vireon.from_reactions(
        "decay: A -> B; Mass action (irreversible); k=0.5",
        initial={"A": 2.0},
        fixed=["B"],
        title="first-order decay",
    )


def test_setting_a_quantity_changes_the_next_run():
    model = decay_model()
    assert model["decay(k)"] == 0.5
    assert model["[A]i"] == 2.0
    first = model.simulate(end=4, points=8, rtol=1e-10, atol=1e-14)
    np.testing.assert_allclose(first["A"], 2.0 * np.exp(-0.5 * first.time), rtol=1e-7)
    model["decay(k)"] = 2.0
    model["A"] = 3.0  # a metabolite's name stands for its initial concentration
    assert model["[A]i"] == 3.0
    second = model.simulate(end=4, points=8, rtol=1e-10, atol=1e-14)
    np.testing.assert_allclose(second["A"], 3.0 * np.exp(-2.0 * second.time), rtol=1e-6)
    # A step's name stands for its flux, as its title does.
    fluxes = model.simulate(end=1, points=2, select=["decay", "J(decay)", "A"])
    np.testing.assert_array_equal(fluxes["decay"], fluxes["J(decay)"])
    np.testing.assert_allclose(fluxes["decay"], 2.0 * fluxes["A"], rtol=1e-12)
    assert "decay(k)" in model.quantities()
    assert "end time" in model.quantities()
    model["end time"] = 1.0
    assert model.simulate(points=4).time[-1] == 1.0


def test_an_expression_rate_law_gives_the_closed_form_steady_state():
    model = vireon.from_reactions(
        """
        # a constant supply into a saturable consumption
        supply: X -> S; v; v=1
        use:    S -> P; V*S/(Km+S); V=3, Km=0.5
        """,
        fixed=["X", "P"],
    )
    state = model.steady_state()
    # V S / (Km + S) = v  gives  S = v Km / (V - v).
    assert state.concentration("S") == pytest.approx(0.25, rel=1e-8)
    assert state.flux("use") == pytest.approx(1.0, rel=1e-8)
    assert state.stable
    control = model.control_analysis()
    # The summation theorem: each flux's control coefficients sum to 1.
    np.testing.assert_allclose(control.flux_control.sum(axis=1), 1.0, atol=1e-6)
    # The supply alone sets the flux.
    assert control.flux_control[1, 0] == pytest.approx(1.0, abs=1e-6)
    assert control.elasticities.row_names == ["supply", "use"]
    frames = control.to_pandas()
    assert list(frames["flux_control"].index) == ["supply", "use"]


def test_a_model_round_trips_through_its_files(tmp_path):
    model = vireon.load(example("linear_pathway"))
    path = tmp_path / "saved.vrn"
    model.save(path)
    again = vireon.load(path)
    np.testing.assert_array_equal(
        again.simulate(points=20).values, model.simulate(points=20).values
    )
    sbml = tmp_path / "saved.xml"
    sbml.write_text(model.to_sbml())
    imported = vireon.load(sbml)
    np.testing.assert_allclose(
        imported.steady_state().concentrations, model.steady_state().concentrations, rtol=1e-6
    )


def test_failures_raise_with_the_message(tmp_path):
    with pytest.raises(vireon.VireonError, match="could not load .*missing.vrn"):
        vireon.load(tmp_path / "missing.vrn")
    broken = tmp_path / "broken.xml"
    broken.write_text("<sbml>not a model")
    with pytest.raises(vireon.VireonError, match="could not import"):
        vireon.load(broken)
    model = decay_model()
    with pytest.raises(KeyError, match="no quantity called nothing"):
        model["nothing"]
    with pytest.raises(KeyError, match="nothing"):
        model.simulate(select=["nothing"])
    with pytest.raises(vireon.VireonError, match="at least 1 point"):
        model.simulate(points=0)
    with pytest.raises(vireon.VireonError, match="Syntax error|refused"):
        vireon.from_reactions("bad: A -> -> B; k")
    with pytest.raises(vireon.VireonError, match="no constant"):
        vireon.from_reactions("r: A -> B; Mass action (irreversible); q=1")
    # A supply with nothing to take it away has no steady state.
    growing = vireon.from_reactions("supply: X -> A; Constant flux (irreversible)", fixed=["X"])
    with pytest.raises(vireon.SteadyStateError):
        growing.steady_state()
    with pytest.raises(ValueError, match="evenly spaced"):
        model.scan({"decay(k)": [1.0, 2.0, 5.0]})


def test_an_sbml_model_reads_as_vireon_simulate_reads_it(tmp_path):
    sbml = tmp_path / "pathway.xml"
    sbml.write_text(vireon.load(example("linear_pathway")).to_sbml())
    # Species and reactions by their SBML ids: a reaction's id is its rate.
    select = ["S1", "E2", "E4"]
    environment = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    written = subprocess.run(
        [vireon_program(), "simulate", str(sbml), "--points", "20", "--select", ",".join(select)],
        capture_output=True, text=True, env=environment, check=True,
    )
    rows = np.loadtxt(io.StringIO(written.stdout), delimiter=",", skiprows=1)
    course = vireon.load(sbml).simulate(points=20, select=select)
    assert course.columns == select
    np.testing.assert_allclose(course.time, rows[:, 0], rtol=1e-14)
    np.testing.assert_allclose(course.values, rows[:, 1:], rtol=1e-9)


def run_both(model):
    course = model.simulate()
    return course.values, model.steady_state().concentrations


def test_two_threads_give_what_one_after_the_other_gives():
    models = [vireon.load(example("upper_glycolysis")), vireon.load(example("robertson"))]
    serial = [run_both(model) for model in models]
    results = [None, None]

    def work(k):
        results[k] = run_both(models[k].copy())

    threads = [threading.Thread(target=work, args=(k,)) for k in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for k in range(2):
        np.testing.assert_array_equal(results[k][0], serial[k][0])
        np.testing.assert_array_equal(results[k][1], serial[k][1])


@pytest.mark.parametrize("task", ["time_course", "scan"])
def test_ctrl_c_stops_a_run_with_keyboard_interrupt(task):
    model = vireon.load(example("oregonator"))
    timer = threading.Timer(0.3, signal.raise_signal, args=(signal.SIGINT,))
    started = time.monotonic()
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            if task == "time_course":
                # Far longer than the test waits.
                model.simulate(end=1e6, points=1000000)
            else:
                model.scan({"end time": vireon.grid(1e4, 1e6, 1000)}, task="time_course")
    finally:
        timer.cancel()
    assert time.monotonic() - started < 30
    # The model is as it was, and runs again.
    assert len(model.simulate(points=5)) == 6


def test_results_as_pandas_and_plots():
    pandas = pytest.importorskip("pandas")
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    model = vireon.load(example("michaelis_menten"))
    course = model.simulate(points=10, select=["S", "J(catalysis)"])
    frame = course.to_pandas()
    assert isinstance(frame, pandas.DataFrame)
    assert list(frame.columns) == ["time", "S", "J(catalysis)"]
    assert len(course.plot().get_lines()) == 2
    scan = model.scan({"catalysis(k)": vireon.grid(1, 3, 3)}, select=["J(catalysis)"])
    assert list(scan.to_pandas().columns) == ["catalysis(k)", "J(catalysis)"]
    assert len(scan.plot("catalysis(k)", "J(catalysis)").get_lines()) == 1


def test_every_public_name_says_what_it_does():
    for name in vireon.__all__:
        assert getattr(vireon, name).__doc__, name
    for name in ("simulate", "steady_state", "control_analysis", "scan", "save", "to_sbml"):
        assert getattr(vireon.Model, name).__doc__, name
