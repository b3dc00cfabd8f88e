# Seeing and following embryos from Python: morphview's pictures and movies byte for byte,
# the report's 3D view inline and offline, a growth's history, a progress bar only when
# asked, and snapshot series read and ordered as the tools read them.
import copy
import html
import json
import re
import shutil
from types import SimpleNamespace

import morph
import pytest
from conftest import read, run
from test_identity import POINTS, point_settings

FILES = [f"embryo.1000.c{c}.vtp" for c in (0, 3, 6, 9)]

# Picture keywords and morphview's words for them.
OPTIONS = [
    ({}, []),
    ({"colour": "red", "scale_bar": True}, ["--colour", "red", "--scale-bar"]),
    ({"view": (1, 0.5, 0), "size": (300, 200), "colour": "rgb", "frame": "all"},
     ["--view", "1,0.5,0", "--size", "300x200", "--colour", "rgb", "--frame", "all"]),
]

# A script, stylesheet, picture or frame source that would reach the network.
NETWORK = re.compile(r"<(?:script|link|img|iframe)\b[^>]*\b(?:src|href)\s*=\s*[\"']?\s*(?:https?:)?//", re.I)


@pytest.fixture
def series_files(work):
    """morphseed's snapshots of seed 1000 at cycles 0, 3, 6 and 9, and their index."""
    run("morphseed", "-s", 1000, "-b", 1, 9, "-t", 1, "-v", 3)
    return work


@pytest.mark.parametrize("keywords, words", OPTIONS)
def test_pictures_are_morphviews(series_files, keywords, words):
    grown = morph.Embryo.from_seed(1000)
    grown.grow(9)
    point = morph.Embryo.from_template("start.3dv", point_settings(POINTS[0]))
    point.grow(3)
    point.write("point.vtp")
    series = morph.Series.load("embryo.1000.pvd")
    cases = [
        (grown.picture(**keywords), "embryo.1000.c9.vtp"),  # titled as morphseed's snapshot of it
        (point.picture(**keywords, title="point.vtp  cycle 3"), "point.vtp"),
        (morph.Embryo.load("embryo.1000.c3.vtp").picture(**keywords), "embryo.1000.c3.vtp"),
        (series.picture(6, **keywords), "embryo.1000.c6.vtp"),
    ]
    for png, file in cases:
        run("morphview", *words, "-o", "theirs.png", file)
        assert png == read("theirs.png"), file
    assert grown._repr_png_() == grown.picture()


def test_picture_refusals(work):
    template = morph.Embryo.load("start.3dv", "template")
    with pytest.raises(ValueError, match="start.3dv: .*morphogen"):
        template.picture(colour="red")
    for keywords, message in (({"view": (0, 0, 0)}, "view must be"), ({"size": (0, 10)}, "size needs"),
                              ({"colour": "pink"}, "colour must be"), ({"frame": "some"}, "frame must be")):
        with pytest.raises(ValueError, match=message):
            template.picture(**keywords)
    # What the drawing code takes from an embryo is checked before it is drawn.
    good = {"positions": template.positions, "triangles": template.triangles, "levels": None, "episodes": None,
            "cycle": None, "seed": None}
    for change, message in (({"triangles": template.triangles + len(template.positions)}, "names a vertex"),
                            ({"triangles": template.triangles - len(template.positions)}, "names a vertex"),
                            ({"positions": template.positions[:, :2]}, r"positions must be an \(n, 3\) array"),
                            ({"levels": template.triangles[:1].astype("uint8")}, "one row per vertex")):
        with pytest.raises(ValueError, match=message):
            morph._morph._picture(SimpleNamespace(**{**good, **change}), b"x", [0, 0, 1], (8, 8), "plain", "body",
                                  False, None)
    assert morph._morph._picture(SimpleNamespace(**good), b"x", [0, 0, 1], (8, 8), "plain", "body", False, None)[0]


def page_of(shown):
    """The report page inside an inline view, and its data."""
    try:
        morph._morph._report_page("single", "", [])
    except RuntimeError as e:
        pytest.skip(str(e))  # a build without three.js (scripts/install-deps.sh runs npm ci)
    outer = shown._repr_html_()
    assert outer.startswith("<iframe ") and not NETWORK.search(outer)
    page = html.unescape(re.fullmatch(r'<iframe [^>]*srcdoc="([^"]*)"[^>]*></iframe>', outer).group(1))
    imports = json.loads(re.search(r'<script type="importmap">(.*?)</script>', page).group(1))["imports"]
    assert not NETWORK.search(page) and imports["three"].startswith("data:text/javascript;base64,")
    return page, json.loads(re.search(r'id="morph-data">(.*?)</script>', page, re.S).group(1))


def test_the_inline_view_is_the_reports_and_offline(series_files):
    grown = morph.Embryo.from_seed(1000)
    grown.grow(9)
    _, single = page_of(grown)
    (item,) = single["items"]
    assert single["kind"] == "single" and item["cycle"] == 9 and item["name"] == "embryo.1000.c9.vtp"
    assert item["mesh"]["points"] == len(grown.positions) and item["mesh"]["levels"]
    # A series is morphview's series page: the same frames, measures and colour maps.
    _, mine = page_of(morph.Series.load("embryo.1000.pvd"))
    run("morphview", "--html", "theirs.html", "embryo.1000.pvd")
    theirs = json.loads(re.search(r'id="morph-data">(.*?)</script>', read("theirs.html").decode(), re.S).group(1))
    assert [i["cycle"] for i in mine["items"]] == [0, 3, 6, 9] and mine["measureNames"]
    assert {**mine, "title": ""} == {**theirs, "title": ""}


def test_history_keeps_a_row_per_recorded_cycle(work):
    embryo = morph.Embryo.from_seed(1000)
    embryo.grow(2)
    assert embryo.history.empty and list(embryo.history.columns) == ["cycle", "vertices", "triangles", "seconds"]
    embryo.grow(8, record=["sphericity", "area"])
    history = embryo.history
    assert list(history.columns) == ["cycle", "vertices", "triangles", "seconds", "sphericity", "area"]
    assert list(history.cycle) == list(range(3, 11)) and (history.seconds > 0).all()
    last, measured = history.iloc[-1], embryo.measures()
    assert (last.sphericity, last.area, last.vertices) == (measured["sphericity"], measured["area"],
                                                          measured["vertices"])
    assert last.triangles == len(embryo.triangles)
    # Copies keep it and go on apart; a later growth may record other measures.
    for branch in (embryo.copy(), copy.copy(embryo), copy.deepcopy(embryo)):
        branch.grow(2, record=[])
        assert len(branch.history) == 10 and branch.history.sphericity.isna().sum() == 2
    assert len(embryo.history) == 8
    with pytest.raises(ValueError, match="no measure named 'roundness'"):
        embryo.grow(1, record=["roundness"])
    assert embryo.cycle == 10 and len(embryo.history) == 8
    embryo.write("grown.vtp")
    assert morph.Embryo.load("grown.vtp").history.empty


def test_progress_only_when_asked_outside_a_notebook(work, capfd):
    embryo = morph.Embryo.from_seed(1000)
    embryo.grow(3, record=[])
    assert capfd.readouterr() == ("", "")
    embryo.grow(3, progress=True)
    out, err = capfd.readouterr()
    assert out == "" and "3/3" in err and "cycle=6" in err and f"vertices={len(embryo.positions)}" in err
    with pytest.raises(RuntimeError, match="view shows the growth in a notebook"):
        embryo.grow(1, view=True)
    for keywords, error in (({"view": 0}, ValueError), ({"record": [3]}, TypeError), ({"callback": 3}, TypeError)):
        with pytest.raises(error):
            embryo.grow(1, progress=True, **keywords)
    assert embryo.cycle == 6


def test_series_read_and_ordered_as_the_tools_do(series_files):
    shuffled = [FILES[2], FILES[0], FILES[3], FILES[1]]
    for series in (morph.Series.load("embryo.1000.pvd"), morph.Series.load(shuffled)):
        assert len(series) == 4 and series.cycles == [0, 3, 6, 9] and series.files == FILES
        assert [frame.cycle for frame in series] == [0, 3, 6, 9]
    table = series.measures()
    assert list(table.columns[:3]) == ["cycle", "file", "vertices"]
    assert table.iloc[1].to_dict() == {"cycle": 3, "file": FILES[1], **morph.Embryo.load(FILES[1]).measures()}
    with pytest.raises(KeyError, match="no snapshot of cycle 5"):
        series.at(5)
    with pytest.raises(ValueError, match="is a series of snapshots; load it with morph.Series.load"):
        morph.Embryo.load("embryo.1000.pvd")
    shutil.copy(FILES[1], "again.vtp")
    with pytest.raises(ValueError, match="are both cycle 3"):
        morph.Series.load([FILES[1], "again.vtp"])


@pytest.mark.skipif(shutil.which("ffmpeg") is None, reason="ffmpeg is not installed")
def test_movies_are_morphviews(series_files):
    for source, words in (("embryo.1000.pvd", ["embryo.1000.pvd"]), (FILES[::-1], FILES[::-1])):
        morph.Series.load(source).movie("mine.mp4", size=(128, 96), colour="red")
        run("morphview", "--movie", "theirs.mp4", "--size", "128x96", "--colour", "red", *words)
        assert read("mine.mp4") == read("theirs.mp4"), source
    with pytest.raises(ValueError, match="embryo.1000.c3.vtp"):
        morph.Series.load("embryo.1000.pvd").movie(FILES[1])
