# The README's install command puts a package that works on its own, and the README's
# example prints on it exactly the lines the README shows.
import os
import re
import subprocess
import sys

from conftest import SOURCE


def readme_example():
    """The Python section's example and its output: its first two indented blocks after 'Then:'."""
    section = (SOURCE / "README.md").read_text().split("\n## Python\n", 1)[1].split("\n## ", 1)[0]
    blocks = re.findall(r"((?:\n    [^\n]*|\n)+)", section.split("Then:", 1)[1])
    code, output = [b for b in blocks if b.strip()][:2]
    return [re.sub(r"^    ", "", line, flags=re.M).strip("\n") + "\n" for line in (code, output)]


def test_the_installed_package_prints_the_readmes_output(tmp_path):
    prefix = tmp_path / "prefix"
    subprocess.run(["cmake", "--install", os.environ["MORPH_BUILD"], "--component", "python", "--prefix", prefix],
                   check=True, capture_output=True)
    code, output = readme_example()
    environment = {**os.environ, "PYTHONPATH": str(prefix / os.environ["MORPH_PYTHON_INSTALL_DIR"])}
    done = subprocess.run([sys.executable, "-c", "import morph; print(morph.__file__)\n" + code], cwd=tmp_path,
                          env=environment, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    where, printed = done.stdout.split("\n", 1)
    assert where.startswith(str(prefix)) and printed == output
    assert done.stderr == ""
