#!/usr/bin/env python3
"""The manual's checks besides its examples (tests/docs/examples.py runs those).

  checks.py build --source DIR [--site DIR]   mkdocs build --strict; every link and anchor
                                              resolves; no script, stylesheet or font from
                                              another site
  checks.py paths --source DIR                every repository path a page names exists
  checks.py parameters --source DIR --plan P  the model guide's parameter table is the one
                                              `P --parameters` gives (--print: the table)

Exit status 0 when the check passes, 1 with page:line of each fault, 77 when mkdocs is
missing (the test is then skipped; scripts/install-deps.sh --tests installs it).
"""
import argparse
import glob
import html.parser
import os
import re
import subprocess
import sys
import tempfile
from pathlib import Path
from urllib.parse import unquote, urlsplit

SKIP = 77
PARAMETER_TABLE = "<!-- parameters: morphsweep-plan --parameters -->"


def pages(source):
    return [source / "README.md"] + sorted((source / "docs").rglob("*.md"))


def prose_lines(text):
    """(line number, line) outside fenced blocks: commands and outputs are the examples' part."""
    fence = None
    for number, line in enumerate(text.split("\n"), 1):
        m = re.match(r"\s*(```+|~~~+)(.*)$", line)
        if m and fence is None:
            fence = m.group(1)
        elif m and m.group(1)[0] == fence[0] and len(m.group(1)) >= len(fence) and not m.group(2).strip():
            fence = None
        elif fence is None:
            yield number, line


# -- paths ------------------------------------------------------------------------------

def named_paths(line):
    """The repository paths a line names: spans in backticks and the targets of links."""
    spans = re.findall(r"`([^`\s]+)`", line)
    links = re.findall(r"\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)", line)
    return spans, links


def repository_path(span, top):
    """The span as a path into the tree, or None when it names no file of the repository
    (a command, a build product, a name in a run's folder, a placeholder)."""
    span = span.rstrip(".,:;")
    if span.startswith("./"):
        span = span[2:]
    first = span.split("/", 1)[0]
    if "/" not in span or first not in top or first.startswith("build") or re.search(r"[<>…{}$]|\.\.\.", span):
        return None
    return span


def check_paths(source):
    top = {p.name for p in source.iterdir() if not p.name.startswith(".")}
    faults = []
    for page in pages(source):
        shown = os.path.relpath(page, source)
        for number, line in prose_lines(page.read_text()):
            spans, links = named_paths(line)
            for span in spans:
                path = repository_path(span, top)
                if path and not glob.glob(str(source / path)):
                    faults.append(f"{shown}:{number}: `{span}` names no file of the repository")
            for link in links:
                parts = urlsplit(link)
                if parts.scheme or parts.netloc or not parts.path:
                    continue
                target = (page.parent / unquote(parts.path)).resolve()
                if not target.exists():
                    faults.append(f"{shown}:{number}: the link '{link}' leads to no file")
                elif page.parent.name == "docs" or source / "docs" in page.parents:
                    if source / "docs" not in target.parents:
                        faults.append(f"{shown}:{number}: the link '{link}' leaves docs/; name the path in backticks")
    return faults


# -- the site ---------------------------------------------------------------------------

class Links(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids, self.hrefs, self.external = set(), [], []

    def handle_starttag(self, tag, attributes):
        a = dict(attributes)
        if "id" in a:
            self.ids.add(a["id"])
        if tag == "a" and a.get("name"):
            self.ids.add(a["name"])
        if tag == "a" and a.get("href"):
            self.hrefs.append(a["href"])
        for attribute in ("src", "href"):
            value = a.get(attribute) or ""
            loads = tag in ("script", "img", "iframe", "source") or (tag == "link" and attribute == "href")
            if loads and re.match(r"(https?:)?//", value):
                self.external.append(f"<{tag} {attribute}={value}>")


# Pages the docs target writes beside the site (the executed notebook): a site built
# without them keeps its links to them.
GENERATED = {"python/notebook.html"}


def check_site(site):
    faults, parsed = [], {}
    for page in sorted(site.rglob("*.html")):
        p = Links()
        p.feed(page.read_text(errors="replace"))
        parsed[page] = p
        faults += [f"{page.relative_to(site)}: loads {e} from another site" for e in p.external]
    for style in sorted(site.rglob("*.css")):
        for url in re.findall(r"(?:@import\s+(?:url\()?|url\()\s*['\"]?((?:https?:)?//[^'\")\s]+)", style.read_text(errors="replace")):
            faults.append(f"{style.relative_to(site)}: loads {url} from another site")
    for page, p in parsed.items():
        if page.name == "404.html":
            continue  # its links start at the server's root, wherever the site is served
        for href in p.hrefs:
            parts = urlsplit(href)
            if parts.scheme or parts.netloc or href.startswith("mailto:"):
                continue
            target = page if not parts.path else (page.parent / unquote(parts.path)).resolve()
            if target.is_dir():
                target = target / "index.html"
            if not target.exists() and os.path.relpath(target, site.resolve()) in GENERATED:
                print(f"note: {page.relative_to(site)} links to {href}, which the docs target writes and this build has not")
            elif not target.exists():
                faults.append(f"{page.relative_to(site)}: the link '{href}' leads to no page")
            elif parts.fragment and target.suffix == ".html":
                if target not in parsed:
                    continue
                if unquote(parts.fragment) not in parsed[target].ids:
                    faults.append(f"{page.relative_to(site)}: the link '{href}' names no anchor of its page")
    return faults


def build_site(source, site):
    try:
        import mkdocs  # noqa: F401
    except ImportError:
        print("skipped: mkdocs is not installed (scripts/install-deps.sh --tests installs it)")
        return SKIP
    done = subprocess.run([sys.executable, "-m", "mkdocs", "build", "--strict", "--clean", "-q",
                           "-f", str(source / "mkdocs.yml"), "-d", str(site)], capture_output=True, text=True)
    if done.returncode != 0:
        print(f"mkdocs build --strict failed:\n{done.stdout}{done.stderr}", file=sys.stderr)
        return 1
    faults = check_site(site)
    for fault in faults:
        print(fault, file=sys.stderr)
    return 1 if faults else 0


# -- parameters -------------------------------------------------------------------------

def cells(row):
    return [re.sub(r"`([^`]*)`", r"\1", c.strip()).replace("\\|", "|") for c in re.split(r"(?<!\\)\|", row.strip())[1:-1]]


def markdown_table(tsv):
    """The guide's table of the planner's rows: its columns, then an example column to fill."""
    rows = [line.split("\t") for line in tsv.rstrip("\n").split("\n")]
    head = ["parameter", "morphsweep", "morphseed", "range", "in morphsweep", "in morphseed", "meaning"]
    code = {0}
    out = ["| " + " | ".join(head + ["example"]) + " |", "|" + "---|" * (len(head) + 1)]
    for r in rows[1:]:
        shown = [(f"`{c}`" if i in code and c else c).replace("|", "\\|") for i, c in enumerate(r)]
        out.append("| " + " | ".join(shown + [""]) + " |")
    return "\n".join(out)


def check_parameters(source, plan):
    done = subprocess.run([plan, "--parameters"], capture_output=True, text=True, check=True)
    rows = [line.split("\t") for line in done.stdout.rstrip("\n").split("\n")][1:]
    page = source / "docs" / "model.md"
    text = page.read_text()
    if PARAMETER_TABLE not in text:
        return [f"docs/model.md: no line '{PARAMETER_TABLE}' before the parameter table"]
    lines = text.split("\n")
    marker = next(i for i, line in enumerate(lines) if PARAMETER_TABLE in line)
    first = next((i for i in range(marker + 1, len(lines)) if lines[i].strip()), len(lines))
    table = []
    for line in lines[first:]:
        if not line.startswith("|"):
            break
        table.append(line)
    faults = []
    shown = [cells(line) for line in table[2:]]
    for number, (want, have) in enumerate(zip(rows, shown), first + 3):
        if have[:len(want)] != want:
            faults.append(f"docs/model.md:{number}: the row of {have[0] if have else '?'} is not the planner's:"
                          f"\n  page:    {have}\n  planner: {want}")
        elif len(have) != len(want) + 1 or not have[-1]:
            faults.append(f"docs/model.md:{number}: {want[0]} has no example value")
    if len(shown) != len(rows):
        faults.append(f"docs/model.md:{first + 1}: the table has {len(shown)} rows, the planner {len(rows)}")
    return faults


def main(argv):
    parser = argparse.ArgumentParser(description="The manual's checks.")
    parser.add_argument("check", choices=["build", "paths", "parameters"])
    parser.add_argument("--source", type=Path, required=True)
    parser.add_argument("--site", type=Path)
    parser.add_argument("--plan")
    parser.add_argument("--print", action="store_true")
    args = parser.parse_args(argv)
    source = args.source.resolve()
    if args.check == "build":
        if args.site:
            return build_site(source, args.site.resolve())
        with tempfile.TemporaryDirectory(prefix="docs-site.") as site:
            return build_site(source, Path(site))
    if args.check == "parameters" and args.print:
        print(markdown_table(subprocess.run([args.plan, "--parameters"], capture_output=True, text=True,
                                            check=True).stdout))
        return 0
    faults = check_paths(source) if args.check == "paths" else check_parameters(source, args.plan)
    for fault in faults:
        print(fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
