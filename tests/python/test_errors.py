# Every failure is a Python exception with the programs' message; the model's notices are
# warnings and its output lines log records, nothing printed; Ctrl-C and memory running out
# leave the embryo at its last whole cycle.
import _thread
import logging
import os
import re
import shutil
import subprocess
import sys
import threading
from pathlib import Path

import morph
import pytest
from conftest import read
from test_identity import POINTS, point_settings


def sweep():
    return morph.Embryo.from_template("start.3dv", point_settings(POINTS[0]))


ERRORS = [
    (lambda: morph.Embryo.from_seed(1, seed_file="missing"), OSError, "missing: cannot open: No such file or directory"),
    (lambda: morph.Embryo.from_template("none.3dv", morph.Settings.example()), OSError, "none.3dv: cannot open: No such file"),
    (lambda: morph.Embryo.load("none.vtp"), OSError, "none.vtp: cannot open: No such file or directory"),
    (lambda: morph.Embryo.load("none.ckpt"), OSError, "none.ckpt: cannot read the checkpoint: No such file or directory"),
    (lambda: morph.Embryo.from_template(".", morph.Settings.example()), OSError, ".: is a folder, not a template file"),
    (lambda: morph.Embryo.load("."), OSError, ".: is a folder, not a mesh file"),
    (lambda: morph.Embryo.from_template("zero.3dv", morph.Settings.example()), ValueError, "zero.3dv: vertex count 0 is outside 1..32768"),
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
    (lambda: setattr(morph.Settings.example(), "blue_secretor", -2), ValueError, "blue_secretor must be from -1 to 32767, not -2"),
    (lambda: morph.Settings(green_lifespan=40000), ValueError, "green_lifespan must be from -32768 to 32767"),
    (lambda: morph.Settings(repulsion=1.5), TypeError, "repulsion must be a whole number, not float"),
    (lambda: morph.Settings(gain=1), TypeError, "Settings has no parameter 'gain'"),
    # morphsweep has no defaults: every value is given, or the example point changed.
    (lambda: morph.Settings(), TypeError, "Settings() needs every value by keyword (red_lifespan, red_threshold"),
    (lambda: morph.Settings(repulsion=1, attraction=2), TypeError, "missing: red_lifespan, red_threshold, red_secretor"),
    (lambda: morph.Settings.example(red_threshold=-1), ValueError, "red_threshold must be from 0 to 255, not -1"),
    (lambda: morph.Embryo.from_seed(1).set_forces(repulsion=2), ValueError, "only a morphsweep embryo"),
    (lambda: sweep().set_forces(attraction=2**31), ValueError, "attraction must be from -2147483648 to 2147483647"),
    (lambda: morph.Embryo.load("start.3dv", format=5), TypeError, "format must be a str ('3dv', 'template'"),
    (lambda: morph.Embryo.from_seed(1, seed_file="."), OSError, ".: is a folder, not a seed file"),
    (lambda: morph.Embryo.from_seed(1, seed_file="big.seed"), ValueError, "big.seed: is 1048577 bytes, more than the 1048576"),
    # A path as open() takes one: a NUL is refused, never cut where the C library would.
    (lambda: sweep().write("x.3dv\0.vtp"), ValueError, "path: embedded null byte"),
    (lambda: morph.Embryo.load("start.3dv\0.vtp", "template"), ValueError, "path: embedded null byte"),
    (lambda: morph.Embryo.from_template("start.3dv\0x", morph.Settings.example()), ValueError, "path: embedded null byte"),
    (lambda: morph.Embryo.from_seed(1, seed_file="indexed_icosa\0x"), ValueError, "seed_file: embedded null byte"),
    (lambda: morph.Embryo.load(5), TypeError, "expected str, bytes or os.PathLike object, not int"),
    # An Embryo never made (its factory never ran) is refused by every method.
    (lambda: morph.Embryo.__new__(morph.Embryo).write("x.3dv"), TypeError, "this morph.Embryo was never made"),
    (lambda: morph.Embryo.__new__(morph.Embryo).positions, TypeError, "this morph.Embryo was never made"),
    (lambda: morph.Embryo.__base__.__new__(morph.Embryo).measures(), TypeError, "this morph.Embryo was never made"),
    (lambda: morph.Embryo.from_seed(1, previous=morph.Embryo.__new__(morph.Embryo)), TypeError, "never made"),
]


@pytest.mark.parametrize("call, kind, message", ERRORS)
def test_failures_are_exceptions_with_their_message(work, call, kind, message):
    (work / "zero.3dv").write_text("0\n0\n")
    (work / "bad.vtp").write_text("<VTKFile")
    (work / "bad.ckpt").write_text("a checkpoint it is not")
    (work / "big.seed").write_bytes(b" " * ((1 << 20) + 1))
    with pytest.raises(kind, match=re.escape(message)):
        call()
    assert not (work / "x.3dv").exists()
    assert issubclass(morph.CapacityError, MemoryError) and issubclass(morph.InspectionOnlyError, RuntimeError)


def test_paths_are_taken_as_the_os_module_takes_them(work):
    raw = b"t\xff"  # not UTF-8, as os.listdir gives it surrogate-escaped
    shutil.copy("start.3dv", os.fsdecode(raw + b"-start.3dv"))
    shutil.copy("indexed_icosa", os.fsdecode(raw + b"-seed"))
    morph.Embryo.from_template("start.3dv", morph.Settings.example()).write("sweep.3dvTemplate")
    morph.Embryo.from_seed(1).write("seed.3dv")
    for form in (bytes, os.fsdecode, lambda name: Path(os.fsdecode(name))):
        morph.Embryo.from_template(form(raw + b"-start.3dv"), morph.Settings.example()).write(form(raw + b".3dvTemplate"))
        assert read(os.fsdecode(raw + b".3dvTemplate")) == read("sweep.3dvTemplate")
        morph.Embryo.from_seed(1, seed_file=form(raw + b"-seed")).write(form(raw + b".3dv"))
        assert read(os.fsdecode(raw + b".3dv")) == read("seed.3dv")
        assert morph.Embryo.load(form(raw + b".3dv")).positions.shape == (12, 3)
    # The message gives the name back as os.fsdecode does.
    with pytest.raises(OSError) as missing:
        morph.Embryo.load(b"\xfe.vtp")
    assert str(missing.value) == os.fsdecode(b"\xfe.vtp") + ": cannot open: No such file or directory"


# Each input read by a fresh process, which a named pipe would block for ever in its open.
PIPE_SCRIPT = """
import os, morph
os.mkfifo("pipe.3dvTemplate")
for call in (lambda: morph.Embryo.load("pipe.3dvTemplate"), lambda: morph.Embryo.load("pipe.3dvTemplate", "vtp"),
             lambda: morph.Embryo.from_template("pipe.3dvTemplate", morph.Settings.example()),
             lambda: morph.Embryo.from_seed(1, seed_file="pipe.3dvTemplate"),
             lambda: morph.Embryo.load("pipe.3dvTemplate", "checkpoint")):
    try:
        call()
    except OSError as refused:
        print(refused)
"""


def test_a_named_pipe_is_refused_at_once(work):
    done = subprocess.run([sys.executable, "-c", PIPE_SCRIPT], capture_output=True, text=True, cwd=work, timeout=60)
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines() == ["pipe.3dvTemplate: is not a regular file"] * 4 + [
        "pipe.3dvTemplate: cannot read the checkpoint: not a regular file"]


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


# The store of a morphseed embryo cannot be had: the failure is the module's CapacityError.
SEED_MEMORY_SCRIPT = """
import resource, morph
kept = morph.Embryo.from_seed(1)
size = int(open("/proc/self/statm").read().split()[0]) * resource.getpagesize()
resource.setrlimit(resource.RLIMIT_AS, (size + (1 << 20), resource.RLIM_INFINITY))
try:
    morph.Embryo.from_seed(1)
except MemoryError as failure:
    print(type(failure).__name__, failure)
"""


@pytest.mark.skipif(os.environ.get("MORPH_SANITIZED") == "1", reason="the sanitizer's shadow memory needs more address space than any limit leaves")
def test_memory_running_out_in_from_seed_is_a_capacity_error(work):
    done = subprocess.run([sys.executable, "-c", SEED_MEMORY_SCRIPT], capture_output=True, text=True, cwd=work)
    assert (done.returncode, done.stdout) == (0, "CapacityError out of memory\n"), done.stderr


@pytest.mark.parametrize("call, note", [
    (lambda: morph.Embryo.from_template("result.3dv", morph.Settings.example()),
     "result.3dv: is a 3DV result, not a template; templates end in .3dvTemplate or are written with -t 1"),
    (lambda: morph.Embryo.load("text.vtp"), "text.vtp: is not a VTK XML file; snapshots (.vtp) and series"),
    (lambda: morph.Embryo.from_template("zero.3dv", morph.Settings.example()), None),
    (lambda: morph.Embryo.load("bad.vtp"), None),
])
def test_the_programs_hints_are_notes_of_their_exceptions(work, call, note):
    morph.Embryo.from_seed(1000).write("result.3dv")
    (work / "text.vtp").write_text("vertices 12\n")
    (work / "zero.3dv").write_text("0\n0\n")
    (work / "bad.vtp").write_text("<VTKFile")
    with pytest.raises(ValueError) as raised:
        call()
    notes = getattr(raised.value, "__notes__", [])
    assert notes[0].startswith(note) if note else notes == []
    assert "\n" not in str(raised.value)  # the message stays the program's first line


def test_the_example_settings_are_the_first_point_of_the_planners_example():
    text = subprocess.run([os.environ["MORPH_BUILD"] + "/morphsweep/morphsweep-plan", "--help"],
                          capture_output=True, text=True, check=True).stdout
    example = dict(re.findall(r"^  (\w+) += (\S+?)[,:\s]", text.split("Example:", 1)[1].split("then:", 1)[0] + "\n", re.M))
    settings = morph.Settings.example(attraction=-7)
    for name in ("redLifespan", "redThreshold", "redSecretor", "greenSecretor", "blueSecretor", "repulsion"):
        assert getattr(settings, re.sub("([A-Z])", r"_\1", name).lower()) == int(example[name]), name
    assert settings.attraction == -7 and morph.Settings(**{
        re.sub("([A-Z])", r"_\1", k).lower(): int(v) for k, v in example.items()
        if k not in ("inputTemplate", "growthCycles", "modificationCount", "templateSwitch")}) != settings
