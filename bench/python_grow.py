#!/usr/bin/env python3
"""Growing an embryo from Python against morphseed growing it.

Usage: bench/python_grow.py <build folder> [runs, default 3] [cycles, default 44]

Grows morphseed's embryo of seed 20240607 (44 cycles: 10,097 vertices) as
`morphseed -s 20240607 -b 1 44` and as `Embryo.from_seed(20240607).grow(44)` followed by
writing its 3DV file, each in a fresh process, in alternation, with the same OpenMP
settings (OMP_NUM_THREADS as given, else the runtime's default; OMP_WAIT_POLICY as given,
else passive, the programs' own choice). Prints each run's wall and processor time, the
best of each side, their ratio, whether the files are identical, and the processor.
"""
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

SEED = 20240607


def timed(command, cwd, env):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    cycles = int(sys.argv[3]) if len(sys.argv) > 3 else 44
    env = {**os.environ, "OMP_WAIT_POLICY": os.environ.get("OMP_WAIT_POLICY", "passive"),
           "PYTHONPATH": os.path.join(build, "python")}
    work = tempfile.mkdtemp()
    shutil.copy(os.path.join(build, "run", "indexed_icosa"), work)
    program = [os.path.join(build, "morphseed", "morphseed"), "-s", str(SEED), "-b", "1", str(cycles)]
    script = (f"import morph\ne = morph.Embryo.from_seed({SEED}, seed_file='indexed_icosa')\n"
              f"e.grow({cycles})\ne.write('python.3dv')\n")
    python = [sys.executable, "-c", script]
    times = {"program": [], "python": []}
    for run in range(runs):
        for side, command in (("program", program), ("python", python)):
            wall, cpu = timed(command, work, env)
            print(f"run {run + 1} {side:7}: {wall:7.2f} s wall, {cpu:7.2f} s processor", flush=True)
            times[side].append((wall, cpu))
    # The best of each side, wall and processor time apart: on a shared machine the other
    # work lengthens runs, never shortens them.
    best = {side: (min(w for w, _ in t), min(c for _, c in t)) for side, t in times.items()}
    with open(os.path.join(work, "python.3dv"), "rb") as a, open(os.path.join(work, f"embryo.{SEED}.3dv"), "rb") as b:
        identical = a.read() == b.read()
    processor = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")), "?")
    print(f"best: program {best['program'][0]:.2f} s wall, {best['program'][1]:.2f} s processor; python "
          f"{best['python'][0]:.2f} s wall, {best['python'][1]:.2f} s processor; python/program "
          f"{best['python'][0] / best['program'][0]:.3f} wall, {best['python'][1] / best['program'][1]:.3f} processor; "
          f"files identical: {'yes' if identical else 'no'}")
    print(f"processor: {processor}; OMP_NUM_THREADS={os.environ.get('OMP_NUM_THREADS', 'default')}, "
          f"OMP_WAIT_POLICY={env['OMP_WAIT_POLICY']}; load average {os.getloadavg()[0]:.1f}")
    shutil.rmtree(work)


if __name__ == "__main__":
    main()
