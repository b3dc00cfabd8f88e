"""A growth series: the snapshots (.vtp) a program wrote with -v, read as the tools read them."""

import os

from . import _morph, display


class Series:
    """The snapshots of one embryo's growth, in cycle order, each an Embryo loaded for
    inspection. Made by Series.load: a program's .pvd index, or a list of .vtp files in any
    order (shown by the cycle each carries, as morphview shows them).

    len(series) frames; series[k] the k-th; series.cycles; series.at(cycle) the frame of a
    cycle; series.measures() morphstats' measures per frame as a pandas DataFrame;
    series.picture(cycle) and series.movie(path) morphview's picture and movie; in a
    notebook the series shows itself as the 3D view with a cycle slider."""

    def __init__(self, frames, files, cycles, index=None):
        self._frames, self._files, self._cycles, self._index = frames, files, cycles, index

    @classmethod
    def load(cls, source):
        """A series from a .pvd index (str, bytes or os.PathLike), or from a list of .vtp
        snapshot files. The index's files are taken from its folder, in its order; listed
        files are ordered by their cycle, and two of one cycle are refused (ValueError)."""
        if isinstance(source, (str, bytes, os.PathLike)):
            index = os.fsdecode(source)
            os.stat(source)  # a missing index is an OSError, as for any file
            steps = _morph._series_steps(os.fsencode(source))
            files = [os.fsdecode(f) for _, f in steps]
            frames = [_load(f) for f in files]
            cycles = [f.cycle if f.cycle is not None else c for f, (c, _) in zip(frames, steps)]
            return cls(frames, files, cycles, index)
        files = [os.fsdecode(f) for f in source]
        if not files:
            raise ValueError("a series needs at least one snapshot")
        frames = [_load(f) for f in files]
        order = _morph._cycle_order([(f.cycle, os.fsencode(n)) for f, n in zip(frames, files)])
        return cls([frames[k] for k in order], [files[k] for k in order], [frames[k].cycle for k in order])

    def __len__(self):
        return len(self._frames)

    def __getitem__(self, k):
        return self._frames[k]

    def __iter__(self):
        return iter(self._frames)

    @property
    def cycles(self):
        """Each frame's cycle (None where a listed snapshot names none)."""
        return list(self._cycles)

    @property
    def files(self):
        return list(self._files)

    def at(self, cycle):
        """The frame of `cycle`; a KeyError names the cycles there are."""
        for frame, c in zip(self._frames, self._cycles):
            if c == cycle:
                return frame
        raise KeyError(f"no snapshot of cycle {cycle} (the series has {', '.join(map(str, self._cycles))})")

    def measures(self):
        """morphstats' measures of every frame, one row each, with its cycle and file."""
        import pandas as pd

        rows = [{"cycle": c, "file": f, **frame.measures()} for frame, f, c in zip(self._frames, self._files,
                                                                                     self._cycles)]
        return pd.DataFrame(rows)

    def picture(self, cycle, view=display.DEFAULT_VIEW, size=display.DEFAULT_SIZE, colour="plain", frame="body",
                scale_bar=False, title=None):
        """morphview's PNG picture (bytes) of the frame of `cycle`: the bytes morphview writes
        for that snapshot file with the same options (see Embryo.picture)."""
        k = self._cycles.index(cycle) if cycle in self._cycles else None
        if k is None:
            self.at(cycle)  # its KeyError
        return display.picture(self._frames[k], view, size, colour, frame, scale_bar, title, name=self._files[k])

    def movie(self, path, size=display.DEFAULT_SIZE, fps=10, view=display.DEFAULT_VIEW, colour="plain",
              frame="body", scale_bar=False):
        """morphview --movie: every frame with one fixed camera, by cycle, encoded by ffmpeg
        into `path` (its extension tells the container), written whole or not at all. A
        failure (ffmpeg missing or failing, a snapshot that no longer reads) is an OSError."""
        width, height = display._size(size)
        if isinstance(fps, bool) or not isinstance(fps, int):
            raise TypeError("fps must be a whole number")
        series = os.fsencode(self._index) if self._index is not None else b""
        snapshots = [] if self._index is not None else [os.fsencode(f) for f in self._files]
        warning = _morph._movie(series, snapshots, os.fsencode(path), (width, height), fps,
                                [float(v) for v in view], colour, frame, bool(scale_bar))
        display._notice(warning)

    def __repr__(self):
        where = f": {self._index}" if self._index is not None else ""
        cycles = [c for c in self._cycles if c is not None]
        span = f", cycles {cycles[0]} to {cycles[-1]}" if cycles else ""
        return f"<morph.Series of {len(self)} snapshots{span}{where}>"

    def _repr_html_(self):
        """The 3D view with a slider over the cycles and a plot of a measure."""
        return display.shown_or_none(Series._view, self)

    def _view(self):
        title = os.path.basename(self._index) if self._index is not None else "series"
        page = _morph._report_page("series", title, [(frame, f) for frame, f in zip(self._frames, self._files)])
        return display.inline_frame(page, title, display.SERIES_VIEW_HEIGHT)

    def _repr_png_(self):
        return display.picture(self._frames[-1], name=self._files[-1])


def _load(path):
    from .follow import load

    return load(path)
