#!/usr/bin/env python3
"""Runs the examples of the manual's pages and compares what they print with the page.

A fenced block tagged `console`: each line beginning with `$ ` is a shell command (lines
beginning with `> ` continue it, as the shell's second prompt shows them), and the lines up
to the next command are what it prints, standard output and error together. A line holding
only `...` stands for any number of lines, and `[varies]` within a line for any text.
A block tagged `pycon` runs as a doctest (ELLIPSIS on). A block preceded by the line
`<!-- not-run: reason -->` is left alone. Every block of a page runs in one scratch folder
(with a copy of examples/), in page order, in one shell and one Python namespace, with the
build's programs and tools on PATH and the source tree as $MORPH_SRC.

usage: examples.py --source DIR --build DIR [PAGE.md...]   (default: README.md, docs/**/*.md)
Prints page:line and the difference at the first mismatch of each page; status 1 if any.
"""
import argparse
import doctest
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

FENCE = re.compile(r"^(\s*)(```+|~~~+)\s*([\w-]*)")
NOT_RUN = re.compile(r"^\s*<!--\s*not-run:\s*\S.*-->\s*$")
COMMAND_TIMEOUT = 120


class Block:
    def __init__(self, kind, line, lines):
        self.kind, self.line, self.lines = kind, line, lines  # line: 1-based, first line inside the fence


def blocks(text):
    """The console and pycon blocks of a page that are to run, in page order."""
    found, lines, i = [], text.split("\n"), 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            i += 1
            continue
        indent, fence, tag = m.groups()
        body, j = [], i + 1
        while j < len(lines) and not (lines[j].strip().startswith(fence) and lines[j].strip().strip(fence[0]) == ""):
            body.append(lines[j][len(indent):] if lines[j].startswith(indent) else lines[j].lstrip())
            j += 1
        previous = next((lines[k] for k in range(i - 1, -1, -1) if lines[k].strip()), "")
        if tag in ("console", "pycon") and not NOT_RUN.match(previous):
            found.append(Block(tag, i + 2, body))
        i = j + 1
    return found


def commands(block):
    """(line, command, expected output lines) of a console block."""
    result = []
    for offset, line in enumerate(block.lines):
        if line.startswith("$ "):
            result.append([block.line + offset, line[2:], []])
        elif line.startswith("> ") and result and not result[-1][2]:
            result[-1][1] += "\n" + line[2:]
        elif result:
            result[-1][2].append(line)
        elif line.strip():
            raise ValueError(f"line {block.line + offset}: output before the first '$ ' command")
    while result and result[-1][2] and not result[-1][2][-1].strip():
        result[-1][2].pop()  # blank lines at the block's end
    return result


def line_matches(expected, actual):
    pattern = "".join(".*" if part == "[varies]" else re.escape(part) for part in re.split(r"(\[varies\])", expected))
    return re.fullmatch(pattern, actual) is not None


def matches(expected, actual):
    """Whether the actual lines are what the expected ones show, `...` taking any lines."""
    memo = {}

    def go(i, j):
        if (i, j) not in memo:
            if i == len(expected):
                memo[i, j] = j == len(actual)
            elif expected[i] == "...":
                memo[i, j] = any(go(i + 1, k) for k in range(j, len(actual) + 1))
            else:
                memo[i, j] = j < len(actual) and line_matches(expected[i], actual[j]) and go(i + 1, j + 1)
        return memo[i, j]

    return go(0, 0)


class Shell:
    """One bash for a page: cd and variables carry from one command to the next."""

    def __init__(self, folder, environment, outputs):
        self.outputs = outputs
        self.process = subprocess.Popen(["bash", "--noprofile", "--norc"], cwd=folder, env=environment,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.count = 0

    def run(self, command):
        self.count += 1
        out = self.outputs / f"{self.count}.out"
        self.process.stdin.write(f"{{\n{command}\n}} >{out} 2>&1 </dev/null\necho \"done $?\"\n")
        self.process.stdin.flush()
        ready, _, _ = select.select([self.process.stdout], [], [], COMMAND_TIMEOUT)
        if not ready:
            self.process.kill()
            raise TimeoutError(f"no end after {COMMAND_TIMEOUT} s")
        status = self.process.stdout.readline().split()
        if not status:
            raise RuntimeError("the shell ended (did a command exit?)")
        return int(status[1]), out.read_text(errors="replace")

    def close(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            self.process.wait()


def check_page(page, source, build, report):
    """Runs a page's blocks; reports its first mismatch. True when every block matched."""
    shown = os.path.relpath(page, source)
    found = blocks(page.read_text())
    if not found:
        return True
    path = [str(build / d) for d in ("morphseed", "morphsweep", "morphview", "morphstats")]
    environment = {**os.environ, "PATH": os.pathsep.join(path + [os.environ.get("PATH", "")]),
                   "MORPH_SRC": str(source), "LC_ALL": "C.UTF-8", "COLUMNS": "80"}
    environment.pop("OMP_NUM_THREADS", None)
    with tempfile.TemporaryDirectory(prefix="docs-example.") as scratch:
        folder, outputs = Path(scratch) / "work", Path(scratch) / "outputs"
        folder.mkdir()
        if (source / "examples").is_dir():
            shutil.copytree(source / "examples", folder / "examples")
        outputs.mkdir()
        shell = Shell(folder, environment, outputs)
        namespace = {"__name__": "__page__"}
        here = os.getcwd()
        try:
            for block in found:
                if block.kind == "console":
                    for line, command, expected in commands(block):
                        status, printed = shell.run(command)
                        actual = printed.split("\n")
                        if actual and actual[-1] == "":
                            actual.pop()
                        if not matches(expected, actual):
                            report(f"{shown}:{line}: the output of `{command.splitlines()[0]}` (status {status})"
                                   " differs from the page\n--- page\n" + "\n".join(expected) +
                                   "\n--- printed\n" + "\n".join(actual))
                            return False
                else:
                    os.chdir(folder)
                    if build / "python" not in map(Path, sys.path):
                        sys.path.insert(0, str(build / "python"))
                    test = doctest.DocTestParser().get_doctest("\n".join(block.lines), namespace, shown, str(page),
                                                              block.line - 1)
                    failures = []
                    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
                    # The page's programs for the Python that runs them too; names carry on to
                    # the page's next block (a doctest works on a copy of its globals).
                    saved = dict(os.environ)
                    os.environ.update(environment)
                    try:
                        runner.run(test, out=failures.append, clear_globs=False)
                    finally:
                        os.environ.clear()
                        os.environ.update(saved)
                    namespace.update(test.globs)
                    if runner.failures:
                        report(f"{shown}:{block.line}: a Python example differs from the page\n" + "".join(failures))
                        return False
        except (TimeoutError, RuntimeError, ValueError) as error:
            report(f"{shown}: {error}")
            return False
        finally:
            os.chdir(here)
            shell.close()
    return True


def pages(source):
    return [source / "README.md"] + sorted((source / "docs").rglob("*.md"))


def main(argv):
    parser = argparse.ArgumentParser(description="Runs the examples of the manual's pages.")
    parser.add_argument("--source", type=Path, required=True)
    parser.add_argument("--build", type=Path, required=True)
    parser.add_argument("page", type=Path, nargs="*")
    args = parser.parse_args(argv)
    source, build = args.source.resolve(), args.build.resolve()
    good = True
    for page in [p.resolve() for p in args.page] or pages(source):
        start = time.monotonic()
        ok = check_page(page, source, build, lambda text: print(text, file=sys.stderr))
        print(f"{os.path.relpath(page, source)}: {'ok' if ok else 'FAILED'} ({time.monotonic() - start:.1f} s)")
        good &= ok
    return 0 if good else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
