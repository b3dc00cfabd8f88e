# Comparing shapes from Python: morph.distance gives morphstats --compare's numbers, and
# morph.effects shares variance exactly on a synthetic grid and as morphstats --effects
# does on a sweep's table.
import csv
import io
import os
import subprocess

import morph
import numpy as np
import pandas as pd
import pytest
from conftest import program, run


def compare_rows(*words):
    return list(csv.DictReader(io.StringIO(run("morphstats", "--compare", *words))))


def test_distance_is_morphstats_compare(work):
    run("morphseed", "-s", "1000", "-b", "2", "12")
    for register in ("none", "rigid"):
        row = compare_rows("--register", register, "embryo.1000.3dv", "embryo.1001.3dv")[0]
        d = morph.distance("embryo.1000.3dv", morph.Embryo.load("embryo.1001.3dv"), register=register)
        for name in ("hausdorff", "meanDistance", "rmsDistance", "volumeDifference", "areaDifference", "scale"):
            assert d[name] == float(row[name]), (register, name)
        assert d["rotation"].shape == (3, 3) and d["translation"].shape == (3,)
        assert d["rotation"][1, 2] == float(row["r23"])
    assert morph.distance("embryo.1000.3dv", "embryo.1000.3dv")["hausdorff"] == 0
    grown = morph.Embryo.from_seed(1000)
    grown.grow(12)
    assert morph.distance(grown, (grown.positions, grown.triangles), register="none")["hausdorff"] == 0
    with pytest.raises(ValueError, match="register must be"):
        morph.distance(grown, grown, register="affine")
    with pytest.raises(ValueError, match="names point"):
        morph.distance(grown, (grown.positions[:3], grown.triangles))


def synthetic():
    # y = x1 + 2 x2 + x1 x2: shares 1/8 and 3/4, totals 1/4 and 7/8; z does nothing.
    rows = [(x1, x2, z, x1 + 2 * x2 + x1 * x2) for x1 in (-1, 0, 1) for x2 in (-1, 1) for z in ("a", "b")]
    return pd.DataFrame(rows, columns=["x1", "x2", "z", "y"])


def test_effects_of_a_synthetic_grid_are_exact():
    table = synthetic()
    table["flat"] = 0.5
    table["holed"] = table["y"].where(table["x1"] != 0)
    e = morph.effects(table, parameters=["x1", "x2", "z"]).set_index(["measure", "parameter"])
    assert e.loc[("y", "x1"), "firstOrder"] == pytest.approx(1 / 8, abs=1e-12)
    assert e.loc[("y", "x2"), "total"] == pytest.approx(7 / 8, abs=1e-12)
    assert e.loc[("y", "z"), "total"] == pytest.approx(0, abs=1e-12)
    assert e.loc[("y", "x2"), "sentence"] == "x2 explains 75% of the variance of y (88% with its interactions)"
    assert e.loc[("flat", "x1"), "outcome"] == "no effect" and np.isnan(e.loc[("flat", "x1"), "firstOrder"])
    assert e.loc[("holed", "z"), "outcome"] == "incomplete"
    with pytest.raises(ValueError, match="name the parameters"):
        morph.effects(table)


def test_effects_of_a_sweep_table_are_morphstats_effects(work):
    definition = {"inputTemplate": "start.3dv", "growthCycles": "3", "modificationCount": "1",
                  "templateSwitch": "0", "redLifespan": "40", "redThreshold": "120", "redSecretor": "5",
                  "greenLifespan": "40", "greenThreshold": "120", "greenSecretor": "17", "blueLifespan": "40",
                  "blueThreshold": "120", "blueSecretor": "33", "repulsion": "1, 4", "attraction": "2, 3"}
    with open("forces.sweep", "w") as f:
        f.writelines(f"{name} = {values}\n" for name, values in definition.items())
    plan = os.path.join(os.environ["MORPH_BUILD"], "morphsweep", "morphsweep-plan")
    with open("manifest", "w") as f:
        subprocess.run([plan, "--program", program("morphsweep"), "forces.sweep"], stdout=f, check=True)
    subprocess.run(["sh", "manifest"], capture_output=True, check=True)
    table = pd.read_csv(io.StringIO(run("morphstats", "--manifest", "manifest")), float_precision="round_trip")
    mine = morph.effects(table)
    theirs = pd.read_csv(io.StringIO(run("morphstats", "--effects", "manifest")), keep_default_na=False)
    assert list(mine["measure"]) == list(theirs["measure"])
    assert "medoidDistance" in set(mine["measure"])
    assert list(mine["sentence"]) == list(theirs["sentence"])
    shares = theirs["outcome"] == "shares"
    assert list(mine["total"][shares]) == list(theirs["total"][shares].astype(float))
