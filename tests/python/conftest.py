"""What the tests of the vireon module share: the program `vireon` to
compare with, the example models, and the data files the program writes."""

import os
import pathlib
import shutil
import subprocess

import pytest

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = SOURCE_DIR / "examples"


def vireon_program():
    program = os.environ.get("VIREON_PROGRAM")
    if not program:
        pytest.skip("VIREON_PROGRAM names no vireon program to compare with")
    return program


@pytest.fixture
def run_cli(tmp_path):
    """Runs `vireon run` on a copy of a model file (its text changed by
    `edit`, when given) in a folder of its own; returns the copy's path."""

    def run(model, edit=None, extra=()):
        target = tmp_path / "cli" / pathlib.Path(model).name
        target.parent.mkdir(exist_ok=True)
        shutil.copy(model, target)
        if edit is not None:
            target.write_text(edit(target.read_text()))
        environment = dict(os.environ)
        # The program's memory checks stay in the program, not the test.
        environment.pop("LD_PRELOAD", None)
        completed = subprocess.run(
            [vireon_program(), "run", "--quiet", *extra, str(target)],
            capture_output=True,
            text=True,
            env=environment,
        )
        assert completed.returncode == 0, completed.stderr
        return target

    return run


def read_data_file(path):
    """The titles and rows of numbers of a data file written with titles and
    blanks between its columns; blank lines (scan blocks) are skipped."""
    lines = pathlib.Path(path).read_text().splitlines()
    titles = lines[0].split()
    rows = [line.split() for line in lines[1:] if line.strip()]
    return titles, rows


def same_as_written(value, text):
    """Whether `value` written with the digits of `text` ("% -*.*le") gives
    the number `text` holds: the file and the module agree to every digit
    the file keeps."""
    mantissa = text.split("e")[0].lstrip("-")
    digits = len(mantissa.split(".")[1]) if "." in mantissa else 0
    return float(f"{value:.{digits}e}") == float(text)
