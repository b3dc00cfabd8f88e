# Every failure is a Python exception with the programs' message; the model's notices are
# warnings and its output lines log records, nothing printed; Ctrl-C and memory running out
# leave the embryo at its last whole cycle.
import _thread
import logging
import os
import re
import subprocess
import sys
import threading

import morph
import pytest
from conftest import read
from test_identity import POINTS, point_settings


def sweep():
    return morph.Embryo.from_template("start.3dv", point_settings(POINTS[0]))


ERRORS = [
    (lambda: morph.Embryo.from_seed(1, seed_file="missing"), OSError, "missing: cannot open: No such file or directory"),
    (lambda: morph.Embryo.from_template("none.3dv", morph.Settings()), OSError, "none.3dv: cannot open: No such file"),
    (lambda: morph.Embryo.load("none.vtp"), OSError, "none.vtp: cannot open: No such file or directory"),
    (lambda: morph.Embryo.from_seed(1, seed_file="."), OSError, ".: cannot read: Is a directory"),
    (lambda: morph.Embryo.load("none.ckpt"), OSError, "none.ckpt: cannot read the checkpoint: No such file or directory"),
    (lambda: morph.Embryo.from_template(".", morph.Settings()), OSError, ".: is a folder, not a template file"),
    (lambda: morph.Embryo.load("."), OSError, ".: is a folder, not a mesh file"),
    (lambda: morph.Embryo.from_template("zero.3dv", morph.Settings()), ValueError, "zero.3dv: vertex count 0 is outside 1..32768"),
    (lambda: morph.Embryo.load("bad.vtp"), ValueError, "bad.vtp: not well-formed XML"),
    (lambda: sweep().write("x.png"), ValueError, "'x.png': no format for this ending (.3dv, .3dvTemplate, .obj, .vtp)"),
    (lambda: sweep().write("no/x.3dv"), OSError, "cannot write 'no/x.3dv': No such file or directory"),
    (lambda: morph.Embryo.load("start.3dv"), ValueError, "(it reads as a 3DV template: load it with the format 'template')"),
    (lambda: morph.Embryo.load("start.3dv", format="mesh"), ValueError, "unknown format 'mesh' (3dv, template, obj, vtp, checkpoint)"),
    (lambda: morph.Embryo.load("bad.ckpt"), ValueError, "bad.ckpt: not a checkpoint (no checkpoint mark)"),
    (lambda: morph.Embryo.load("start.3dv", "template").grow(), morph.InspectionOnlyError,
     "'start.3dv' was loaded for inspection only: a template grows when started with a sweep point's settings"),
    (lambda: morph.Embryo.load("start.3dv", "template").write("x.3dv"), morph.InspectionOnlyError, "loaded for inspection only"),
    (lambda: morph.Embryo.from_seed(-1), ValueError, "seed must be from 0 to 2147483647, not -1"),
    (lambda: morph.Embryo.from_seed(1, previous=sweep()), ValueError, "a batch continues from a morphseed embryo"),
    (lambda: sweep().grow(-1), ValueError, "cycles must be from 0 to 2147483647, not -1"),
    (lambda: sweep().grow(1, callback=3), TypeError, "callback must be callable"),
    (lambda: morph.Settings(red_threshold=256), ValueError, "red_threshold must be from 0 to 255, not 256"),
    (lambda: setattr(morph.Settings(), "blue_secretor", -2), ValueError, "blue_secretor must be from -1 to 32767, not -2"),
    (lambda: morph.Settings(green_lifespan=40000), ValueError, "green_lifespan must be from -32768 to 32767"),
    (lambda: morph.Settings(repulsion=1.5), TypeError, "repulsion must be a whole number, not float"),
    (lambda: morph.Settings(gain=1), TypeError, "Settings has no parameter 'gain'"),
    (lambda: morph.Embryo.from_seed(1).set_forces(repulsion=2), ValueError, "only a morphsweep embryo"),
    (lambda: sweep().set_forces(attraction=2**31), ValueError, "attraction must be from -2147483648 to 2147483647"),
]


@pytest.mark.parametrize("call, kind, message", ERRORS)
def test_failures_are_exceptions_with_their_message(work, call, kind, message):
    (work / "zero.3dv").write_text("0\n0\n")
    (work / "bad.vtp").write_text("<VTKFile")
    (work / "bad.ckpt").write_text("a checkpoint it is not")
    with pytest.raises(kind, match=re.escape(message)):
        call()
    assert issubclass(morph.CapacityError, MemoryError) and issubclass(morph.InspectionOnlyError, RuntimeError)


def test_notices_are_warnings_and_output_lines_log_records(work, capfd, caplog):
    seed = read("indexed_icosa").replace(b" 0, 11,  5,  0,", b" 0 11 5 0")
    (work / "no-commas").write_bytes(seed)
    with pytest.warns(morph.Notice, match="Failure to read indices."):
        with pytest.raises(ValueError, match="face 0: only 1 of the 4 numbers could be read"):
            morph.Embryo.from_seed(1, seed_file="no-commas")
    with caplog.at_level(logging.INFO, logger="morph"):
        sweep().grow(3)
    assert [r.getMessage() for r in caplog.records if r.name == "morph"] == ["Hormone Grew!"] * 3
    assert capfd.readouterr() == ("", "")


def same_as_grown_straight(embryo, extra=0):
    straight = morph.Embryo.from_seed(1000)
    straight.grow(embryo.cycle)
    for e in (embryo, straight):
        e.grow(extra)
    embryo.write("stopped.3dvTemplate")
    straight.write("straight.3dvTemplate")
    return read("stopped.3dvTemplate") == read("straight.3dvTemplate")


def test_ctrl_c_stops_the_growth_at_its_last_whole_cycle(work):
    embryo = morph.Embryo.from_seed(1000)
    timer = threading.Timer(0.5, _thread.interrupt_main)
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        embryo.grow(500)
    timer.join()
    assert 0 < embryo.cycle < 500
    assert same_as_grown_straight(embryo, extra=1)


# Run apart: the address space limited to little more than the process has, with one
# thread (the OpenMP runtime cannot start threads without room for their stacks).
MEMORY_SCRIPT = """
import resource, sys, morph
page = resource.getpagesize()
soft, hard = resource.getrlimit(resource.RLIMIT_AS)
for cycles, room in [(5, 1 << 20), (5, 4 << 20), (10, 0), (20, 4 << 20)]:
    embryo = morph.Embryo.from_seed(1000)
    embryo.grow(cycles)
    size = int(open("/proc/self/statm").read().split()[0]) * page
    resource.setrlimit(resource.RLIMIT_AS, (size + room, hard))
    try:
        embryo.grow(40)
        failure = None
    except MemoryError as caught:
        failure = caught
    resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
    straight = morph.Embryo.from_seed(1000)
    straight.grow(embryo.cycle)
    embryo.write("a.3dvTemplate"); straight.write("b.3dvTemplate")
    same = open("a.3dvTemplate").read() == open("b.3dvTemplate").read()
    print(type(failure).__name__, same, str(failure) if isinstance(failure, morph.CapacityError) else "")
"""


@pytest.mark.skipif(os.environ.get("MORPH_SANITIZED") == "1", reason="the sanitizer's shadow memory needs more address space than any limit leaves")
def test_memory_running_out_leaves_the_last_whole_cycle(work):
    done = subprocess.run([sys.executable, "-c", MEMORY_SCRIPT], capture_output=True, text=True,
                          env={**os.environ, "OMP_NUM_THREADS": "1"}, cwd=work)
    assert done.returncode == 0, done.stderr
    runs = [line.split(" ", 2) for line in done.stdout.splitlines()]
    assert all(kind in ("MemoryError", "CapacityError") and same == "True" for kind, same, _ in runs), runs
    # Some run ends in the model's own allocation, which names what ran out.
    assert any(kind == "CapacityError" and message.startswith("out of memory") for kind, _, message in runs), runs
