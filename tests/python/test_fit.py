"""Model.fit() against known answers and against `vireon fit`."""

import json
import math
import os
import shutil
import signal
import subprocess
import threading
import time

import numpy as np
import pytest

import vireon
from conftest import EXAMPLES, vireon_program

# The true values of the chain's rate constants, and the grid its data lie on.
TRUE_K1, TRUE_K2 = 0.7, 0.3
END, POINTS = 6.0, 12


def chain_model():
    return vireon.from_reactions(
        f"""
        first:  A -> B; Mass action (irreversible); k={TRUE_K1}
        second: B -> C; Mass action (irreversible); k={TRUE_K2}
        """,
        initial={"A": 2.0},
        fixed=["C"],
        title="two first-order steps",
    )


def write_course(path, course, columns):
    """A data file of the course's columns, every number written exactly."""
    lines = ["time," + ",".join(columns)]
    for k, t in enumerate(course.time):
        lines.append(",".join(repr(float(v)) for v in [t, *(course[c][k] for c in columns)]))
    path.write_text("\n".join(lines) + "\n")
    return path


@pytest.fixture
def chain_data(tmp_path):
    """A model of the chain and its own time course of A and B as data."""
    model = chain_model()
    course = model.simulate(end=END, points=POINTS, select=["A", "B"])
    return model, write_course(tmp_path / "chain.csv", course, ["A", "B"])


def test_a_fit_of_the_model_s_own_data_recovers_its_parameters(chain_data):
    model, data = chain_data
    # Starts a factor 10 off.
    model["first(k)"] = TRUE_K1 * 10
    model["second(k)"] = TRUE_K2 / 10
    result = model.fit(data, {"first(k)": (1e-3, 1e3), "second(k)": None})
    assert result.status == "converged"
    assert result.names == ["first(k)", "second(k)"]
    np.testing.assert_allclose(result.values, [TRUE_K1, TRUE_K2], rtol=1e-6)
    assert result["first(k)"] == result.parameters[0].value == result.values[0]
    assert result.points == 2 * (POINTS + 1)
    assert result.objective < 1e-12
    assert not result.poorly_determined.any() and not result.at_bound.any()
    assert result.correlation.shape == (2, 2)
    assert result.correlation.row_names == result.names
    np.testing.assert_allclose(np.diag(result.correlation), 1.0)
    assert result.starts == 1 and result.best_start == 0
    assert result.evaluations > 0
    (experiment,) = result.experiments
    assert experiment.kind == "time course" and experiment.columns == ["A", "B"]
    np.testing.assert_allclose(experiment.time, np.linspace(0, END, POINTS + 1), rtol=1e-15)
    np.testing.assert_allclose(experiment.model, experiment.data, rtol=1e-6, atol=1e-9)
    # The residuals are the objective's terms.
    assert np.sum(experiment.residuals**2) == pytest.approx(result.objective, rel=1e-9, abs=1e-30)
    # The fit leaves the model's values as they were.
    assert model["first(k)"] == TRUE_K1 * 10


def test_apply_changes_the_next_run(chain_data):
    model, data = chain_data
    model["first(k)"] = 2.0
    before = model.simulate(end=END, points=POINTS, select=["A", "B"])
    result = model.fit(data, ["first(k)", "second(k)"])
    assert model["first(k)"] == 2.0
    assert model.apply(result) is model
    assert model["first(k)"] == result["first(k)"]
    assert model["second(k)"] == result["second(k)"]
    after = model.simulate(end=END, points=POINTS, select=["A", "B"])
    assert not np.allclose(after.values, before.values, rtol=1e-3)
    np.testing.assert_allclose(after.values, result.experiments[0].data, rtol=1e-6, atol=1e-9)
    # The same values on another model of the same quantities.
    other = result.apply_to(chain_model())
    np.testing.assert_array_equal(
        other.simulate(end=END, points=POINTS, select=["A", "B"]).values, after.values
    )


def test_bounds_hold_the_fit_on_an_edge(chain_data):
    model, data = chain_data
    result = model.fit(data, {"first(k)": (0.1, 0.5), "second(k)": (0.01, 10)}, log=False)
    assert result.parameters[0].at_bound
    assert result["first(k)"] == pytest.approx(0.5, rel=1e-9)
    assert result.objective > 0


def test_the_direct_search_finds_the_parameters_within_their_bounds(chain_data):
    model, data = chain_data
    model["first(k)"] = 5.0
    result = model.fit([data], {"first(k)": (0.05, 5), "second(k)": (0.05, 5)}, method="direct")
    np.testing.assert_allclose(result.values, [TRUE_K1, TRUE_K2], rtol=1e-6)
    assert result.evaluations > 2 * 100


def test_one_and_two_jobs_give_the_same_global_fit(chain_data):
    model, data = chain_data
    options = dict(method="global", starts=6, seed=11, log={"first(k)": True})
    bounds = {"first(k)": (0.01, 10), "second(k)": (0.01, 10)}
    one = model.fit(data, bounds, jobs=1, **options)
    two = model.fit(data, bounds, jobs=2, **options)
    assert one.starts == two.starts == 6
    assert one.to_json() == two.to_json()
    np.testing.assert_array_equal(one.values, two.values)
    np.testing.assert_array_equal(one.sd, two.sd)
    np.testing.assert_array_equal(one.start_objectives, two.start_objectives)
    assert one.evaluations == two.evaluations
    # The best start is the least objective of all.
    assert one.objective == np.min(one.start_objectives[np.isfinite(one.start_objectives)])
    np.testing.assert_allclose(one.values, [TRUE_K1, TRUE_K2], rtol=1e-6)
    # Another seed draws other starts.
    other = model.fit(data, bounds, jobs=1, **dict(options, seed=12))
    assert not np.array_equal(other.start_objectives, one.start_objectives)


def copy_puromycin(folder):
    folder.mkdir()
    for name in ("puromycin.vrn", "puromycin.csv"):
        shutil.copy(EXAMPLES / name, folder / name)
    return folder / "puromycin.vrn"


def test_the_stored_fit_gives_what_vireon_fit_writes(tmp_path):
    model_path = copy_puromycin(tmp_path / "puromycin")
    written = tmp_path / "result.json"
    environment = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    completed = subprocess.run(
        [vireon_program(), "fit", "--quiet", str(model_path), "-o", str(written)],
        capture_output=True, text=True, env=environment,
    )
    assert completed.returncode == 0, completed.stderr
    expected = json.loads(written.read_text())

    model = vireon.load(model_path)
    result = model.fit()
    got = json.loads(result.to_json())
    for document in (expected, got):
        for experiment in document["experiments"]:
            experiment.pop("file")
    assert got == expected
    # The result's numbers are the file's, to the last bit.
    assert result.objective == expected["objective"]
    assert result.points == expected["points"] == 12
    assert result.names == [p["name"] for p in expected["parameters"]]
    assert list(result.values) == [p["value"] for p in expected["parameters"]]
    assert list(result.sd) == [p["sd"] for p in expected["parameters"]]
    assert result.correlation.tolist() == expected["correlation"]
    assert result.starts == expected["starts"]
    assert result.evaluations == expected["evaluations"]
    (experiment,) = result.experiments
    (curve,) = expected["experiments"][0]["curves"]
    assert experiment.kind == "steady state" and experiment.columns == [curve["title"]]
    assert experiment.data[:, 0].tolist() == curve["data"]
    assert experiment.model[:, 0].tolist() == curve["model"]
    assert list(experiment.conditions) == ["[S]i"]
    # The published least-squares estimates, to the digits published.
    assert result["velocity(V)"] == pytest.approx(212.7, abs=0.05)
    assert result["velocity(Km)"] == pytest.approx(0.06412, abs=5e-6)
    assert result.sd[0] == pytest.approx(6.947, abs=5e-4)
    assert result.sd[1] == pytest.approx(0.008281, abs=5e-7)
    assert math.sqrt(result.objective / (12 - 2)) == pytest.approx(10.93, abs=5e-3)

    # The same fit given in full from Python.
    given = vireon.load(model_path).fit(
        EXAMPLES / "puromycin.csv", ["velocity(V)", "velocity(Km)"], method="local"
    )
    np.testing.assert_array_equal(given.values, result.values)
    np.testing.assert_array_equal(given.sd, result.sd)


def test_a_bad_data_file_raises_with_its_message(tmp_path, chain_data):
    model, _ = chain_data
    bad = tmp_path / "bad.csv"
    bad.write_text("time,A\n0,2\n# a comment\n1,abc\n")
    with pytest.raises(vireon.VireonError, match=r'bad\.csv, line 4: column 2 \(A\) holds "abc"'):
        model.fit(bad, ["first(k)"])
    with pytest.raises(vireon.VireonError, match="missing.csv"):
        model.fit(tmp_path / "missing.csv", ["first(k)"])
    good = tmp_path / "good.csv"
    good.write_text("time,A\n0,2\n1,1\n")
    with pytest.raises(vireon.VireonError, match="parameter nothing is no quantity"):
        model.fit(good, ["nothing"])
    unknown = tmp_path / "unknown.csv"
    unknown.write_text("time,Z\n0,2\n1,1\n")
    with pytest.raises(vireon.VireonError, match="Z"):
        model.fit(unknown, ["first(k)"])
    with pytest.raises(vireon.VireonError, match="lower bound"):
        model.fit(good, {"first(k)": (2, 1)})
    with pytest.raises(ValueError, match="stores no experiments"):
        model.fit()
    with pytest.raises(ValueError, match="method"):
        model.fit(good, ["first(k)"], method="newton")
    with pytest.raises(ValueError, match="starts"):
        model.fit(good, ["first(k)"], method="global", starts=0)
    with pytest.raises(ValueError, match="jobs"):
        model.fit(good, ["first(k)"], jobs=100000)
    with pytest.raises(ValueError, match="bounds of first"):
        model.fit(good, {"first(k)": 3})
    with pytest.raises(ValueError, match="not fitted"):
        model.fit(good, ["first(k)"], log={"second(k)": True})
    with pytest.raises(ValueError, match="log needs the parameters"):
        model.fit(good, log=True)


def test_two_threads_fit_as_one_after_the_other(chain_data):
    model, data = chain_data
    calls = [
        (model, (data, ["first(k)", "second(k)"])),
        (vireon.load(EXAMPLES / "puromycin.vrn"), ()),
    ]
    serial = [fitted.fit(*arguments).to_json() for fitted, arguments in calls]
    results = [None, None]

    def work(k):
        fitted, arguments = calls[k]
        results[k] = fitted.copy().fit(*arguments).to_json()

    threads = [threading.Thread(target=work, args=(k,)) for k in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == serial


def test_the_progress_hears_the_starts_and_can_stop_the_fit(chain_data):
    model, data = chain_data
    bounds = {"first(k)": (0.01, 10), "second(k)": (0.01, 10)}
    heard = []
    result = model.fit(data, bounds, method="global", starts=5, jobs=2,
                       progress=lambda *report: heard.append(report))
    assert heard and all(total == 5 for _, total, _ in heard)
    assert [done for done, _, _ in heard] == sorted({done for done, _, _ in heard})
    assert heard[-1][0] == 5 and heard[-1][2] == result.objective
    assert all(a[2] >= b[2] for a, b in zip(heard, heard[1:]))

    class Enough(Exception):
        pass

    def stop_after_two(done, total, best):
        if done >= 2:
            raise Enough(best)

    with pytest.raises(Enough):
        model.fit(data, bounds, method="global", starts=1000, jobs=1, progress=stop_after_two)
    # Ctrl-C in the progress keeps the best point, as anywhere else.
    def interrupt_after_two(done, total, best):
        if done >= 2:
            raise KeyboardInterrupt

    with pytest.raises(vireon.FitInterrupted) as raised:
        model.fit(data, bounds, method="global", starts=1000, jobs=1,
                  progress=interrupt_after_two)
    assert raised.value.result.stopped
    assert np.isfinite(raised.value.result.start_objectives).sum() >= 2
    with pytest.raises(TypeError, match="callable"):
        model.fit(data, bounds, progress=3)


def test_ctrl_c_stops_a_fit_and_keeps_the_best_point(chain_data):
    model, data = chain_data
    bounds = {"first(k)": (0.01, 10), "second(k)": (0.01, 10)}
    timer = threading.Timer(1.0, signal.raise_signal, args=(signal.SIGINT,))
    started = time.monotonic()
    timer.start()
    try:
        # Far more starts than the test waits for.
        with pytest.raises(vireon.FitInterrupted) as raised:
            model.fit(data, bounds, method="global", starts=100000, jobs=1)
    finally:
        timer.cancel()
    assert time.monotonic() - started < 60
    assert isinstance(raised.value, KeyboardInterrupt)
    result = raised.value.result
    assert result.stopped and result.starts == 100000
    done = result.start_objectives[np.isfinite(result.start_objectives)]
    assert 1 <= done.size < 100000
    assert result.objective == done.min()
    assert np.all(np.isfinite(result.values))
    # The model is as it was, and fits again.
    assert model["first(k)"] == TRUE_K1
    assert model.fit(data, ["first(k)"]).status == "converged"


def test_a_fit_as_pandas_and_plots(chain_data):
    pandas = pytest.importorskip("pandas")
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    model, data = chain_data
    result = model.fit(data, ["first(k)", "second(k)"])
    frame = result.to_pandas()
    assert isinstance(frame, pandas.DataFrame)
    assert list(frame.index) == ["first(k)", "second(k)"]
    assert list(frame.columns) == ["value", "sd", "at_bound", "poorly_determined"]
    assert frame.loc["second(k)", "value"] == result["second(k)"]
    rows = result.experiments[0].to_pandas()
    assert list(rows.columns) == ["time", "A", "model: A", "B", "model: B"]
    (ax,) = result.plot()
    # Data points and the fitted line of each column.
    assert len(ax.get_lines()) == 4
    assert result.correlation.to_pandas().index.tolist() == result.names


def test_every_fit_name_says_what_it_does():
    for name in ("fit", "apply"):
        assert getattr(vireon.Model, name).__doc__, name
    for name in ("apply_to", "to_pandas", "plot", "to_json", "stopped"):
        assert getattr(vireon.FitResult, name).__doc__, name
    for name in ("to_pandas", "plot", "residuals"):
        assert getattr(vireon.FitExperiment, name).__doc__, name
