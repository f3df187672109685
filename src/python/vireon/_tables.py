"""What the results of the vireon module share: matrices with named rows
and columns, and the optional pandas and matplotlib."""

import numpy as _np


def _pandas():
    try:
        import pandas
    except ImportError as error:  # pragma: no cover - depends on the machine
        raise ImportError("to_pandas() needs pandas (Debian: python3-pandas)") from error
    return pandas


def _pyplot():
    try:
        import matplotlib.pyplot as pyplot
    except ImportError as error:  # pragma: no cover - depends on the machine
        raise ImportError("plot() needs matplotlib (Debian: python3-matplotlib)") from error
    return pyplot


class NamedMatrix(_np.ndarray):
    """A NumPy matrix whose rows and columns carry names.

    ``row_names`` and ``column_names`` are lists of strings; arithmetic gives
    plain arrays of the same names where the shape is kept.
    """

    def __new__(cls, values, row_names, column_names):
        matrix = _np.asarray(values, dtype=float).view(cls)
        matrix.row_names = list(row_names)
        matrix.column_names = list(column_names)
        return matrix

    def __array_finalize__(self, source):
        self.row_names = getattr(source, "row_names", None)
        self.column_names = getattr(source, "column_names", None)

    def to_pandas(self):
        """The matrix as a pandas DataFrame labelled with its names."""
        return _pandas().DataFrame(
            _np.asarray(self), index=self.row_names, columns=self.column_names
        )
