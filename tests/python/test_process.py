# The module within the life of a process: daemon threads still growing when the interpreter
# ends, and children made by fork. Each runs in a fresh interpreter with a time limit, so
# that a hang fails the test instead of holding up the run.
import os
import signal
import subprocess
import sys


def run_limited(script, cwd, env=None):
    """Runs `script` in a fresh interpreter and process group; a hang kills the whole group
    (a forked child too) and fails the test."""
    with subprocess.Popen([sys.executable, "-c", script], cwd=cwd, env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True, start_new_session=True) as process:
        try:
            out, err = process.communicate(timeout=120)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.communicate()
            raise AssertionError("still running after 120 s: hung") from None
    return process.returncode, out, err


# Threads that keep letting go of the interpreter lock and taking it back (every call that
# does so); the exit flushes standard output, which lets a thread ask for the lock while the
# interpreter ends.
DAEMONS_SCRIPT = """
import threading, time, morph
def grow_for_ever(k):
    while True:
        embryo = morph.Embryo.from_template("start.3dv", morph.Settings.example())
        embryo.grow(1)
        embryo.measures()
        embryo.write(f"{k}.3dv")
        morph.Embryo.load(f"{k}.3dv")
for k in range(4):
    threading.Thread(target=grow_for_ever, args=(k,), daemon=True).start()
time.sleep(1)
print("leaving")
"""


def test_daemon_threads_growing_at_exit_leave_a_normal_exit(work):
    for _ in range(2):
        assert run_limited(DAEMONS_SCRIPT, work) == (0, "leaving\n", "")


# The parent grows on two threads first, so the OpenMP runtime has its team when it forks.
FORK_SCRIPT = """
import multiprocessing, os, morph

def grown(seed):
    embryo = morph.Embryo.from_seed(seed)
    embryo.grow(30)
    embryo.write(f"{os.getpid()}.3dv")
    return open(f"{os.getpid()}.3dv", "rb").read()

if __name__ == "__main__":
    here = {seed: grown(seed) for seed in (1000, 1001)}
    assert all(int(first) > 1000 for first in (text.split()[0] for text in here.values()))
    child = os.fork()
    if child == 0:
        os._exit(0 if grown(1000) == here[1000] else 1)
    assert os.waitpid(child, 0)[1] == 0, "the forked child grew another embryo"
    with multiprocessing.get_context("fork").Pool(2) as pool:
        assert pool.map(grown, [1000, 1001]) == [here[1000], here[1001]]
    print("grown alike")
"""


def test_a_child_made_by_fork_grows_as_its_parent(work):
    status, out, err = run_limited(FORK_SCRIPT, work, env={**os.environ, "OMP_NUM_THREADS": "2"})
    assert (status, out) == (0, "grown alike\n"), err
