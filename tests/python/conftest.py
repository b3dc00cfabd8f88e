# Shared by the module's tests: the built programs (paths from ctest's environment), a
# fresh working folder holding the seed and the bundled template, and program runs.
import os
import shutil
import subprocess
from pathlib import Path

import pytest

SOURCE = Path(os.environ["MORPH_SOURCE"])
SEED_FILE = SOURCE / "morphseed" / "indexed_icosa"
TEMPLATE = SOURCE / "examples" / "start.3dv"


def program(name):
    """The built program's path, from MORPHSEED, MORPHSWEEP, MORPHSTATS."""
    return os.environ[name.upper()]


def run(name, *words, cwd="."):
    """Runs a built program; its standard output, or a failed test with its standard error."""
    done = subprocess.run([program(name), *map(str, words)], cwd=cwd, capture_output=True, text=True)
    assert done.returncode == 0, f"{name} {' '.join(map(str, words))}: {done.stderr}"
    return done.stdout


def read(path):
    return Path(path).read_bytes()


@pytest.fixture
def work(tmp_path, monkeypatch):
    """A working folder with indexed_icosa and start.3dv, entered for the test."""
    shutil.copy(SEED_FILE, tmp_path / "indexed_icosa")
    shutil.copy(TEMPLATE, tmp_path / "start.3dv")
    monkeypatch.chdir(tmp_path)
    return tmp_path
