"""Sweeps from Python: a sweep definition planned by morphsweep-plan, its points run as the
programs' own processes, here or on any concurrent.futures executor (a Dask client's
included), and one row per point back as a pandas DataFrame."""

from __future__ import annotations

import concurrent.futures
import os
import shlex
import shutil
import subprocess
import tempfile
import threading
import time
import warnings
from pathlib import Path
from typing import Any, Mapping, Union

Definition = Union[str, "os.PathLike[str]", Mapping[str, Any]]

# The running programs of this process's points, so that an interrupt can stop them, and
# whether one is stopping them (a point that starts meanwhile stops at once).
_running: set[subprocess.Popen] = set()
_runningLock = threading.Lock()
_stopping = threading.Event()

# The message of a point an interrupt stopped or kept from starting.
INTERRUPTED = "interrupted before the point finished"


def _planner(build: str | os.PathLike[str] | None) -> str:
    """morphsweep-plan: in `build`, else in the build this package lies in, else on PATH."""
    if build is not None:
        tool = Path(build) / "morphsweep" / "morphsweep-plan"
        if not os.access(tool, os.X_OK):
            raise FileNotFoundError(f"{tool} is missing; build first (or give another build)")
        return str(tool)
    here = Path(__file__).resolve().parent.parent.parent / "morphsweep" / "morphsweep-plan"
    if os.access(here, os.X_OK):
        return str(here)
    found = shutil.which("morphsweep-plan")
    if found is None:
        raise FileNotFoundError("morphsweep-plan is neither in this module's build nor on PATH; "
                                "give the build folder as build=...")
    return found


def _values(name: str, given: Any) -> str:
    """A definition line's value list for one entry of a dict definition."""
    items = list(given) if isinstance(given, (list, tuple, range)) else [given]
    if not items:
        raise ValueError(f"{name}: no value given")
    words = []
    for item in items:
        if isinstance(item, bool) or not isinstance(item, (int, str, os.PathLike)):
            raise TypeError(f"{name}: a value is a whole number or a file name, not {type(item).__name__}")
        word = os.fspath(item) if not isinstance(item, int) else str(item)
        # The planner would read these as another value, a comment or another line.
        if any(c in word for c in ",#") or any(ord(c) < 32 or ord(c) == 127 for c in word):
            raise ValueError(f"{name}: {word!r} holds a comma, '#' or a control character")
        words.append(word)
    return ", ".join(words)


def _plan(planner: str, definition: Definition, folder: str, scratch: str) -> tuple[str, list[str], list[list[str]]]:
    """The manifest of the definition planned in `folder`: (its path, its lines, each line's words)."""
    if isinstance(definition, Mapping):
        source = os.path.join(scratch, "definition")
        with open(source, "w", encoding="utf-8") as out:
            for name, given in definition.items():
                out.write(f"{name} = {_values(str(name), given)}\n")
            # A growth sweep grows from the module's bundled seed surface unless told otherwise,
            # as Embryo.from_seed does (morphseed alone would look in the folder).
            if definition.get("program") == "morphseed" and "seedFile" not in definition:
                from . import BUNDLED_SEED

                out.write(f"seedFile = {_values('seedFile', BUNDLED_SEED)}\n")
    else:
        # Named from the folder it is planned in, as its messages then name it.
        source = os.path.relpath(os.path.abspath(os.fspath(definition)), folder)
    done = subprocess.run([planner, "--", source], cwd=folder, capture_output=True, text=True,
                          errors="surrogateescape")
    if done.returncode != 0:
        # A dict's definition file is this call's own: its messages name it "definition".
        message = done.stderr.strip().replace(scratch + os.sep, "")
        raise ValueError(message) if done.returncode == 2 else RuntimeError(message)
    for line in done.stderr.splitlines():
        warnings.warn(line, stacklevel=3)
    manifest = os.path.join(scratch, "manifest")
    with open(manifest, "w", encoding="utf-8", errors="surrogateescape") as out:
        out.write(done.stdout)
    lines = done.stdout.splitlines()
    return manifest, lines, [shlex.split(line) for line in lines]


def _points(planner: str, manifest: str, folder: str) -> list[dict[str, Any]]:
    """Each line's result name and swept values, as morphsweep-plan --points gives them."""
    done = subprocess.run([planner, "--points", "--", manifest], cwd=folder, capture_output=True, text=True,
                          errors="surrogateescape", check=True)
    header, *rows = [line.split("\t") for line in done.stdout.splitlines()]
    points = []
    for row in rows:
        point: dict[str, Any] = {}
        for name, value in zip(header[1:], row[1:]):
            point[name] = int(value) if value.lstrip("-").isdigit() else value
        point["result"] = row[0]
        points.append(point)
    return points


def run_point(words: list[str], folder: str, result: str) -> dict[str, Any]:
    """Runs one manifest line's program in `folder`, on one thread, as sweep-run.sh runs it:
    {"status": "ok" or "failed", "message", the measures of its result, "files": what it wrote}.
    A module-level function, so that any executor (a Dask worker too) can run it."""
    started = time.time()
    environment = {**os.environ, "OMP_NUM_THREADS": "1"}
    process = subprocess.Popen(words, cwd=folder, env=environment, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    with _runningLock:
        _running.add(process)
        if _stopping.is_set():
            process.terminate()
    try:
        _, errors = process.communicate()
    finally:
        with _runningLock:
            _running.discard(process)
    text = errors.decode("utf-8", "surrogateescape").strip()
    if process.returncode != 0:
        why = f"exit {process.returncode}" if process.returncode > 0 else f"signal {-process.returncode}"
        # The program's own messages, without its progress lines; else the last lines.
        lines = text.splitlines()
        said = [line for line in lines if line.startswith(os.path.basename(words[0]) + ": ")] or lines[-3:]
        return {"status": "failed", "message": "\n".join(said) if said else why}
    path = os.path.join(folder, result)
    stem = path[: -len(".3dv")] if path.endswith(".3dv") else path
    # What this run wrote: a file left by an earlier run with other words is not its own.
    files = tuple(p for p in (path, stem + ".obj", stem + ".3dvTemplate")
                  if os.path.isfile(p) and os.path.getmtime(p) >= started - 1)
    try:
        from . import Embryo

        measures = Embryo.load(path).measures()
    except (OSError, ValueError) as e:
        return {"status": "failed", "message": str(e), "files": files}
    return {"status": "ok", "message": "", **measures, "files": files}


def _stopRunning() -> None:
    with _runningLock:
        _stopping.set()
        for process in _running:
            process.terminate()


def sweep(definition: Definition, jobs: int | None = None, executor: Any = None, *,
          folder: str | os.PathLike[str] | None = None, build: str | os.PathLike[str] | None = None):
    """Runs every point of a sweep and returns one row per point as a pandas DataFrame.

    `definition` is a sweep definition file, or a dict of the same names to a value or a
    list (or range) of values, every name given, as in a file (a growth sweep's dict,
    "program": "morphseed", grows from the bundled seed surface unless it gives seedFile).
    morphsweep-plan expands it
    in `folder` (the current folder by default): the input templates are named from there
    and every point's files go beside its template, as sweep-run.sh writes them.

    Each point runs as its program's own process on one thread: `jobs` at a time here (one
    per core by default), or on `executor`, any concurrent.futures executor or a Dask
    distributed Client, whose workers must see `folder` and the build at the same paths.
    `build` is the build folder with the programs (default: the one this module lies in,
    else morphsweep-plan on PATH).

    A row holds `point` (the manifest line), the swept parameters, `status` ("ok" or
    "failed"), `message` (a failed point's messages from its program), morphstats'
    measures of the result, `result` (the 3DV result's path) and `files` (every file the
    point wrote). A failed point is a row, never an exception; an interrupt (Ctrl-C) stops
    the points running here (an executor's not yet started are cancelled) and returns the
    finished rows with the others failed.
    """
    import pandas

    if jobs is not None and (isinstance(jobs, bool) or not isinstance(jobs, int) or jobs < 1):
        raise ValueError("jobs must be a whole number of 1 or more")
    if jobs is not None and executor is not None:
        raise ValueError("jobs counts the points run here; an executor has its own workers")
    planner = _planner(build)
    where = os.path.abspath(os.fspath(folder) if folder is not None else os.getcwd())
    with tempfile.TemporaryDirectory(prefix="morph-sweep.") as scratch:
        manifest, _, calls = _plan(planner, definition, where, scratch)
        points = _points(planner, manifest, where)
    if hasattr(executor, "get_executor") and not isinstance(executor, concurrent.futures.Executor):
        # A Dask client: each submission runs, even one with the same words as before.
        executor = executor.get_executor(pure=False)
    local = executor is None
    if local:
        executor = concurrent.futures.ThreadPoolExecutor(max_workers=jobs or os.cpu_count() or 1)
    outcomes: dict[int, dict[str, Any]] = {}
    futures = {executor.submit(run_point, words, where, point["result"]): k
               for k, (words, point) in enumerate(zip(calls, points))}
    interrupted = False
    try:
        for future in concurrent.futures.as_completed(futures):
            k = futures[future]
            try:
                outcomes[k] = future.result()
            except Exception as e:  # the executor's failure, not the point's
                outcomes[k] = {"status": "failed", "message": f"{type(e).__name__}: {e}"}
    except KeyboardInterrupt:
        interrupted = True
        for future in futures:
            future.cancel()
        if local:
            _stopRunning()
    finally:
        if local:
            executor.shutdown(wait=True, cancel_futures=True)
            _stopping.clear()
    if interrupted:
        # Points that finished while the others stopped keep their rows.
        for future, k in futures.items():
            if k not in outcomes and future.done() and not future.cancelled() and future.exception() is None:
                outcome = future.result()
                if outcome["status"] == "ok":
                    outcomes[k] = outcome
        warnings.warn(f"sweep interrupted: {sum(o['status'] == 'ok' for o in outcomes.values())} of "
                      f"{len(points)} points finished", stacklevel=2)
    names = [name for name in points[0] if name != "result"] if points else []
    measured: dict[str, Any] = next((o for o in outcomes.values() if o["status"] == "ok"), {})
    columns = ["point", *names, "status", "message",
               *(name for name in measured if name not in ("status", "message", "files")), "result", "files"]
    rows = []
    for k, point in enumerate(points):
        outcome = outcomes.get(k, {"status": "failed", "message": INTERRUPTED})
        rows.append({**point, **outcome, "point": k + 1, "result": os.path.join(where, point["result"]),
                     "files": outcome.get("files", ())})
    return pandas.DataFrame(rows, columns=columns)
