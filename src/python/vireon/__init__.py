"""Vireon's simulation engine for Python scripts and notebooks.

Load a model (a Vireon model file ``.vrn`` or SBML), run its time course,
steady state, control analysis or a parameter scan, and read the results as
NumPy arrays (or pandas DataFrames, when pandas is installed)::

    import vireon
    model = vireon.load("linear_pathway.vrn")
    course = model.simulate(end=20, points=200)
    course.to_pandas()                      # time and one column per metabolite
    model["E1(Vf)"] = 2.0                   # a kinetic constant, by its title
    state = model.steady_state()
    control = model.control_analysis()
    control.flux_control                    # rows and columns in the report's order
    scan = model.scan({"E1(Vf)": vireon.grid(0.1, 10, 50, log=True)})
    fitted = model.fit("measured.csv", {"E1(Vf)": (0.1, 100), "E1(Km)": None})
    model.apply(fitted)                     # the next runs use the fitted values

Every run releases the interpreter's lock, so Python threads can run several
models at once; Ctrl-C stops a run with KeyboardInterrupt (a fit with
FitInterrupted, which keeps the best point found so far); a failure raises
VireonError (SteadyStateError for a steady state that was not found) with
Vireon's message.
"""

import math as _math
import re as _re

import numpy as _np

from . import _vireon
from ._fit import (
    FitExperiment,
    FitInterrupted,
    FitResult,
    FittedParameter,
    _data_paths,
    _parameter_tuples,
)
from ._tables import NamedMatrix, _pandas, _pyplot
from ._vireon import SteadyStateError, VireonError

__all__ = [
    "ControlAnalysis",
    "FitExperiment",
    "FitInterrupted",
    "FitResult",
    "FittedParameter",
    "Model",
    "NamedMatrix",
    "ScanAxis",
    "ScanResult",
    "SteadyState",
    "SteadyStateError",
    "TimeCourse",
    "VireonError",
    "from_reactions",
    "grid",
    "load",
    "normal",
    "uniform",
]


class _Table:
    """Rows of numbers with a title for every column."""

    def __init__(self, columns, values):
        self.columns = list(columns)
        self.values = _np.asarray(values, dtype=float).reshape(len(values), len(self.columns))

    def __len__(self):
        return self.values.shape[0]

    def __getitem__(self, column):
        """The column of that title, as an array."""
        try:
            return self.values[:, self.columns.index(column)]
        except ValueError:
            raise KeyError(f"no column {column!r}; the columns are {self.columns}") from None

    def to_pandas(self):
        """The table as a pandas DataFrame with the column titles."""
        return _pandas().DataFrame(self.values, columns=self.columns)


class TimeCourse(_Table):
    """A time course: ``time`` (the output times), ``columns`` (the titles
    after the time) and ``values`` (one row per time, one column per title).
    """

    def __init__(self, columns, values):
        super().__init__(columns, values)
        self.time = self.values[:, 0].copy()
        self.columns = self.columns[1:]
        self.values = self.values[:, 1:]

    def __getitem__(self, column):
        if column == "time":
            return self.time
        return super().__getitem__(column)

    def to_pandas(self):
        """A DataFrame with a "time" column and one column per title."""
        frame = _pandas().DataFrame(self.values, columns=self.columns)
        frame.insert(0, "time", self.time)
        return frame

    def plot(self, columns=None, ax=None, **style):
        """Plots the columns (all when None) against time with matplotlib;
        returns the axes."""
        pyplot = _pyplot()
        if ax is None:
            ax = pyplot.figure().add_subplot()
        for column in columns if columns is not None else self.columns:
            ax.plot(self.time, self[column], label=column, **style)
        ax.set_xlabel("time")
        ax.legend()
        return ax


class SteadyState:
    """The steady state of a model.

    ``metabolites`` and ``steps`` are the names in the model's order;
    ``concentrations``, ``transition_times`` and ``fluxes`` the arrays in the
    same order; ``eigenvalues`` those of the reduced Jacobian (complex);
    ``stability`` is "asymptotically stable", "unstable" or "undetermined"
    as the report says, ``oscillatory`` whether transients near it oscillate
    and ``equilibrium`` whether no step carries a flux.
    """

    def __init__(self, data):
        self.metabolites = list(data["metabolites"])
        self.concentrations = data["concentrations"]
        self.transition_times = data["transition_times"]
        self.steps = list(data["steps"])
        self.fluxes = data["fluxes"]
        self.eigenvalues = data["eigenvalues"]
        self.stability = data["stability"]
        self.oscillatory = bool(data["oscillatory"])
        self.equilibrium = bool(data["equilibrium"])

    @property
    def stable(self):
        """Whether the steady state is asymptotically stable."""
        return self.stability == "asymptotically stable"

    def concentration(self, metabolite):
        """The steady-state concentration of the metabolite of that name."""
        return float(self.concentrations[self.metabolites.index(metabolite)])

    def flux(self, step):
        """The steady-state flux of the step of that name."""
        return float(self.fluxes[self.steps.index(step)])

    def to_pandas(self):
        """Two DataFrames: the metabolites (concentration, transition time)
        and the steps (flux)."""
        pandas = _pandas()
        metabolites = pandas.DataFrame(
            {"concentration": self.concentrations, "transition time": self.transition_times},
            index=self.metabolites,
        )
        steps = pandas.DataFrame({"flux": self.fluxes}, index=self.steps)
        return metabolites, steps

    def __repr__(self):
        return f"<SteadyState {self.stability}, {len(self.metabolites)} metabolites>"


class ControlAnalysis:
    """Metabolic control analysis at the steady state, rows and columns in
    the report's order.

    ``elasticities``: steps x metabolites; ``concentration_control``:
    metabolites that are not fixed x steps; ``flux_control``: steps x steps.
    Each is a NamedMatrix with ``row_names`` and ``column_names``.
    ``scaled`` says whether the coefficients are scaled.
    """

    def __init__(self, data):
        self.scaled = bool(data["scaled"])
        steps = list(data["steps"])
        self.elasticities = NamedMatrix(data["elasticities"], steps, data["metabolites"])
        self.concentration_control = NamedMatrix(
            data["concentration_control"], data["variable_metabolites"], steps
        )
        self.flux_control = NamedMatrix(data["flux_control"], steps, steps)

    def to_pandas(self):
        """A dict of DataFrames: "elasticities", "concentration_control" and
        "flux_control"."""
        return {
            "elasticities": self.elasticities.to_pandas(),
            "concentration_control": self.concentration_control.to_pandas(),
            "flux_control": self.flux_control.to_pandas(),
        }


class ScanResult(_Table):
    """A scan: one row per point (for a time course, one row per output
    time of every point), the scanned quantities first, then the columns
    asked for."""

    def plot(self, x, y, ax=None, **style):
        """Plots column(s) y against column x with matplotlib; returns the axes."""
        pyplot = _pyplot()
        if ax is None:
            ax = pyplot.figure().add_subplot()
        for column in [y] if isinstance(y, str) else y:
            ax.plot(self[x], self[column], label=column, **style)
        ax.set_xlabel(x)
        ax.legend()
        return ax


class ScanAxis:
    """How one quantity is scanned: made by grid(), uniform() or normal()."""

    def __init__(self, kind, first, second, points, log):
        if int(points) != points or points < 1:
            raise ValueError("a scan needs a whole number of points, 1 or more")
        self.kind = kind
        self.first = float(first)
        self.second = float(second)
        self.points = int(points)
        self.log = bool(log)

    def __repr__(self):
        names = {0: "grid", 1: "uniform", 2: "normal", 3: "normal"}
        return (
            f"<ScanAxis {names[self.kind]}({self.first}, {self.second}, {self.points}"
            f"{', log' if self.log else ''})>"
        )


def grid(start, stop, points, log=False):
    """Evenly spaced values from start to stop (logarithmically with log=True),
    as many as points (at least 2)."""
    if points < 2:
        raise ValueError("a grid needs at least 2 points")
    if log and (start <= 0 or stop <= 0):
        raise ValueError("a logarithmic grid needs positive ends")
    return ScanAxis(_vireon.SCAN_GRID, start, stop, points, log)


def uniform(low, high, draws, log=False):
    """Random draws, uniform between low and high (in log10 with log=True)."""
    return ScanAxis(_vireon.SCAN_UNIFORM, low, high, draws, log)


def normal(mean, deviation, draws, log=False, positive=False):
    """Random draws from a normal distribution (log-normal with log=True);
    positive=True keeps only positive draws."""
    kind = _vireon.SCAN_POSITIVE_NORMAL if positive else _vireon.SCAN_NORMAL
    return ScanAxis(kind, mean, deviation, draws, log)


# Values closer than this (relative to the range) count as evenly spaced.
_GRID_TOLERANCE = 1e-9


def _axis_of(values):
    """A ScanAxis, or a sequence of evenly spaced (or geometric) values."""
    if isinstance(values, ScanAxis):
        return values
    points = _np.asarray(values, dtype=float).ravel()
    if points.size < 2:
        raise ValueError("a scanned quantity needs at least 2 values")
    span = abs(points[-1] - points[0])
    steps = _np.diff(points)
    if span > 0 and _np.all(_np.abs(steps - steps[0]) <= _GRID_TOLERANCE * span):
        return grid(points[0], points[-1], points.size)
    if _np.all(points > 0):
        logs = _np.log10(points)
        log_span = abs(logs[-1] - logs[0])
        log_steps = _np.diff(logs)
        if log_span > 0 and _np.all(_np.abs(log_steps - log_steps[0]) <= _GRID_TOLERANCE * log_span):
            return grid(points[0], points[-1], points.size, log=True)
    raise ValueError(
        "scanned values must be evenly spaced, linearly or logarithmically "
        "(use vireon.grid, vireon.uniform or vireon.normal)"
    )


_TASKS = {"steady_state": False, "time_course": True}


class Model:
    """A Vireon model with its task settings: made by load() or
    from_reactions(), or Model.from_equations().

    ``model[title]`` reads and sets a quantity by the title the output items
    use ("[S]i" an initial concentration, "R1(k)" a kinetic constant,
    "V(cell)" a volume, "end time", "rel.tolerance", ...), by the name of a
    metabolite, compartment or global quantity, or by an SBML id;
    ``quantities()`` lists the titles.
    """

    def __init__(self, session):
        self._session = session

    @classmethod
    def from_equations(cls, reactions, initial=None, fixed=(), title="", constants=None):
        """The same as vireon.from_reactions()."""
        return from_reactions(reactions, initial, fixed, title, constants)

    @property
    def title(self):
        """The model's title."""
        return self._session.title

    @property
    def metabolites(self):
        """The metabolites' names, in the model's order."""
        return self._session.metabolites()

    @property
    def steps(self):
        """The steps' names, in the model's order."""
        return self._session.steps()

    def quantities(self):
        """The titles of every quantity that can be read and set (those a
        scan may vary)."""
        return self._session.quantities()

    def __getitem__(self, key):
        """The value of the quantity `key` names; KeyError when none or
        more than one does."""
        return self._session.get(key)

    def __setitem__(self, key, value):
        """Sets the quantity `key` names, for every later run."""
        self._session.set(key, float(value))

    def __contains__(self, key):
        """Whether `key` names exactly one quantity of the model."""
        try:
            self._session.get(key)
        except KeyError:
            return False
        return True

    def copy(self):
        """An independent copy of the model and its settings."""
        return Model(self._session.copy())

    def simulate(self, end=None, points=None, select=None, rtol=None, atol=None):
        """The time course from the initial state to `end` in `points` equal
        intervals (the model's own settings when None).

        `select` lists the columns after the time: titles of time-course
        items ("[S]t", "J(R1)"), names of metabolites, steps, compartments or
        global quantities, or SBML ids; by default every metabolite.
        Returns a TimeCourse; a failed integration raises VireonError.
        """
        data = self._session.simulate(end, points, list(select or []), rtol, atol)
        return TimeCourse(data["columns"], data["values"])

    def steady_state(self):
        """The steady state (SteadyState); SteadyStateError says why none
        was found."""
        return SteadyState(self._session.steady_state())

    def control_analysis(self, scaled=True):
        """Elasticities and control coefficients at the steady state
        (ControlAnalysis), scaled or unscaled."""
        return ControlAnalysis(self._session.control_analysis(bool(scaled)))

    def scan(self, values=None, task="steady_state", jobs=1, select=None, seed=None):
        """Repeats a task over the values of some quantities.

        `values` maps quantity titles to vireon.grid(), vireon.uniform(),
        vireon.normal() or a sequence of evenly spaced values; the first
        quantity is the outermost loop and the last varies fastest. None
        runs the model's own scan. `task` is "steady_state" or
        "time_course"; `jobs` threads solve the points, with the same
        numbers as one; `select` lists the columns after the scanned
        quantities (steady-state titles "[S]ss", "J(R1)", "C(J(R1),R2)" or
        names); `seed` repeats random draws. Returns a ScanResult.
        """
        if task not in _TASKS:
            raise ValueError(f"task must be one of {sorted(_TASKS)}, not {task!r}")
        if int(jobs) != jobs or jobs < 1:
            raise ValueError("jobs must be a whole number, 1 or more")
        axes = []
        for title, given in reversed(list((values or {}).items())):
            axis = _axis_of(given)
            axes.append((title, axis.kind, axis.first, axis.second, axis.points, axis.log, True))
        data = self._session.scan(axes, _TASKS[task], list(select or []), int(jobs), seed)
        return ScanResult(data["columns"], data["values"])

    def fit(self, data=None, parameters=None, method=None, starts=None, seed=None,
            jobs=None, log=None, scale_columns=None, progress=None):
        """Estimates parameters from measurements, as `vireon fit` does;
        returns a FitResult and leaves the model's values as they were
        (apply them with model.apply(result)).

        `data`: a data file's path or a list of them (CSV or tab-separated,
        a header row; a first column "time" makes a time course, none a set
        of steady states; "sd(X)" columns give standard deviations).
        `parameters`: a dict of titles ("R1(k)", "[S]i", "V(cell)", a global
        quantity's name) to (low, high) bounds, either of them None, or to
        None; or a list of titles. `method`: "local" (Levenberg-Marquardt
        from the model's values), "global" (local fits from `starts` points
        spread over the bounds, drawn from `seed`) or "direct" (DIRECT-L over
        the bounds, then a local fit). `jobs`: the threads the starts run on
        (the user's scan threads when None); every number is the same for any
        number. `log`: None searches positive parameters in log space, True
        or False every parameter, or a dict of titles to None, True or False.
        `scale_columns=True` weights each column without standard deviations
        by its mean square. What is not given (None) is the model file's own
        fit, so that model.fit() alone runs the fit the model stores (its data
        files found from the model file's folder). `progress`, when given, is
        called as progress(done, total, best) on the calling thread as the
        starts end (the starts done, their number and the best objective so
        far; a count may be skipped when starts end together); an exception
        it raises stops the fit and is raised.

        A refused data file or problem, or a fit that fails, raises
        VireonError with the reason (a data file's with its line and
        column). Ctrl-C stops the fit and raises FitInterrupted, a
        KeyboardInterrupt whose ``result`` holds the best point so far.
        """
        if method is not None and method not in ("local", "global", "direct"):
            raise ValueError(f"method is 'local', 'global' or 'direct', not {method!r}")
        for name, value, low, high in (("starts", starts, 1, None), ("seed", seed, 0, 2**32 - 1),
                                       ("jobs", jobs, 1, None)):
            if value is None:
                continue
            if isinstance(value, bool) or int(value) != value or value < low or (
                    high is not None and value > high):
                raise ValueError(f"{name} must be a whole number from {low}"
                                 f"{'' if high is None else f' to {high}'}, not {value!r}")
        if progress is not None and not callable(progress):
            raise TypeError(f"progress must be callable, not {progress!r}")
        data = self._session.fit(
            _data_paths(data),
            _parameter_tuples(parameters, log),
            method,
            None if starts is None else int(starts),
            None if seed is None else int(seed),
            None if jobs is None else int(jobs),
            None if scale_columns is None else bool(scale_columns),
            progress,
        )
        result = FitResult(data)
        if data["interrupted"]:
            raise FitInterrupted(result)
        return result

    def apply(self, result):
        """Sets the fitted values of a FitResult on the model, for every
        later run; returns the model."""
        return result.apply_to(self)

    def save(self, path):
        """Saves the model as a Vireon model file (.vrn)."""
        self._session.save(str(path))

    def to_vrn(self):
        """The model file's text."""
        return self._session.model_file_text()

    def to_sbml(self):
        """The model as SBML Level 3 Version 2 text."""
        return self._session.sbml_text()

    def __repr__(self):
        return f"<vireon.Model {self.title!r}: {len(self.steps)} steps>"


def load(path):
    """Reads a Vireon model file (.vrn) or imports an SBML file (any other
    name), as `vireon run` and `vireon import` do."""
    return Model(_vireon.Session.load(str(path)))


_CONSTANT = _re.compile(r"^\s*([^=\s]+)\s*=\s*(\S+)\s*$")


def _parse_reaction_line(line):
    """(name, equation, rate law, constants) from "name: equation; law; k=1, ..."."""
    head, _, rest = line.partition(";")
    name, colon, equation = head.partition(":")
    if not colon or not name.strip() or not equation.strip():
        raise ValueError(f"a reaction reads 'name: equation; rate law', not {line!r}")
    law, _, values = rest.partition(";")
    constants = {}
    for text in filter(None, (part.strip() for part in values.split(","))):
        match = _CONSTANT.match(text)
        if match is None:
            raise ValueError(f"a constant reads 'name=value', not {text!r}")
        constants[match.group(1)] = float(match.group(2))
    return name.strip(), equation.strip(), law.strip(), constants


def from_reactions(reactions, initial=None, fixed=(), title="", constants=None):
    """Builds a model from its reactions.

    `reactions` is text with one reaction a line, "name: equation; rate law"
    optionally followed by "; constant=value, ..." (lines starting with #
    are comments), or a list of (name, equation, rate law[, constants])
    tuples. The rate law is the name of a kinetic type ("Mass action
    (irreversible)") or an expression ("V*S/(Km+S)") in which the names of
    metabolites read their concentrations and every other symbol is a
    kinetic constant. `constants` maps step names to {constant: value};
    `initial` maps metabolites to initial concentrations; `fixed` names the
    fixed metabolites. A step without a rate law has a constant flux.

    For example::

        vireon.from_reactions('''
            supply: X -> S; v
            use:    S -> P; V*S/(Km+S); V=2, Km=0.5
        ''', initial={"X": 1}, fixed=["X", "P"], constants={"supply": {"v": 1}})
    """
    if isinstance(reactions, str):
        rows = [
            _parse_reaction_line(line)
            for line in (text.strip() for text in reactions.splitlines())
            if line and not line.startswith("#")
        ]
    else:
        rows = []
        for entry in reactions:
            name, equation, law, *rest = entry
            rows.append((name, equation, law, dict(rest[0]) if rest else {}))
    tuples = []
    for name, equation, law, values in rows:
        values = dict(values)
        values.update((constants or {}).get(name, {}))
        tuples.append((name, equation, law, list(values.items()), []))
    start = [(name, float(value)) for name, value in (initial or {}).items()]
    return Model(_vireon.Session.from_reactions(tuples, start, list(fixed), title))
