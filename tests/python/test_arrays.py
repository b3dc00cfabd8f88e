# The arrays: shapes and types, the written file's numbers, copies that outlive growth and
# cannot be written into, and a snapshot loaded back as it was grown.
import morph
import numpy as np
import pytest
from test_identity import POINTS, point_settings


def grown(kind, cycles):
    if kind == "seed":
        embryo = morph.Embryo.from_seed(1000)
    else:
        embryo = morph.Embryo.from_template("start.3dv", point_settings(POINTS[0]))
    embryo.grow(cycles)
    return embryo


@pytest.mark.parametrize("kind", ["seed", "sweep"])
def test_shapes_and_types(work, kind):
    embryo = grown(kind, 6)
    n, m = len(embryo.positions), len(embryo.triangles)
    expected = {
        "positions": ((n, 3), np.float32),
        "triangles": ((m, 3), np.int32),
        "levels": ((n, 3), np.uint8),
        "t_junction": ((n,), np.bool_),
        "birth_cycle": ((n,), np.int32),
        "triangle_age": ((m,), np.uint16),
    }
    for name, (shape, dtype) in expected.items():
        array = getattr(embryo, name)
        assert array.shape == shape and array.dtype == dtype, name
    assert embryo.triangles.min() == 0 and embryo.triangles.max() == n - 1
    assert embryo.cycle == 6 and embryo.program == "morph" + kind
    assert (embryo.seed, embryo.settings) == ((1000, None) if kind == "seed" else (None, point_settings(POINTS[0])))
    assert set(embryo.episodes) == {"red", "green", "blue"}


def test_positions_and_triangles_are_the_written_3dv(work):
    embryo = grown("seed", 10)
    embryo.write("grown.3dv")
    lines = open("grown.3dv").read().split("\n")
    n, m = int(lines[0]), int(lines[1])
    assert (n, m) == (len(embryo.positions), len(embryo.triangles))
    written = [lines[2 + 2 * i] for i in range(n)]
    assert written == ["%f %f %f" % tuple(p) for p in embryo.positions.astype(float)]
    corners = [list(map(int, lines[3 + 2 * n + 2 * k].split())) for k in range(m)]
    assert corners == embryo.triangles.tolist()


def test_an_array_taken_before_growth_keeps_what_it_showed(work):
    embryo = grown("seed", 8)
    before = {name: getattr(embryo, name) for name in ("positions", "triangles", "levels", "birth_cycle")}
    saved = {name: array.copy() for name, array in before.items()}
    embryo.grow(3)
    for name, array in before.items():
        assert np.array_equal(array, saved[name]), name
        with pytest.raises(ValueError):
            array[0] = 1
    assert len(embryo.positions) > len(saved["positions"])
    # Births: the first twelve were loaded, every later vertex born in a cycle up to now.
    born = embryo.birth_cycle
    assert not born[:12].any() and (born[12:] >= 1).all() and born.max() <= 11 and (np.diff(born) >= 0).all()


def test_a_loaded_snapshot_holds_what_was_grown(work):
    embryo = grown("seed", 9)
    embryo.write("grown.vtp")
    embryo.write("grown.3dv")
    snapshot = morph.Embryo.load("grown.vtp")
    for name in ("positions", "triangles", "levels", "t_junction", "birth_cycle", "triangle_age"):
        assert np.array_equal(getattr(snapshot, name), getattr(embryo, name)), name
    assert (snapshot.cycle, snapshot.seed, snapshot.episodes) == (9, 1000, embryo.episodes)
    assert (snapshot.program, snapshot.growable, embryo.growable) == ("", False, True)
    result = morph.Embryo.load("grown.3dv")
    assert [getattr(result, name) for name in ("levels", "t_junction", "birth_cycle", "cycle", "seed")] == [None] * 5
    assert np.allclose(result.positions, embryo.positions, atol=1e-6, rtol=0)
