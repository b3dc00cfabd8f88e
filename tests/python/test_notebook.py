# The example notebook runs to its end in a fresh kernel, every plot drawn.
import os
import shutil

import pytest
from conftest import SOURCE

try:
    import nbclient
    import nbformat
except ImportError as e:
    pytest.fail(f"{e} (scripts/install-deps.sh --tests installs Jupyter's notebook runner)", pytrace=False)


def test_the_notebook_runs(tmp_path):
    notebook = nbformat.read(SOURCE / "examples" / "notebook.ipynb", as_version=4)
    shutil.copy(SOURCE / "examples" / "notebook.ipynb", tmp_path)
    # The kernel is a child of this process: it finds the module on the same PYTHONPATH.
    os.environ["PYDEVD_DISABLE_FILE_VALIDATION"] = "1"
    client = nbclient.NotebookClient(notebook, timeout=600, kernel_name="python3",
                                     resources={"metadata": {"path": str(tmp_path)}})
    client.execute()
    outputs = [o for cell in notebook.cells if cell.cell_type == "code" for o in cell.outputs]
    assert sum("image/png" in o.get("data", {}) for o in outputs) == 3
    printed = "".join(o.get("text", "") for o in outputs if o.output_type == "stream")
    assert "repulsion  1: sphericity" in printed and "repulsion 16: sphericity" in printed
