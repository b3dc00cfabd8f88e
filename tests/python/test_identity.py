# An embryo grown from Python writes the programs' bytes: morphseed's of a seed (and of the
# next embryo of a batch), morphsweep's of a sweep point; its measures are morphstats'.
import csv
import io
import math
import os
import subprocess

import morph
import pytest
from conftest import program, read, run
from IPython.core.interactiveshell import InteractiveShell

# Sweep points: cycles, then (lifespan, threshold, secretor) per colour, then -kr and -kh.
POINTS = [
    (3, (40, 120, 5), (40, 120, 17), (40, 120, 33), 2, 3),
    (2, (0, 90, 100), (30, 200, 7), (-5, 60, 600), 1, 8),
]


def point_settings(point):
    _, red, green, blue, kr, kh = point
    given = {"repulsion": kr, "attraction": kh}
    for colour, episode in zip(("red", "green", "blue"), (red, green, blue)):
        for part, value in zip(("lifespan", "threshold", "secretor"), episode):
            given[f"{colour}_{part}"] = value
    return morph.Settings(**given)


def point_words(point):
    cycles, red, green, blue, kr, kh = point
    return ["-n", cycles, "-m", 1, "-t", 1, "-r", *red, "-g", *green, "-b", *blue, "-kr", kr, "-kh", kh, "start.3dv"]


def grow(embryo, cycles, followed):
    """Grows plainly, or followed: every measure recorded, a progress bar, a live view every
    other cycle (in an IPython shell), and a picture and the inline view taken after every cycle."""
    if not followed:
        return embryo.grow(cycles)

    def look(e):
        assert e.picture(colour="rgb") and e._repr_html_()

    InteractiveShell.instance()
    embryo.grow(cycles, record=list(embryo.measures()), progress=True, view=2, callback=look)
    assert len(embryo.history) == cycles


@pytest.mark.parametrize("followed", [False, True])
@pytest.mark.parametrize("seed, cycles", [(1000, 14), (1003, 5)])
def test_seed_embryo_writes_morphseeds_files(work, seed, cycles, followed):
    embryo = morph.Embryo.from_seed(seed)
    grow(embryo, cycles, followed)
    run("morphseed", "-s", seed, "-b", 2, cycles, "-t", 1, "-v", cycles)
    for ending, name in ((".3dv", "3dv"), (".3dvTemplate", "3dvTemplate"), (".vtp", f"c{cycles}.vtp")):
        embryo.write("mine" + ending)
        assert read("mine" + ending) == read(f"embryo.{seed}.{name}"), ending
    # The batch's second embryo starts from what the first left.
    second = morph.Embryo.from_seed(seed + 1, seed_file="indexed_icosa", previous=embryo)
    second.grow(cycles)
    second.write("second.3dv")
    assert read("second.3dv") == read(f"embryo.{seed + 1}.3dv")


@pytest.mark.parametrize("followed", [False, True])
@pytest.mark.parametrize("point", POINTS)
def test_sweep_point_writes_morphsweeps_files(work, point, followed):
    embryo = morph.Embryo.from_template("start.3dv", point_settings(point))
    grow(embryo, point[0], followed)
    run("morphsweep", *point_words(point))
    for ending in (".3dv", ".obj", ".3dvTemplate"):
        (result,) = work.glob("start.3dv.n*" + ending)
        embryo.write("mine" + ending)
        assert read("mine" + ending) == read(result), ending


# A program run stopped by SIGUSR1 (raised by a test seam once so many bytes of results and
# checkpoints are written) leaves its checkpoint; Python grows the cycles it had left.
@pytest.mark.parametrize("name, words, cycles, results", [
    ("morphseed", ["-s", 1000, "-b", 1, 14], 14, "embryo.1000"),
    ("morphseed", ["-s", 1000, "-b", 1, 14, "--episodes", "red.threshold=30"], 14, "embryo.1000.red-threshold30"),
    ("morphsweep", point_words(POINTS[0])[:1] + [8] + point_words(POINTS[0])[2:], 8, "start.3dv.n*"),
])
def test_a_checkpoint_grows_on_to_the_unbroken_runs_files(work, name, words, cycles, results):
    whole, stopped = work / "whole", work / "stopped"
    for folder in (whole, stopped):
        folder.mkdir()
        for f in ("indexed_icosa", "start.3dv"):
            (folder / f).write_bytes(read(f))
    run(name, *words, cwd=whole)
    done = subprocess.run([program(name), *map(str, words), "--checkpoint", "1"], cwd=stopped, capture_output=True,
                          text=True, env={**os.environ, "MORPH_TEST_FAULT": "signal=USR1@60000"})
    assert done.returncode == 75, done.stderr
    (saved,) = stopped.glob("*.ckpt")
    embryo = morph.Embryo.load(saved)
    assert embryo.program == name and 0 < embryo.cycle < cycles
    embryo.grow(cycles - embryo.cycle)
    endings = (".3dv",) if name == "morphseed" else (".3dv", ".obj", ".3dvTemplate")
    for ending in endings:
        (result,) = whole.glob(results + ending)
        embryo.write(work / ("mine" + ending))
        assert read(work / ("mine" + ending)) == read(result), ending


def morphstats_row(path):
    (row,) = csv.DictReader(io.StringIO(run("morphstats", path)))
    return row


@pytest.mark.parametrize("source", ["seed", "sweep"])
def test_measures_are_morphstats_numbers(work, source):
    if source == "seed":
        embryo = morph.Embryo.from_seed(1000)
        embryo.grow(12)
    else:
        embryo = morph.Embryo.from_template("start.3dv", point_settings(POINTS[0]))
        embryo.grow(4)
    embryo.write("grown.vtp")
    embryo.write("grown.3dv")
    # The grown embryo as its snapshot holds it, and a file loaded as morphstats reads it.
    for measured, path in ((embryo, "grown.vtp"), (morph.Embryo.load("grown.3dv"), "grown.3dv")):
        mine = measured.measures()
        row = morphstats_row(path)
        assert list(mine) == [name for name in row if name in mine] and len(mine) == 27
        for name, value in mine.items():
            if row[name] == "":
                assert math.isnan(value), name
            else:
                assert value == float(row[name]), name
    assert embryo.measures()["redMean"] >= 0 and math.isnan(morph.Embryo.load("grown.3dv").measures()["redMean"])
