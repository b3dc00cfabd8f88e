"""Runs one test file of the module under pytest, as `python3 -m pytest` would, or says
which package is missing and what installs it."""
import sys

# Worker processes started by spawn (a Dask cluster's) import this file again as their main
# module: only the process started as a script runs the tests.
if __name__ == "__main__":
    try:
        import pytest
    except ImportError:
        sys.exit(f"{sys.executable} has no pytest (scripts/install-deps.sh --tests installs python3-pytest)")

    sys.exit(pytest.main(sys.argv[1:]))
