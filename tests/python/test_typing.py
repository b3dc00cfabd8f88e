# The module's types: the stub shipped beside it says what the module holds (mypy's stubtest
# compares them), and the signatures help() shows name their types, never a bare object.
import inspect
import subprocess
import sys

import morph
import morph._morph

# What pybind11 makes of every class and is no part of the types: its own metaclass, and
# the constructor that refuses Embryo() (embryos are made by from_seed, from_template, load).
ALLOWED = """
morph._morph.Embryo
morph._morph.Settings
morph._morph.Embryo.__init__
"""


def test_the_stub_holds_what_the_module_holds(tmp_path):
    (tmp_path / "allowed").write_text(ALLOWED)
    (tmp_path / "mypy.ini").write_text("[mypy]\nignore_missing_imports = True\n")
    done = subprocess.run([sys.executable, "-m", "mypy.stubtest", "--concise", "--allowlist", tmp_path / "allowed",
                           "--mypy-config-file", tmp_path / "mypy.ini", "morph._morph"],
                          capture_output=True, text=True)
    # Each line names a member the stub (python/morph/_morph.pyi) and the module disagree on.
    assert done.returncode == 0, "python/morph/_morph.pyi differs from the module:\n" + done.stdout + done.stderr


def test_signatures_name_their_types():
    untyped = []
    for owner in (morph.Embryo, morph.Settings):
        for name, member in vars(owner).items():
            # Embryo() is refused: embryos are made by its static methods.
            if name.startswith("_") and (name, owner) != ("__init__", morph.Settings):
                continue
            function = member.fget if isinstance(member, property) else member
            function = getattr(function, "__func__", function)
            if inspect.isfunction(function):  # the package's own Python, typed by annotations
                signature = inspect.signature(function)
                unannotated = [p for p in signature.parameters.values()
                               if p.name != "self" and p.annotation is inspect.Parameter.empty]
                if unannotated or signature.return_annotation is inspect.Signature.empty:
                    untyped.append(f"{owner.__name__}.{name}: {signature}")
                continue
            first = (getattr(function, "__doc__", None) or "").split("\n", 1)[0]
            if "object" in first or "kwargs" in first or "->" not in first:
                untyped.append(f"{owner.__name__}.{name}: {first}")
    assert untyped == []
