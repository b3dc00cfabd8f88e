#!/usr/bin/python3
"""Runs the example notebook in a fresh kernel with a build's module and writes it, outputs
and all, as one HTML page for the documentation. The page loads no script of its own: the
notebook's 3D views carry three.js inside them.

usage: scripts/notebook-html.py BUILD [OUT.html]
  BUILD     the build folder whose python/ holds the module
  OUT.html  default docs/python/notebook.html of the source folder (replaced when complete)

Needs Jupyter's notebook runner and converter (scripts/install-deps.sh --tests).
"""
import os
import sys
import tempfile
from pathlib import Path

SOURCE = Path(__file__).resolve().parent.parent
NOTEBOOK = SOURCE / "examples" / "notebook.ipynb"

# Jupyter's lab page without the loaders of widgets (require.js) and of LaTeX (MathJax),
# which the notebook uses neither of and which would be fetched from elsewhere.
OFFLINE_TEMPLATE = """{%- extends 'lab/index.html.j2' -%}
{%- block html_head_js -%}{%- endblock html_head_js -%}
{%- block html_head_js_mathjax -%}{%- endblock html_head_js_mathjax -%}
"""


def execute(build, folder, notebook=NOTEBOOK):
    """The notebook run to its end in `folder`, its kernel importing the module of `build`."""
    import nbclient
    import nbformat

    os.environ["PYTHONPATH"] = os.pathsep.join(filter(None, [str(Path(build).resolve() / "python"),
                                                             os.environ.get("PYTHONPATH")]))
    os.environ["PYDEVD_DISABLE_FILE_VALIDATION"] = "1"
    executed = nbformat.read(notebook, as_version=4)
    client = nbclient.NotebookClient(executed, timeout=600, kernel_name="python3",
                                     resources={"metadata": {"path": str(folder)}})
    client.execute()
    return executed


def page(executed):
    """The executed notebook as one HTML page."""
    import jinja2
    from nbconvert import HTMLExporter

    exporter = HTMLExporter(extra_loaders=[jinja2.DictLoader({"offline.html.j2": OFFLINE_TEMPLATE})],
                            template_file="offline.html.j2")
    body, _ = exporter.from_notebook_node(executed, resources={"metadata": {"name": "Growing an embryo from Python"}})
    return body


def main(words):
    if len(words) not in (1, 2) or words[0].startswith("-"):
        sys.exit(__doc__.split("\n\n")[1])
    out = Path(words[1]) if len(words) == 2 else SOURCE / "docs" / "python" / "notebook.html"
    if out.is_symlink() or (out.exists() and not out.is_file()):
        sys.exit(f"{out}: not a regular file; the page replaces only one")
    with tempfile.TemporaryDirectory() as folder:
        text = page(execute(words[0], folder))
    out.parent.mkdir(parents=True, exist_ok=True)
    partial = out.with_name(f".{out.name}.tmp{os.getpid()}")
    try:
        partial.write_text(text, encoding="utf-8")
        os.replace(partial, out)
    except BaseException:
        partial.unlink(missing_ok=True)
        raise
    print(f"{out}: the executed notebook, {len(text)} bytes")


if __name__ == "__main__":
    main(sys.argv[1:])
