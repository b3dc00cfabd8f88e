# The example notebook runs to its end in a fresh kernel, every plot drawn, the growth
# followed in one output updated in place, and its HTML page (scripts/notebook-html.py)
# shows the 3D views in a browser with nothing fetched from the network.
import importlib.util
import os
import re
import shutil
import subprocess

import pytest
from conftest import SOURCE

try:
    import nbclient  # noqa: F401
    import nbconvert  # noqa: F401
except ImportError as e:
    pytest.fail(f"{e} (scripts/install-deps.sh --tests installs Jupyter's notebook runner)", pytrace=False)

located = importlib.util.spec_from_file_location("notebook_html", SOURCE / "scripts" / "notebook-html.py")
notebook_html = importlib.util.module_from_spec(located)
located.loader.exec_module(notebook_html)

NETWORK = re.compile(r"<(?:script|link|img|iframe)\b[^>]*\b(?:src|href)\s*=\s*[\"']?\s*(?:https?:|file:)?//", re.I)


@pytest.fixture(scope="module")
def executed(tmp_path_factory):
    return notebook_html.execute(os.environ["MORPH_BUILD"], tmp_path_factory.mktemp("notebook"))


def test_the_notebook_runs_and_becomes_an_offline_page(executed):
    cells = [cell for cell in executed.cells if cell.cell_type == "code"]
    outputs = [o for cell in cells for o in cell.outputs]
    shown = [o.get("data", {}) for o in outputs if o.output_type in ("display_data", "execute_result")]
    views = [d for d in shown if d.get("text/html", "").startswith("<iframe ")]
    # The new embryo, its growth's last state, the series; each with a picture beside it but the series' table.
    assert len(views) == 3 and sum("image/png" in d for d in views) == 3
    (growth,) = [cell for cell in cells if "view=4" in cell.source]
    assert [o.output_type for o in growth.outputs if o.output_type != "stream"] == ["display_data"]
    progress = "".join(o.text for o in growth.outputs if o.output_type == "stream" and o.name == "stderr")
    assert "20/20" in progress and "cycle=20" in progress
    # ... and the plots: the history, the morphogen, two futures, the sweep's grid.
    assert sum("image/png" in d for d in shown) == 7 and any("<table" in d.get("text/html", "") for d in shown)
    printed = "".join(o.get("text", "") for o in outputs if o.output_type == "stream" and o.name == "stdout")
    assert "repulsion  1: sphericity" in printed and "repulsion 16: sphericity" in printed
    # The growth sweep's nine points grew, and their shares name what shaped them.
    (table,) = [d["text/html"] for d in shown if "redThreshold" in d.get("text/html", "")]
    assert table.count(">ok<") == 9 and "corners: Hausdorff" in printed
    assert re.search(r"redThreshold explains [0-9.]+% of the variance of sphericity", printed)
    page = notebook_html.page(executed)
    assert page.count("<iframe ") == 3 and "srcdoc=" in page and not NETWORK.search(page)


def test_its_page_shows_the_views_in_a_browser(executed, tmp_path):
    if not (shutil.which("node") and os.path.exists("/usr/bin/chromium")
            and (SOURCE / "node_modules" / "puppeteer-core").is_dir()):
        pytest.skip("Chromium, Node.js or puppeteer-core is missing (scripts/install-deps.sh --tests installs them)")
    (tmp_path / "notebook.html").write_text(notebook_html.page(executed), encoding="utf-8")
    done = subprocess.run(["node", SOURCE / "tests" / "report" / "notebook_view_test.mjs", tmp_path / "notebook.html",
                           "3"], capture_output=True, text=True, timeout=170)
    assert done.returncode == 0, done.stdout + done.stderr
