#!/usr/bin/env python3
"""Checks the include graph of the source tree against the layering.

Every source file belongs to the folder it lies in. A quoted include of a
file in another folder is an edge between the two folders. The rules:
  - the core (platform, link, params, app, pages) includes no Qt header and
    no header of a ui folder;
  - an edge goes only to a folder of a lower layer (LAYERS below), or to a
    folder of the same layer that the table allows;
  - no two folders include each other.
With --graph the folder-level edges are printed, with the number of includes.
"""
import os
import re
import sys
from collections import Counter

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))

# Folder -> layer. A folder may include folders of a strictly lower layer.
LAYERS = {
    "platform": 0,
    "link": 1,
    "params": 2,
    "app": 3,
    "pages": 4,
    "sim": 2,          # the simulated unit: the wire and the tables, no more
    "tools/tavrinctl": 5,
    "tools/tavrin_bridge": 5,
    "ui": 6,           # Qt plumbing shared by every window
    "link/ui": 7,
    "params/ui": 7,
    "pages/ui": 8,     # the simple page holds the status graphs
    "app/ui": 9,       # the application and its main window sit on top
}
CORE = {"platform", "link", "params", "app", "pages"}
QT_INCLUDE = re.compile(r'#\s*include\s*<Q[A-Za-z]*(/[^>]*)?>')
LOCAL_INCLUDE = re.compile(r'#\s*include\s*"([^"]+)"')


def folder_of(path):
    rel = os.path.relpath(path, ROOT)
    return os.path.dirname(rel)


def sources():
    for folder in LAYERS:
        full = os.path.join(ROOT, folder)
        if not os.path.isdir(full):
            continue
        for name in sorted(os.listdir(full)):
            if name.endswith((".cpp", ".h")):
                yield os.path.join(full, name)


def main():
    edges = Counter()
    problems = []
    for path in sources():
        here = folder_of(path)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        if here in CORE and QT_INCLUDE.search(text):
            problems.append(f"{os.path.relpath(path, ROOT)}: the core includes Qt")
        for target in LOCAL_INCLUDE.findall(text):
            there = os.path.dirname(target) or here
            if there == here or there.startswith("generated"):
                continue
            edges[(here, there)] += 1
            if here in CORE and (there.endswith("/ui") or there == "ui"):
                problems.append(f"{os.path.relpath(path, ROOT)}: the core includes {target}")
            elif there not in LAYERS:
                problems.append(f"{os.path.relpath(path, ROOT)}: includes {target} of unknown folder {there}")
            elif LAYERS[there] >= LAYERS[here]:
                problems.append(f"{os.path.relpath(path, ROOT)}: {here} looks up to {target}")
    for (a, b) in edges:
        if (b, a) in edges and a < b:
            problems.append(f"cycle: {a} and {b} include each other")
    if "--graph" in sys.argv:
        for (a, b), n in sorted(edges.items()):
            print(f"{a} -> {b} ({n})")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
