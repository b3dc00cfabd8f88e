# The manual's install command puts a package that works on its own, and the manual's
# example prints on it exactly the lines the page shows.
import os
import re
import subprocess
import sys

from conftest import SOURCE


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
