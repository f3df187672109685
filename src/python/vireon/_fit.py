"""The result of Model.fit(): the fitted values with their uncertainty, and
per experiment its data against the fitted model."""

import collections as _collections
import math as _math
import os as _os

import numpy as _np

from ._tables import NamedMatrix, _pandas, _pyplot

FittedParameter = _collections.namedtuple(
    "FittedParameter", ["name", "value", "sd", "at_bound", "poorly_determined"]
)
FittedParameter.__doc__ = """One fitted parameter: its name as given, the fitted value, its
standard deviation (NaN when it cannot be had), whether it lies on a bound
and whether the data determine it poorly (the sd exceeds the value, or its
correlation with another parameter is above 0.99 in magnitude)."""

# How a parameter is searched, as the engine numbers it.
_SCALES = {None: 0, False: 1, True: 2}


def _bound(value, infinite):
    if value is None:
        return infinite
    value = float(value)
    if _math.isnan(value):
        raise ValueError("a bound must be a number or None, not NaN")
    return value


def _parameter_tuples(parameters, log):
    """The (title, lower, upper, scale) tuples of Model.fit's parameters."""
    if parameters is None:
        if log is not None:
            raise ValueError("log needs the parameters named (the model's own fit keeps its scales)")
        return []
    if isinstance(parameters, str):
        parameters = [parameters]
    if isinstance(parameters, dict):
        items = list(parameters.items())
    else:
        items = [(title, None) for title in parameters]
    if isinstance(log, dict):
        unknown = set(log) - {title for title, _ in items}
        if unknown:
            raise ValueError(f"log names parameters that are not fitted: {sorted(unknown)}")
    tuples = []
    for title, bounds in items:
        if not isinstance(title, str):
            raise TypeError(f"a parameter is named by its title, not {title!r}")
        if bounds is None:
            low, high = None, None
        else:
            try:
                low, high = bounds
            except (TypeError, ValueError):
                raise ValueError(
                    f"the bounds of {title} are (low, high) or None, not {bounds!r}"
                ) from None
        scale = log.get(title) if isinstance(log, dict) else log
        if scale not in _SCALES:
            raise ValueError(f"log is None, True or False (or a dict of them), not {scale!r}")
        tuples.append(
            (title, _bound(low, -_math.inf), _bound(high, _math.inf), _SCALES[scale])
        )
    return tuples


def _data_paths(data):
    if data is None:
        return []
    if isinstance(data, (str, bytes)) or hasattr(data, "__fspath__"):
        data = [data]
    paths = [_os.fsdecode(_os.fspath(path)) for path in data]
    if not paths:
        raise ValueError("data names no files")
    return paths


class FitExperiment:
    """One experiment of a fit: the file, its kind ("time course" or
    "steady state"), and its rows against the fitted model.

    ``time``: the data's times (a time course; empty for a steady state);
    ``columns``: the measured columns' titles; ``data`` and ``model``: rows x
    columns arrays of the measurements (NaN where missing) and of the fitted
    model at the same rows; ``weights``: 1/sd of each value (or the column's
    weight); ``residuals``: the weighted residuals (model - data) x weight,
    whose squares sum to the experiment's share of the objective;
    ``conditions``: the columns that set the model, title -> array (one
    value per row for a steady state, one value for a time course);
    ``lines``: the file line of each row.
    """

    def __init__(self, data):
        self.file = data["file"]
        self.kind = data["kind"]
        self.time = _np.asarray(data["time"], dtype=float)
        self.lines = list(data["lines"])
        self.columns = list(data["columns"])
        self.data = _np.asarray(data["data"], dtype=float)
        self.model = _np.asarray(data["model"], dtype=float)
        self.weights = _np.asarray(data["weights"], dtype=float)
        self.conditions = {title: _np.asarray(values) for title, values in data["conditions"]}

    @property
    def residuals(self):
        """(model - data) x weight at every value, NaN where data are missing."""
        return (self.model - self.data) * self.weights

    def __len__(self):
        return self.data.shape[0]

    def to_pandas(self):
        """A DataFrame with a row per data row: the time (or the conditions
        of a steady state), then each column's data and, titled
        "model: TITLE", its fitted value."""
        frame = _pandas().DataFrame(index=range(len(self)))
        if self.kind == "time course":
            frame["time"] = self.time
        else:
            for title, values in self.conditions.items():
                frame[title] = values
        for k, title in enumerate(self.columns):
            frame[title] = self.data[:, k]
            frame[f"model: {title}"] = self.model[:, k]
        return frame

    def _abscissa(self):
        """What the data are drawn against: the time, the first condition of
        a steady state, or the row."""
        if self.kind == "time course":
            return "time", self.time
        for title, values in self.conditions.items():
            if len(values) == len(self):
                return title, _np.asarray(values, dtype=float)
        return "row", _np.arange(1, len(self) + 1, dtype=float)

    def plot(self, ax=None, **style):
        """Draws the data as points and the fitted model as lines through
        the same rows, one colour per column, with matplotlib; returns the
        axes."""
        pyplot = _pyplot()
        if ax is None:
            ax = pyplot.figure().add_subplot()
        title, x = self._abscissa()
        order = _np.argsort(x, kind="stable")
        for k, column in enumerate(self.columns):
            (points,) = ax.plot(x, self.data[:, k], "o", label=f"{column} data", **style)
            ax.plot(
                x[order], self.model[order, k], "-", color=points.get_color(),
                label=f"{column} fitted", **style
            )
        ax.set_xlabel(title)
        ax.set_title(_os.path.basename(self.file))
        ax.legend()
        return ax

    def __repr__(self):
        return f"<FitExperiment {self.file!r}: {self.kind}, {len(self)} rows>"


class FitResult:
    """What Model.fit() found.

    ``status``: "converged", "iteration limit" or "stopped"; ``message``:
    how the best local fit ended; ``objective``: the weighted sum of squared
    residuals at the fitted values, over ``points`` measured values;
    ``parameters``: a list of FittedParameter (name, value, sd, at_bound,
    poorly_determined) in the order given, with ``names``, ``values``,
    ``sd``, ``at_bound`` and ``poorly_determined`` the same as arrays;
    ``correlation``: the parameters' correlation matrix (a NamedMatrix whose
    rows and columns are the names); ``starts``: how many local fits ran,
    ``best_start`` the one that gave the result (0 is the model's own
    values), ``start_objectives`` where each ended (inf where it failed);
    ``evaluations``: simulations of the whole set of experiments;
    ``experiments``: a FitExperiment per data file. ``result[name]`` is a
    fitted value. ``apply_to(model)`` (or ``model.apply(result)``) sets the
    fitted values on a model.
    """

    def __init__(self, data):
        self.status = data["status"]
        self.message = data["message"]
        self.objective = float(data["objective"])
        self.points = int(data["points"])
        self.names = list(data["names"])
        self.values = _np.asarray(data["values"], dtype=float)
        self.sd = _np.asarray(data["sd"], dtype=float)
        self.at_bound = _np.asarray(data["at_bound"], dtype=bool)
        self.poorly_determined = _np.asarray(data["poorly_determined"], dtype=bool)
        self.parameters = [
            FittedParameter(name, float(value), float(sd), bool(edge), bool(poor))
            for name, value, sd, edge, poor in zip(
                self.names, self.values, self.sd, self.at_bound, self.poorly_determined
            )
        ]
        correlation = _np.asarray(data["correlation"], dtype=float)
        if correlation.size == 0:
            correlation = _np.full((len(self.names), len(self.names)), _np.nan)
        self.correlation = NamedMatrix(correlation, self.names, self.names)
        self.starts = int(data["starts"])
        self.best_start = int(data["best_start"])
        self.start_objectives = _np.asarray(data["start_objectives"], dtype=float)
        self.evaluations = int(data["evaluations"])
        self.experiments = [FitExperiment(experiment) for experiment in data["experiments"]]
        self._quantities = list(data["quantities"])
        self._json = data["json"]

    @property
    def stopped(self):
        """Whether the fit was stopped before it ended: the values are the
        best found so far."""
        return self.status == "stopped"

    def __getitem__(self, name):
        """The fitted value of the parameter of that name."""
        try:
            return float(self.values[self.names.index(name)])
        except ValueError:
            raise KeyError(f"no fitted parameter {name!r}; they are {self.names}") from None

    def apply_to(self, model):
        """Sets the fitted values on `model` (a vireon.Model), so that its
        next runs use them; returns the model."""
        for quantity, value in zip(self._quantities, self.values):
            model[quantity] = float(value)
        return model

    def to_json(self):
        """The result as the JSON text `vireon fit -o` writes."""
        return self._json

    def to_pandas(self):
        """The parameters as a DataFrame indexed by name, with the columns
        value, sd, at_bound and poorly_determined."""
        return _pandas().DataFrame(
            {
                "value": self.values,
                "sd": self.sd,
                "at_bound": self.at_bound,
                "poorly_determined": self.poorly_determined,
            },
            index=_pandas().Index(self.names, name="parameter"),
        )

    def plot(self, axes=None, **style):
        """Draws each experiment's data against the fitted model (see
        FitExperiment.plot), one axes per experiment in a figure of their
        own unless `axes` are given; returns the list of axes."""
        pyplot = _pyplot()
        count = len(self.experiments)
        if axes is None:
            figure = pyplot.figure(figsize=(6.4, 3.2 * count + 1.6))
            axes = [figure.add_subplot(count, 1, k + 1) for k in range(count)]
        elif not isinstance(axes, (list, tuple, _np.ndarray)):
            axes = [axes]
        axes = list(_np.ravel(axes))
        if len(axes) != count:
            raise ValueError(f"the fit has {count} experiments, not {len(axes)}")
        for experiment, ax in zip(self.experiments, axes):
            experiment.plot(ax, **style)
        return axes

    def __repr__(self):
        values = ", ".join(f"{name}={value:.6g}" for name, value in zip(self.names, self.values))
        return f"<FitResult {self.status}: objective {self.objective:.6g}; {values}>"


class FitInterrupted(KeyboardInterrupt):
    """Ctrl-C stopped a fit: a KeyboardInterrupt whose ``result`` is the
    FitResult at the best point found so far (status "stopped")."""

    def __init__(self, result):
        super().__init__("the fit was stopped; result holds the best point so far")
        self.result = result
