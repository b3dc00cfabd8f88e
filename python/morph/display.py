"""Seeing embryos: morphview's pictures as PNG bytes, and the HTML report's 3D viewer inline.

The inline view is the report page morphview --html writes, three.js included, inside an
iframe's srcdoc: it loads nothing from the network, and a notebook exported to HTML keeps
it working. Colour by a morphogen is chosen in the view's bar.
"""

from __future__ import annotations

import html
import os
import warnings

from . import _morph

#: The inline view's height in pixels; a series' view has its slider and plot above the mesh.
VIEW_HEIGHT = 480
SERIES_VIEW_HEIGHT = 640

# morphview's defaults.
DEFAULT_VIEW = (0.0, 0.0, 1.0)
DEFAULT_SIZE = (512, 512)


def picture_name(embryo):
    """The file name a picture of the embryo is titled with: for a file loaded to look at,
    its name; for a growing morphseed embryo (a checkpoint's too), the snapshot morphseed
    writes for its seed and cycle; else "embryo"."""
    program = embryo.program
    if program == "morphseed" and embryo.seed is not None:
        return f"embryo.{embryo.seed}.c{embryo.cycle}.vtp"
    source = embryo.__dict__.get("_source")
    return source if not program and source is not None else "embryo"


def _notice(warning):
    if warning is not None:
        warnings.warn(os.fsdecode(warning), _morph.Notice, stacklevel=3)


def _size(size):
    try:
        width, height = size
    except (TypeError, ValueError):
        raise ValueError(f"size must be (width, height), not {size!r}") from None
    return int(width), int(height)


def picture(embryo, view=DEFAULT_VIEW, size=DEFAULT_SIZE, colour="plain", frame="body", scale_bar=False,
            title=None, name=None):
    png, warning = _morph._picture(embryo, os.fsencode(name if name is not None else picture_name(embryo)),
                                   [float(v) for v in view], _size(size), colour, frame, bool(scale_bar), title)
    _notice(warning)
    return png


def inline_frame(page, title, height=VIEW_HEIGHT):
    """The report page as an iframe that holds it whole (srcdoc): no request leaves it."""
    return (f'<iframe title="{html.escape(title)}" srcdoc="{html.escape(page, quote=True)}" '
            f'style="width: 100%; height: {height}px; border: 0" loading="lazy"></iframe>')


def embryo_html(embryo):
    name = os.path.basename(picture_name(embryo))
    page = _morph._report_page("single", name, [(embryo, name)])
    return inline_frame(page, name)


def embryo_picture(self: _morph.Embryo, view: tuple[float, float, float] = DEFAULT_VIEW,
                   size: tuple[int, int] = DEFAULT_SIZE, colour: str = "plain", frame: str = "body",
                   scale_bar: bool = False, title: str | None = None) -> bytes:
    """morphview's PNG picture of the embryo, as bytes: the bytes `morphview` writes for the
    embryo's .vtp snapshot with the same options (--view X,Y,Z, --size WxH, --colour
    plain|red|green|blue|rgb, --frame body|all, --scale-bar). The title is the snapshot's
    name with seed and cycle unless `title` gives another ("" for none). Vertices framed out
    far from the body arrive as a Notice warning. IPython.display.Image(embryo.picture())
    shows it; an embryo shown in a notebook carries it for front ends without HTML."""
    return picture(self, view, size, colour, frame, scale_bar, title)


def embryo_repr_png(self):
    return picture(self)


def embryo_repr_html(self):
    """The interactive 3D view: turn, zoom, colour by a morphogen."""
    return shown_or_none(embryo_html, self)


def shown_or_none(show, shown):
    """A front end falls back on the picture when the view cannot be had: a module built
    without three.js, or an embryo busy growing in another thread."""
    try:
        return show(shown)
    except RuntimeError:
        return None
