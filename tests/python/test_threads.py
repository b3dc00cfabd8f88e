# Embryos in Python threads grow at once, each as it grows alone; a copy is independent.
import threading
import time

import morph
import pytest
from conftest import read
from test_identity import POINTS, point_settings


def fresh():
    return [morph.Embryo.from_seed(1000), morph.Embryo.from_seed(1001),
            morph.Embryo.from_template("start.3dv", point_settings(POINTS[1]))]


def written(embryos, tag):
    for k, embryo in enumerate(embryos):
        embryo.write(f"{tag}{k}.3dvTemplate")
    return [read(f"{tag}{k}.3dvTemplate") for k in range(len(embryos))]


def test_embryos_in_threads_grow_as_they_grow_alone(work):
    cycles = [12, 10, 6]
    alone = fresh()
    for embryo, c in zip(alone, cycles):
        embryo.grow(c)
    together = fresh()
    threads = [threading.Thread(target=embryo.grow, args=(c,)) for embryo, c in zip(together, cycles)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert written(together, "together") == written(alone, "alone")


def test_growth_lets_go_of_the_lock_and_keeps_others_off_its_embryo(work):
    embryo = morph.Embryo.from_seed(1000)
    grower = threading.Thread(target=embryo.grow, args=(40,))
    grower.start()
    seen = None
    while grower.is_alive() and seen is None:
        try:
            embryo.positions
        except RuntimeError as busy:
            seen = str(busy)
        time.sleep(0.001)
    grower.join()
    # Seen only while the grower ran without the lock: with it held this thread cannot run.
    assert seen == "this embryo is busy in another thread (growing or being written)"
    assert embryo.cycle == 40


def test_a_copy_is_independent(work):
    first = morph.Embryo.from_seed(1000)
    first.grow(8)
    before = written([first], "before")
    branch = first.copy()
    branch.grow(3)
    assert written([first], "after") == before
    straight = morph.Embryo.from_seed(1000)
    straight.grow(11)
    assert written([branch], "branch") == written([straight], "straight")
    sweep = morph.Embryo.from_template("start.3dv", point_settings(POINTS[0]))
    other = sweep.copy()
    other.set_forces(repulsion=16)
    assert (other.settings.repulsion, other.settings.attraction, sweep.settings.repulsion) == (16, 3, 2)
    for embryo in (sweep, other):
        embryo.grow(2)
    assert not (sweep.positions == other.positions).all()
