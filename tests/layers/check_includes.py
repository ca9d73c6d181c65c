#!/usr/bin/env python3
"""Checks the include graph of the source tree against cmake/layers.txt.

Every source file belongs to the folder it lies in. A quoted include of a file
in another folder is an edge between the two folders. The rules:
  - a folder includes only the folders its row of the table lists; that a
    library linked below makes more headers visible does not count;
  - the table's rows form no cycle;
  - a folder that cannot reach ui through the table includes no Qt header;
  - a quoted include without '/' names a file of the including file's folder;
    one with '/' names FOLDER/FILE from the top of the tree, and no file of
    that name lies below the including file's folder (the compiler would take
    that one first);
  - a generated header (FOLDER/NAME.h from FOLDER/NAME.h.in) is included only
    from its own folder;
  - no file includes <regex>: GCC 12 warns inside it when building with the
    address sanitizer, and the build treats warnings as errors.
The test folders sit on top: they may include any folder, under the same
rule for quoted includes, with tests/ as a second top.
With --graph the folder-level edges are printed, with the number of includes;
--self-test runs the checks on small trees of its own.
"""
import os
import re
import sys
import tempfile
from collections import Counter

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
TABLE = os.path.join("cmake", "layers.txt")
QT_FOLDER = "ui"
# Folders above every layer: the folder and the tops its quoted includes start from.
TOPS = {"tests": ("tests", ""), "bench": ("",), "fuzz": ("",)}
QT_INCLUDE = re.compile(r'#\s*include\s*<Q[A-Za-z]*(/[^>]*)?>')
LOCAL_INCLUDE = re.compile(r'#\s*include\s*"([^"]+)"')
REGEX_INCLUDE = re.compile(r'#\s*include\s*<regex>')


def read_table(root):
    """folder -> (target, [folders it includes directly])"""
    rows = {}
    with open(os.path.join(root, TABLE), encoding="utf-8") as f:
        for line in f:
            words = line.split("#", 1)[0].split()
            if words:
                rows[words[0]] = (words[1], words[2:])
    return rows


def reaches(rows, start, goal):
    seen, todo = set(), [start]
    while todo:
        folder = todo.pop()
        if folder == goal:
            return True
        if folder not in seen:
            seen.add(folder)
            todo.extend(rows.get(folder, ("", []))[1])
    return False


def files_under(root, folder, deep):
    full = os.path.join(root, folder)
    for here, dirs, names in os.walk(full):
        dirs.sort()
        for name in sorted(names):
            if name.endswith((".cpp", ".h")):
                yield os.path.join(here, name)
        if not deep:
            break


def check_quoted(root, path, target, tops, problems):
    """The rule for quoted includes; returns the folder included, or None."""
    rel = os.path.relpath(path, root)
    here = os.path.dirname(rel)
    if "/" not in target:
        if not os.path.isfile(os.path.join(root, here, target)):
            problems.append(f"{rel}: \"{target}\" is not a file of {here}; name its folder")
        return None
    if os.path.exists(os.path.join(root, here, target)):
        problems.append(f"{rel}: \"{target}\" would resolve below {here}; name it from the top")
        return None
    found = [top for top in tops if os.path.isfile(os.path.join(root, top, target))]
    generated = os.path.isfile(os.path.join(root, target + ".in"))
    if len(found) > 1:
        problems.append(f"{rel}: \"{target}\" names files in more than one top")
    elif not found and not generated:
        problems.append(f"{rel}: \"{target}\" names no file of the tree")
    elif generated and os.path.dirname(target) != here:
        problems.append(f"{rel}: \"{target}\" is generated for {os.path.dirname(target)} alone")
    return os.path.dirname(os.path.join(found[0], target)) if found else os.path.dirname(target)


def check(root):
    """Returns (problems, edges) for the tree at root."""
    rows = read_table(root)
    problems, edges = [], Counter()
    for folder, (_, allowed) in rows.items():
        for other in allowed:
            if other not in rows:
                problems.append(f"{TABLE}: {folder} includes {other}, which has no row")
            elif folder < other and reaches(rows, other, folder):
                problems.append(f"{TABLE}: {folder} and {other} reach each other")
    for folder, (_, allowed) in rows.items():
        qt = reaches(rows, folder, QT_FOLDER)
        for path in files_under(root, folder, deep=False):
            rel = os.path.relpath(path, root)
            with open(path, encoding="utf-8") as f:
                text = f.read()
            if not qt and QT_INCLUDE.search(text):
                problems.append(f"{rel}: {folder} includes Qt")
            if REGEX_INCLUDE.search(text):
                problems.append(f"{rel}: includes <regex>")
            for target in LOCAL_INCLUDE.findall(text):
                there = check_quoted(root, path, target, ("",), problems)
                if there is None or there == folder:
                    continue
                edges[(folder, there)] += 1
                if there not in allowed:
                    problems.append(f"{rel}: {folder} may not include {target} ({TABLE})")
    for top, starts in TOPS.items():
        for path in files_under(root, top, deep=True):
            with open(path, encoding="utf-8") as f:
                text = f.read()
            if REGEX_INCLUDE.search(text):
                problems.append(f"{os.path.relpath(path, root)}: includes <regex>")
            for target in LOCAL_INCLUDE.findall(text):
                check_quoted(root, path, target, starts, problems)
    return problems, edges


# The self-test's trees: files (path -> text) added to a small clean tree, and
# the start of the one problem expected (None: clean).
SELF_TABLE = "low lib_low\nmid lib_mid low\nmid/ui lib_mid_ui mid\ntop lib_top mid\n"
SELF_TREE = {
    "low/a.h": "", "mid/b.h": '#include "low/a.h"\n', "mid/ui/c.h": '#include "mid/b.h"\n',
    "top/d.cpp": '#include "mid/b.h"\n#include "d.h"\n', "top/d.h": "", "low/gen.h.in": "",
    "low/a.cpp": '#include "low/gen.h"\n', "tests/x/t.cpp": '#include "x/t.h"\n#include "mid/b.h"\n',
    "tests/x/t.h": "",
}
SELF_CASES = [
    ("clean", {}, None),
    ("upward", {"low/e.cpp": '#include "mid/b.h"\n'}, "low/e.cpp: low may not include"),
    ("transitive", {"top/e.cpp": '#include "low/a.h"\n'}, "top/e.cpp: top may not include"),
    ("into a sibling ui", {"mid/ui/b.h": "", "mid/e.cpp": '#include "ui/b.h"\n'}, "mid/e.cpp: \"ui/b.h\" would"),
    ("bare name of another folder", {"top/e.cpp": '#include "b.h"\n'}, "top/e.cpp: \"b.h\" is not"),
    ("generated elsewhere", {"mid/e.cpp": '#include "low/gen.h"\n'}, "mid/e.cpp: \"low/gen.h\" is generated"),
    ("Qt below ui", {"mid/e.cpp": "#include <QWidget>\n"}, "mid/e.cpp: mid includes Qt"),
    ("regex in a layer", {"top/e.cpp": "#include <regex>\n"}, "top/e.cpp: includes <regex>"),
    ("regex in a test", {"tests/x/e.cpp": "#include <regex>\n"}, "tests/x/e.cpp: includes <regex>"),
    ("cycle in the table", {TABLE: SELF_TABLE + "x lib_x y\ny lib_y x\n"}, f"{TABLE}: x and y reach"),
    ("test in two tops", {"tests/top/d.h": "", "tests/x/e.cpp": '#include "top/d.h"\n'}, "tests/x/e.cpp: \"top/d.h\" names"),
]


def self_test():
    failures = 0
    for name, extra, expected in SELF_CASES:
        with tempfile.TemporaryDirectory() as root:
            for rel, text in {TABLE: SELF_TABLE, **SELF_TREE, **extra}.items():
                os.makedirs(os.path.join(root, os.path.dirname(rel)), exist_ok=True)
                with open(os.path.join(root, rel), "w", encoding="utf-8") as f:
                    f.write(text)
            problems, _ = check(root)
        ok = problems == [] if expected is None else len(problems) == 1 and problems[0].startswith(expected)
        print(f"{'ok  ' if ok else 'FAIL'} {name}: {problems or 'clean'}")
        failures += not ok
    return 1 if failures else 0


def main():
    if "--self-test" in sys.argv:
        return self_test()
    problems, edges = check(ROOT)
    if "--graph" in sys.argv:
        for (a, b), n in sorted(edges.items()):
            print(f"{a} -> {b} ({n})")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
