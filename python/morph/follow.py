"""Following a growth: a progress bar, a table of measures per cycle, a view updated in place."""

from __future__ import annotations

import operator
import sys
import time
from typing import TYPE_CHECKING, Callable, Sequence

from . import _morph, display

if TYPE_CHECKING:
    import os

    import pandas

_grow = _morph.Embryo.grow
_copy = _morph.Embryo.copy
_load = _morph.Embryo.load

BASE_COLUMNS = ("cycle", "vertices", "triangles", "seconds")
# The pictures a live view shows while the embryo grows.
LIVE_SIZE = (384, 384)


def in_notebook():
    """True inside a Jupyter kernel (IPython's kernel app), not in a terminal or a script."""
    if "ipykernel" not in sys.modules:
        return False
    shell = sys.modules["IPython"].get_ipython() if "IPython" in sys.modules else None
    return shell is not None and "IPKernelApp" in getattr(shell, "config", {})


def _record_names(record):
    if record is None:
        return None
    if isinstance(record, str):
        record = [record]
    names = list(record)
    if any(not isinstance(n, str) for n in names):
        raise TypeError("record must be a list of measure names")
    return names


def _view_every(view):
    if view is None or view is False:
        return 0
    if view is True:
        return 1
    if isinstance(view, bool) or not isinstance(view, int) or view < 1:
        raise ValueError(f"view must be True or a whole number of cycles from 1, not {view!r}")
    return view


class _LiveView:
    """One display output, updated in place with morphview's picture while the embryo
    grows, and with the embryo's own view (3D) once it stops."""

    def __init__(self, embryo, every):
        try:
            from IPython import get_ipython
            from IPython.display import Image
            from IPython.display import display as show
        except ImportError:
            get_ipython = None
        if get_ipython is None or get_ipython() is None:
            raise RuntimeError("view shows the growth in a notebook (or an IPython shell); this is neither")
        self._image, self._every, self._embryo = Image, every, embryo
        self._handle = show(self._picture(), display_id=True)

    def _picture(self):
        return self._image(data=display.picture(self._embryo, size=LIVE_SIZE), format="png")

    def cycle_done(self, grown):
        if grown % self._every == 0:
            self._handle.update(self._picture())

    def finish(self):
        self._handle.update(self._embryo)


def grow(self: _morph.Embryo, cycles: int = 1, callback: Callable[[_morph.Embryo], bool | None] | None = None, *,
         record: Sequence[str] | None = None, progress: bool | None = None, view: bool | int | None = None) -> None:
    """Grows `cycles` growth cycles, each exactly one of the program's. `callback(embryo)`
    is called after every cycle; returning False ends the growth there. The interpreter lock
    is let go meanwhile, so embryos grow side by side in threads. Ctrl-C (KeyboardInterrupt)
    stops between relaxation steps, and an error ends the growth: either way the embryo is
    left at its last whole cycle.

    record: names of measures (of measures()) to keep for every grown cycle in
    embryo.history, beside cycle, vertices, triangles and the cycle's seconds ([] keeps
    those alone). progress: a bar with the cycle, the vertices and the time left, on
    standard error; by default shown in a notebook for more than one cycle, and never
    elsewhere. view: True (every cycle) or a number of cycles: one output in the notebook
    shows the embryo as it grows, and its 3D view at the end. None of them changes what
    grows or what is written."""
    names = _record_names(record)
    every = _view_every(view)
    try:
        valid = not isinstance(cycles, bool) and operator.index(cycles) >= 0
    except TypeError:
        valid = False
    # A bar for one cycle would be noise in a notebook's loop of single cycles.
    show_progress = in_notebook() and valid and cycles > 1 if progress is None else bool(progress)
    if not valid or (names is None and not show_progress and not every):
        return _grow(self, cycles, callback)  # with its refusal of a bad count
    if callback is not None and not callable(callback):
        raise TypeError("callback must be callable")
    if names:
        known = self.measures()
        unknown = [n for n in names if n not in known]
        if unknown:
            raise ValueError(f"no measure named {', '.join(map(repr, unknown))} (known: {', '.join(known)})")
    bar = live = None
    rows = self.__dict__.setdefault("_history", []) if names is not None else None
    try:
        if show_progress:
            from tqdm.std import tqdm
            bar = tqdm(total=cycles, unit="cycle", file=sys.stderr, desc="growing", dynamic_ncols=True)
        if every:
            live = _LiveView(self, every)
        grown = 0
        started = time.perf_counter()

        def each(embryo):
            nonlocal grown, started
            seconds = time.perf_counter() - started
            grown += 1
            if rows is not None or bar is not None:
                vertices = len(embryo.positions)
            if rows is not None:
                row = {"cycle": embryo.cycle, "vertices": vertices, "triangles": len(embryo.triangles),
                       "seconds": seconds}
                if names:
                    measured = embryo.measures()
                    row.update((n, measured[n]) for n in names)
                rows.append(row)
            if bar is not None:
                bar.set_postfix(cycle=embryo.cycle, vertices=vertices, refresh=False)
                bar.update(1)
            if live is not None:
                live.cycle_done(grown)
            answer = callback(embryo) if callback is not None else None
            started = time.perf_counter()
            return answer

        return _grow(self, cycles, each)
    finally:
        if bar is not None:
            bar.close()
        if live is not None:
            live.finish()


def history(self: _morph.Embryo) -> pandas.DataFrame:
    """One row per cycle grown with grow(..., record=[...]): cycle, vertices, triangles,
    seconds (the cycle's growth) and the recorded measures, as a pandas DataFrame. A copy
    keeps it; an embryo made or loaded afresh starts with none."""
    import pandas as pd

    rows = self.__dict__.get("_history", [])
    columns = list(BASE_COLUMNS)
    for row in rows:
        columns.extend(n for n in row if n not in columns)
    return pd.DataFrame(rows, columns=columns)


def copy(self: _morph.Embryo) -> _morph.Embryo:
    """A deep, independent copy: branch an embryo into several futures. It keeps the history."""
    made = _copy(self)
    if "_history" in self.__dict__:
        made.__dict__["_history"] = [dict(row) for row in self.__dict__["_history"]]
    if "_source" in self.__dict__:
        made.__dict__["_source"] = self.__dict__["_source"]
    return made


def load(path: str | bytes | os.PathLike[str] | os.PathLike[bytes], format: str | None = None) -> _morph.Embryo:
    import os

    name = os.fsdecode(path) if isinstance(path, (str, bytes, os.PathLike)) else None
    if format is None and name is not None and name.lower().endswith(".pvd"):
        raise ValueError(f"{name}: is a series of snapshots; load it with morph.Series.load")
    made = _load(path, format)
    if name is not None:
        made.__dict__["_source"] = name
    return made


load.__doc__ = _load.__doc__ + "\n\nA series index (.pvd) is refused: morph.Series.load reads one."
