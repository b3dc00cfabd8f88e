# morph.sweep: the files sweep-run.sh writes for the same points, its table's numbers, the
# same DataFrame from a local Dask cluster, failures as rows, and an interrupt that keeps
# the finished rows.
import csv
import io
import json
import os
import signal
import subprocess
import sys
import time

import morph
import pandas
import pytest
from conftest import SOURCE, read

BUILD = os.environ["MORPH_BUILD"]
EXAMPLE = {"inputTemplate": "start.3dv", "growthCycles": [1, 2], "modificationCount": 1, "templateSwitch": 1,
           "redLifespan": 40, "redThreshold": 120, "redSecretor": 5, "greenLifespan": 40, "greenThreshold": 120,
           "greenSecretor": 17, "blueLifespan": 40, "blueThreshold": 120, "blueSecretor": 33,
           "repulsion": [1, 16], "attraction": 4}


def definition_text(given):
    return "".join(f"{k} = {', '.join(map(str, v)) if isinstance(v, list) else v}\n" for k, v in given.items())


def test_points_write_sweep_runs_files_and_rows_with_its_numbers(work, tmp_path_factory):
    table = morph.sweep(EXAMPLE)
    assert list(table.point) == [1, 2, 3, 4] and set(table.status) == {"ok"}
    assert list(zip(table.growthCycles, table.repulsion)) == [(1, 1), (1, 16), (2, 1), (2, 16)]
    other = tmp_path_factory.mktemp("sweep-run")
    (other / "start.3dv").write_bytes(read(work / "start.3dv"))
    (other / "sweep.def").write_text(definition_text(EXAMPLE))
    with open(other / "manifest", "w") as manifest:
        subprocess.run([f"{BUILD}/morphsweep/morphsweep-plan", "sweep.def"], cwd=other, stdout=manifest, check=True)
    subprocess.run([SOURCE / "scripts" / "sweep-run.sh", "--build", BUILD, "--no-sheet", "manifest"], cwd=other,
                   check=True, capture_output=True)
    written = sorted(f for f in os.listdir(work) if f.startswith("start.3dv."))
    assert len(written) == 12 and sorted(os.path.basename(f) for fs in table.files for f in fs) == written
    for name in written:
        assert read(work / name) == read(other / name), name
    with open(other / "manifest.csv") as f:
        expected = list(csv.DictReader(f))
    for row, theirs in zip(table.itertuples(), expected):
        assert os.path.basename(row.result) == os.path.basename(theirs["file"])
        for measure in ("vertices", "area", "volume", "sphericity", "angleDefect"):
            assert getattr(row, measure) == pytest.approx(float(theirs[measure]), rel=1e-15)
    # The notebook's shares of this table are morphstats' own for the same sweep, medoid included.
    done = subprocess.run([f"{BUILD}/morphstats/morphstats", "--effects", "manifest"], cwd=other, check=True,
                          capture_output=True, text=True)
    theirs = pandas.read_csv(io.StringIO(done.stdout), keep_default_na=False)
    ours = morph.effects(table)
    assert "medoidDistance" in set(ours.measure) and "shares" in set(ours.outcome)
    mine = {(r.measure, r.parameter): (r.outcome, r.firstOrder, r.sentence) for r in ours.itertuples()}
    for r in theirs.itertuples():
        outcome, first, sentence = mine[(r.measure, r.parameter)]
        assert (outcome, sentence) == (r.outcome, r.sentence)
        if outcome == "shares":
            assert first == pytest.approx(float(r.firstOrder), rel=1e-6)


def test_a_local_dask_cluster_gives_the_same_dataframe(work):
    distributed = pytest.importorskip("distributed")
    local = morph.sweep(EXAMPLE, jobs=2)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            remote = morph.sweep(EXAMPLE, executor=client)
    pandas.testing.assert_frame_equal(remote, local)


def test_failures_are_rows_and_a_bad_definition_is_refused(work):
    morph.Embryo.from_seed(1000).write("result.3dv")
    table = morph.sweep({**EXAMPLE, "inputTemplate": ["start.3dv", "result.3dv"], "growthCycles": 1,
                         "repulsion": 1})
    assert list(table.status) == ["ok", "failed"] and table.message[0] == ""
    assert table.message[1].startswith("morphsweep: result.3dv: vertex 0:")  # its messages, not its progress
    assert "result.3dv: is a 3DV result, not a template" in table.message[1]
    assert table.files[1] == () and pandas.isna(table.sphericity[1])
    for given, kind, message in [
        ({**EXAMPLE, "redThreshold": 256}, ValueError, "definition:6: redThreshold: 256 is outside 0..255"),
        ({k: v for k, v in EXAMPLE.items() if k != "attraction"}, ValueError, "attraction"),
        ({**EXAMPLE, "inputTemplate": "a,b"}, ValueError, "inputTemplate: 'a,b' holds a comma"),
        ({**EXAMPLE, "repulsion": 1.5}, TypeError, "repulsion: a value is a whole number or a file name, not float"),
    ]:
        with pytest.raises(kind, match=message):
            morph.sweep(given)
    with pytest.raises(ValueError, match="jobs"):
        morph.sweep(EXAMPLE, jobs=0)
    with pytest.raises(FileNotFoundError, match="morphsweep-plan is missing; build first"):
        morph.sweep(EXAMPLE, build=work)


INTERRUPTED = """
import json, morph, warnings
warnings.simplefilter("ignore")
table = morph.sweep({given!r}, jobs=1)
print(json.dumps([list(table.status), list(table.message)]))
"""


def test_an_interrupt_stops_the_running_point_and_keeps_the_finished_rows(work):
    given = {**EXAMPLE, "growthCycles": [1, 1000000], "repulsion": 1, "templateSwitch": 0}
    child = subprocess.Popen([sys.executable, "-c", INTERRUPTED.format(given=given)], stdout=subprocess.PIPE, text=True)
    first = work / "start.3dv.n1.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.4.kh.1.3dv"
    deadline = time.monotonic() + 60
    while not first.exists() and time.monotonic() < deadline:
        time.sleep(0.05)
    time.sleep(0.5)  # the long point is under way
    child.send_signal(signal.SIGINT)
    try:
        printed, _ = child.communicate(timeout=60)
    finally:
        child.kill()
    assert child.returncode == 0
    statuses, messages = json.loads(printed)
    assert statuses == ["ok", "failed"] and messages[1] == "interrupted before the point finished"
