# The manual's checks (tests/docs/) on pages made up for them: what the example runner
# matches and runs, where it reports a mismatch, and what the path, table and site checks
# refuse.
import stat
import sys

import pytest

from conftest import SOURCE

sys.path.insert(0, str(SOURCE / "tests" / "docs"))
import checks  # noqa: E402
import examples  # noqa: E402


@pytest.mark.parametrize("expected, actual, result", [
    (["a", "b"], ["a", "b"], True),
    (["a", "b"], ["a", "b", "c"], False),
    (["a", "...", "d"], ["a", "b", "c", "d"], True),
    (["a", "...", "d"], ["a", "d"], True),
    (["a", "...", "d"], ["a", "b"], False),
    (["seed: [varies] done"], ["seed: 17 ... done"], True),
    (["seed: [varies]"], ["seed 17"], False),
    (["a.b"], ["axb"], False),  # the page's text is literal, not a pattern
    ([], [], True),
])
def test_the_output_matches_what_the_page_shows(expected, actual, result):
    assert examples.matches(expected, actual) is result


PAGE = """# A page

```console
$ echo one
one
$ cat > f <<'EOF'
> two
> EOF
$ cat f
two
```

<!-- not-run: it would take an hour -->
```console
$ false
never compared
```

```pycon
>>> import os
>>> text = open("f").read().strip()
>>> print(text)
two
```

```pycon
>>> print(text, os.environ["MORPH_SRC"] != "")
two True
```
"""


def test_a_page_runs_in_order_in_one_folder_and_skips_what_is_marked(tmp_path):
    page = tmp_path / "page.md"
    page.write_text(PAGE)
    found = examples.blocks(PAGE)
    # A page's Python blocks share their names and see the page's environment.
    assert [(b.kind, b.line) for b in found] == [("console", 4), ("pycon", 20), ("pycon", 27)]
    assert [c[1:] for c in examples.commands(found[0])] == [
        ["echo one", ["one"]], ["cat > f <<'EOF'\ntwo\nEOF", []], ["cat f", ["two"]]]
    reports = []
    assert examples.check_page(page, SOURCE, tmp_path, reports.append), reports


@pytest.mark.parametrize("body, where", [
    ("```console\n$ echo one\ntwo\n```\n", "page.md:2: the output of `echo one`"),
    ("```console\n$ cd /tmp\n$ pwd\n/\n```\n", "page.md:3: the output of `pwd`"),
    ("```pycon\n>>> 1 + 1\n3\n```\n", "page.md:2: a Python example differs"),
])
def test_the_first_mismatch_is_reported_with_its_page_and_line(tmp_path, body, where):
    page = tmp_path / "page.md"
    page.write_text(body)
    reports = []
    assert not examples.check_page(page, tmp_path, tmp_path, reports.append)
    assert len(reports) == 1 and reports[0].startswith(where), reports


def test_paths_the_pages_name_must_exist(tmp_path):
    (tmp_path / "docs").mkdir()
    (tmp_path / "core").mkdir()
    (tmp_path / "core" / "a.h").write_text("")
    (tmp_path / "README.md").write_text("`core/a.h`, `core/a.*`, `build/x`, `day/m`, `core/<name>.h`\n"
                                        "`core/gone.h` and [a](docs/none.md)\n")
    (tmp_path / "docs" / "p.md").write_text("```\n`core/gone.h`\n```\n[up](../README.md)\n")
    assert checks.check_paths(tmp_path) == [
        "README.md:2: `core/gone.h` names no file of the repository",
        "README.md:2: the link 'docs/none.md' leads to no file",
        "docs/p.md:4: the link '../README.md' leaves docs/; name the path in backticks"]


def test_the_parameter_table_is_the_planners(tmp_path):
    plan = tmp_path / "plan"
    plan.write_text("#!/bin/sh\nprintf 'name\\tx\\nred\\t-t 0|1\\nblue\\tb\\n'\n")
    plan.chmod(plan.stat().st_mode | stat.S_IEXEC)
    (tmp_path / "docs").mkdir()
    page = tmp_path / "docs" / "model.md"
    table = checks.markdown_table("name\tx\nred\t-t 0|1\nblue\tb\n")
    assert table.split("\n")[2] == "| `red` | -t 0\\|1 |  |"
    page.write_text(f"{checks.PARAMETER_TABLE}\n\n{table.replace(' |  |', ' | 1 |')}\n")
    assert checks.check_parameters(tmp_path, str(plan)) == []
    page.write_text(f"{checks.PARAMETER_TABLE}\n{table.replace('-t 0', '-t 1').replace(' |  |', ' | 1 |')}\n")
    assert checks.check_parameters(tmp_path, str(plan))[0].startswith("docs/model.md:4: the row of red")
    page.write_text(f"{checks.PARAMETER_TABLE}\n{table}\n")
    assert checks.check_parameters(tmp_path, str(plan)) == [
        "docs/model.md:4: red has no example value", "docs/model.md:5: blue has no example value"]


def test_the_site_loads_nothing_from_elsewhere_and_its_anchors_exist(tmp_path):
    (tmp_path / "a.html").write_text('<h1 id="top">A</h1><a href="b.html#here">b</a><a href="b.html#gone">b</a>'
                                     '<a href="https://example.org/">out</a><a href="c.html">c</a>'
                                     '<script src="https://cdn.example.org/x.js"></script>')
    (tmp_path / "b.html").write_text('<h2 id="here">B</h2><link rel="stylesheet" href="//fonts.example.org/f.css">'
                                     '<a href="a.html#top">a</a>')
    (tmp_path / "s.css").write_text("@import url('https://fonts.example.org/css');")
    assert sorted(checks.check_site(tmp_path)) == sorted([
        "a.html: loads <script src=https://cdn.example.org/x.js> from another site",
        "b.html: loads <link href=//fonts.example.org/f.css> from another site",
        "s.css: loads https://fonts.example.org/css from another site",
        "a.html: the link 'b.html#gone' names no anchor of its page",
        "a.html: the link 'c.html' leads to no page"])
