"""The CMake half of `pip install .`: builds the module's target for the Python running
pip and puts the compiled part and the bundled seed beside the package's Python files."""

import hashlib
import os
import re
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

SOURCE = Path(__file__).resolve().parent

# Without build isolation the packages that build are this Python's own: one that lacks them
# would fail with "invalid command 'bdist_wheel'" or the like.
try:
    import setuptools
    import wheel  # noqa: F401  (bdist_wheel, which pip calls)

    if int(setuptools.__version__.split(".")[0]) < 61:
        raise ImportError(f"setuptools {setuptools.__version__} is older than 61")
except ImportError as e:
    sys.exit(f"morph: {sys.executable} cannot build the module ({e}): pip install --no-build-isolation needs "
             "setuptools 61 or later and wheel in the Python that runs pip (Debian: python3-setuptools and "
             f"python3-wheel for /usr/bin/python3; for another Python `{sys.executable} -m pip install setuptools "
             "wheel numpy`, or let pip fetch them by leaving out --no-build-isolation)")

from setuptools import Extension, setup  # noqa: E402
from setuptools.command.build_ext import build_ext  # noqa: E402


def version():
    """The release CMakeLists.txt names, the one every program reports."""
    text = (SOURCE / "CMakeLists.txt").read_text()
    return re.search(r"project\(morph VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        if shutil.which("cmake") is None:
            sys.exit("morph: building the module needs CMake (scripts/install-deps.sh installs it)")
        # One folder per interpreter, kept for the next install, beside build/ in the tree so
        # that a compiler cache finds build/'s objects under the same relative paths.
        interpreter = os.path.realpath(sys.executable).encode()
        folder = SOURCE / f"build-python-{sys.implementation.cache_tag}-{hashlib.sha1(interpreter).hexdigest()[:8]}"
        # CMAKE_ARGS adds options (a compiler launcher, another generator), as other
        # CMake-driven packages take them.
        options = [f"-DPYTHON_EXECUTABLE={sys.executable}", "-DMORPH_TESTS=OFF",
                   *shlex.split(os.environ.get("CMAKE_ARGS", ""))]
        if shutil.which("ninja") and not any(o.startswith("-G") for o in options):
            options.append("-GNinja")
        subprocess.run(["cmake", "-S", str(SOURCE), "-B", str(folder), *options], check=True)
        subprocess.run(["cmake", "--build", str(folder), "--target", "morph_python"], check=True)
        built = folder / "python" / "morph"
        target = Path(self.get_ext_fullpath(ext.name)).parent
        target.mkdir(parents=True, exist_ok=True)
        shutil.copy2(built / Path(self.get_ext_filename(ext.name)).name, target)
        shutil.copy2(SOURCE / "morphseed" / "indexed_icosa", target)


setup(version=version(), ext_modules=[Extension("morph._morph", sources=[])], cmdclass={"build_ext": CMakeBuild},
      options={"build": {"build_base": "build-python"}})
