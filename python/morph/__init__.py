"""Grow, inspect and measure morph embryos from Python.

An embryo is a closed triangulated surface on which three morphogens diffuse, split their
triangles and relax. Here it grows cycle by cycle exactly as the morphseed and morphsweep
programs grow it: every file written holds the same bytes as the program's.

    import morph
    embryo = morph.Embryo.from_seed(1000)   # morphseed's embryo of seed 1000
    embryo.grow(28)                         # 28 growth cycles
    embryo.positions                        # (n, 3) float32, a read-only copy
    embryo.measures()["sphericity"]         # morphstats' numbers
    embryo.write("embryo.1000.3dv")         # the bytes of morphseed -s 1000 -b 1 28

Embryo.from_template starts a sweep point from a 3DV template with its Settings;
Embryo.load reads any result, template or snapshot for inspection; embryo.copy() branches
an embryo into several futures. morph.sweep runs a sweep definition's points, here or on a
Dask cluster, and gives back a pandas DataFrame, one row per point.

Failures are exceptions by their kind, with the programs' messages: OSError for a file that
cannot be opened, read or written, ValueError for a malformed file or a bad argument,
CapacityError (a MemoryError) when the store overflows or memory runs out,
InspectionOnlyError when a loaded file is asked to grow. The model's notices ("Vertex
array is full.") arrive as warnings of the class Notice, morphsweep's output lines
("Hormone Grew!") as INFO records of the logger "morph"; nothing is printed.

Growth lets go of the interpreter lock, so embryos grow side by side in threads; Ctrl-C
(KeyboardInterrupt) stops a growth between relaxation steps and leaves the embryo at its
last whole cycle. Each growth uses OMP_NUM_THREADS threads (one per core by default). The
OpenMP runtime reads how idle threads wait, OMP_WAIT_POLICY, once, when it loads with this
module: on a machine shared with other work start Python with OMP_WAIT_POLICY=passive in
its environment, which the programs choose for themselves (results are the same either way).
The runtime's threads do not survive a fork: in a child made by fork (os.fork,
multiprocessing's "fork" start method) the thread that forked grows on one thread, with the
same results.

In a notebook an embryo shows itself as an interactive 3D view (morphview's HTML report,
offline), embryo.picture() gives morphview's PNG, grow(n, record=[...], progress=True,
view=True) follows a growth (embryo.history, a pandas DataFrame), and Series.load reads a
program's snapshot series (.pvd).

Paths are taken as the os module takes them: str, bytes or os.PathLike, a name that is not
UTF-8 included; a NUL in a path is a ValueError, as with open().
"""

import os as _os
import sys as _sys

# The arrays are numpy's: a Python without it (another than the one the module was built
# for, say) is told so here rather than at the first array.
try:
    import numpy as _numpy  # noqa: F401
except ImportError as _missing:
    raise ImportError(f"morph needs numpy, which {_sys.executable} cannot import ({_missing}); install it for this "
                      f"Python: Debian's python3-numpy for /usr/bin/python3, `{_sys.executable} -m pip install numpy` "
                      "for another") from None

from . import display as _display
from . import follow as _follow
from ._morph import CapacityError, Embryo, InspectionOnlyError, Notice, Settings, __version__
from ._sweep import sweep
from .series import Series

#: The seed icosahedron morphseed grows from, bundled with the module (Embryo.from_seed's default).
BUNDLED_SEED = _os.path.join(_os.path.dirname(__file__), "indexed_icosa")

__all__ = ["Embryo", "Series", "Settings", "CapacityError", "InspectionOnlyError", "Notice", "BUNDLED_SEED", "sweep"]

# What the package adds to the compiled Embryo: seeing it, following its growth, its history.
Embryo.grow = _follow.grow
Embryo.copy = _follow.copy
Embryo.__copy__ = _follow.copy
Embryo.__deepcopy__ = lambda self, memo: _follow.copy(self)
Embryo.load = staticmethod(_follow.load)
Embryo.history = property(_follow.history)
Embryo.picture = _display.embryo_picture
Embryo._repr_png_ = _display.embryo_repr_png
Embryo._repr_html_ = _display.embryo_repr_html

# Shown as the package's own in help(morph) and in tracebacks.
for _name in ("Embryo", "Settings"):
    globals()[_name].__module__ = __name__


# ---- Comparing shapes: morphstats --compare and --effects ----

from . import _morph as _compiled


def _surface(shape):
    """(positions, triangles) of an Embryo, a file any morph tool reads, or such a pair."""
    if isinstance(shape, Embryo):
        return shape.positions, shape.triangles
    if isinstance(shape, tuple) and len(shape) == 2:
        return shape
    loaded = Embryo.load(shape)
    return loaded.positions, loaded.triangles


def distance(a, b, register="rigid"):
    """How far apart two shapes are: morphstats --compare's numbers for A and B.

    a and b are Embryos, files (any format the tools read) or (positions, triangles)
    pairs. register is "none", "rigid" (principal axes, then iterative closest point) or
    "similarity" (rigid and one scale); b is moved onto a. Returns a dict: hausdorff,
    meanDistance, rmsDistance (over every vertex of both surfaces, each to the other's
    triangles), volumeDifference and areaDifference (b minus a, as given), and the transform
    x -> scale * rotation @ x + translation that placed b.
    """
    return _compiled._distance(*_surface(a), *_surface(b), register)


def effects(table, parameters=None, measures=None, medoid=True, seed="seed"):
    """Each parameter's share of the variance of each measure over a full grid, as a DataFrame.

    table is a pandas DataFrame with a row per point, such as morphstats --manifest's table
    (pandas.read_csv) or morph.sweep's. parameters are its factor columns (default: the columns between
    "point" and "status"); measures the columns to share (default: every numeric column
    that is no parameter). With medoid and a "file" (or morph.sweep's "result") column, the distance of each ok point's
    shape to the sweep's medoid shape is added as medoidDistance. A column named `seed`
    holds replicates: the shares are those of the seed means, with a 95% bootstrap interval.
    Rows whose status is not "ok" have no value. Returns the columns of morphstats --effects:
    measure, parameter, outcome ("shares", "no effect" or "incomplete"), firstOrder, total,
    their bounds, sentence.
    """
    import numpy as np
    import pandas as pd

    columns = list(table.columns)
    if parameters is None:
        if "point" not in columns or "status" not in columns:
            raise ValueError('name the parameters: the table has no "point" ... "status" columns around them')
        parameters = columns[columns.index("point") + 1:columns.index("status")]
        parameters = [p for p in parameters if p != seed]
    parameters = list(parameters)
    if not parameters:
        raise ValueError("no parameter varies: there is nothing to share the variance")
    for name in parameters:
        if name not in columns:
            raise ValueError(f"no column {name!r} in the table")
    ok = table["status"].eq("ok").to_numpy() if "status" in columns else np.ones(len(table), bool)
    if measures is None:
        skip = set(parameters) | {"point", "status", "reason", "file", "result", "message", "files", seed}
        measures = [c for c in columns if c not in skip and pd.api.types.is_numeric_dtype(table[c])]
    values = {m: np.where(ok, pd.to_numeric(table[m], errors="coerce").to_numpy(float), np.nan) for m in measures}
    shapes = "file" if "file" in columns else "result" if "result" in columns else None
    if medoid and shapes is not None and ok.any():
        files = table[shapes][ok].tolist()
        near = _compiled._medoid_distances([_surface(f) for f in files])
        column = np.full(len(table), np.nan)
        column[np.flatnonzero(ok)] = near
        values["medoidDistance"] = column
    words = [[str(w) for w in table[p]] for p in parameters]
    rows = []
    for measure, v in values.items():
        for parameter, shares in zip(parameters, _compiled._effects(parameters, words, measure, list(v))):
            rows.append((measure, parameter) + tuple(shares))
    return pd.DataFrame(rows, columns=["measure", "parameter", "outcome", "firstOrder", "total", "firstOrderLow",
                                       "firstOrderHigh", "totalLow", "totalHigh", "sentence"])


__all__ += ["distance", "effects"]
