# The manual's install command puts a package that works on its own, and the manual's
# example prints on it exactly the lines the page shows; pip install builds the module for
# the Python that runs pip, with its types.
import os
import re
import shutil
import subprocess
import sys

from conftest import SOURCE, read, run


def page_example():
    """The Python page's example and its output: the code and the printed lines of its first
    pycon block after 'Then:'."""
    page = (SOURCE / "docs" / "python" / "index.md").read_text().split("Then:", 1)[1]
    block = page.split("```pycon\n", 1)[1].split("```", 1)[0].splitlines()
    code = [line[4:] for line in block if line.startswith((">>> ", "... "))]
    output = [line for line in block if not line.startswith((">>> ", "... "))]
    return "\n".join(code) + "\n", "\n".join(output) + "\n"


def test_the_installed_package_prints_the_pages_output(tmp_path):
    prefix = tmp_path / "prefix"
    subprocess.run(["cmake", "--install", os.environ["MORPH_BUILD"], "--component", "python", "--prefix", prefix],
                   check=True, capture_output=True)
    code, output = page_example()
    environment = {**os.environ, "PYTHONPATH": str(prefix / os.environ["MORPH_PYTHON_INSTALL_DIR"])}
    done = subprocess.run([sys.executable, "-c", "import morph; print(morph.__file__)\n" + code], cwd=tmp_path,
                          env=environment, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    where, printed = done.stdout.split("\n", 1)
    assert where.startswith(str(prefix)) and printed == output
    assert done.stderr == ""


GROW = """
import morph
embryo = morph.Embryo.from_seed(1000)
embryo.grow(14)
embryo.write("mine.3dv")
print(morph.__file__)
"""

# Read by mypy only: the installed package's types are those of its stub.
TYPED = """
import morph
reveal_type(morph.Embryo.from_seed(1).positions)
morph.Embryo.from_seed("1")
"""


def test_pip_builds_the_module_for_the_python_that_runs_it(work, tmp_path_factory):
    venv = tmp_path_factory.mktemp("venv")
    subprocess.run(["/usr/bin/python3", "-m", "venv", "--system-site-packages", venv], check=True)
    python = venv / "bin" / "python"
    environment = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    if shutil.which("ccache"):  # the objects of the tree's own build, where they are the same
        environment["CMAKE_ARGS"] = "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
    done = subprocess.run([python, "-m", "pip", "install", "--no-build-isolation", "--no-index", SOURCE],
                          env=environment, capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stdout[-3000:] + done.stderr
    grown = subprocess.run([python, "-c", GROW], env=environment, capture_output=True, text=True, check=True)
    assert grown.stdout.startswith(str(venv)) and grown.stderr == ""
    run("morphseed", "-s", 1000, "-b", 1, 14)
    assert read("mine.3dv") == read("embryo.1000.3dv")
    (work / "typed.py").write_text(TYPED)
    checked = subprocess.run(["/usr/bin/python3", "-m", "mypy", "--python-executable", python, "--no-incremental",
                              "typed.py"], env=environment, capture_output=True, text=True)
    assert 'numpy.ndarray[Any, numpy.dtype[numpy.floating[numpy._typing._32Bit]]]' in checked.stdout, checked.stdout
    assert 'Argument 1 to "from_seed" of "Embryo" has incompatible type "str"; expected "int"' in checked.stdout


def test_a_python_without_numpy_is_told_at_import():
    done = subprocess.run([sys.executable, "-c", "import sys; sys.modules['numpy'] = None; import morph"],
                          capture_output=True, text=True)
    assert done.returncode == 1
    assert done.stderr.splitlines()[-1].startswith(f"ImportError: morph needs numpy, which {sys.executable} cannot import")
