#!/usr/bin/env python3
"""Keeps the documents true to the tree.

Every path that docs/ARCHITECTURE.md names in backquotes must exist (a
placeholder such as <name> or a * matches any name; a class named by its path
without extension counts when its .h or .cpp exists), every relative link
between the documents (the top-level README.md, docs/, and each folder's
README.md) must lead to a file or folder, and the map must stay short.

Usage: check_docs.py SOURCE_ROOT
"""

import glob
import os
import re
import sys

MAP = os.path.join("docs", "ARCHITECTURE.md")
MAP_MAX_LINES = 320
TREE_DIRS = ("src", "tests", "bench", "docs", "resources", "scripts", "cmake")
TREE_FILES = ("CMakeLists.txt", "Makefile", "README.md")
SKIPPED_DIRS = {".git", "build", "var", "node_modules"}

CODE_SPAN = re.compile(r"`([^`\n]+)`")
LINK = re.compile(r"\[[^\]\n]*\]\(([^)\s]+)\)")
PLACEHOLDER = re.compile(r"<[^>/]+>")


def documents(root):
    """The map, docs/*.md and every README.md of the tree, relative to root."""
    found = []
    for folder, dirs, files in os.walk(root):
        dirs[:] = sorted(d for d in dirs if d not in SKIPPED_DIRS and not d.startswith("."))
        relative = os.path.relpath(folder, root)
        for name in sorted(files):
            in_docs = relative == "docs" and name.endswith(".md")
            if name == "README.md" or in_docs:
                found.append(os.path.normpath(os.path.join(relative, name)))
    return found


def named_paths(text):
    """The tree paths a document names in backquotes."""
    for span in CODE_SPAN.findall(text):
        words = span.split()
        if not words:
            continue
        word = words[0].rstrip(".,;:")
        if word in TREE_FILES or word.split("/", 1)[0] in TREE_DIRS and "/" in word:
            yield word


def path_exists(root, path):
    pattern = PLACEHOLDER.sub("*", path)
    full = os.path.join(root, pattern)
    if any(c in pattern for c in "*?["):
        return bool(glob.glob(full))
    if os.path.exists(full):
        return True
    return any(os.path.exists(full + suffix) for suffix in (".h", ".cpp"))


def broken_links(root, document, text):
    base = os.path.dirname(os.path.join(root, document))
    for target in LINK.findall(text):
        if re.match(r"^[a-z][a-z0-9+.-]*:", target) or target.startswith("#"):
            continue
        path = target.split("#", 1)[0]
        if path and not os.path.exists(os.path.normpath(os.path.join(base, path))):
            yield target


def check(root):
    faults = []
    with open(os.path.join(root, MAP), encoding="utf-8") as f:
        map_text = f.read()
    for path in named_paths(map_text):
        if not path_exists(root, path):
            faults.append(f"{MAP}: names {path}, which does not exist")
    lines = map_text.count("\n")
    if lines > MAP_MAX_LINES:
        faults.append(f"{MAP}: {lines} lines; details belong in the folder's README.md")
    for document in documents(root):
        with open(os.path.join(root, document), encoding="utf-8") as f:
            text = f.read()
        for target in broken_links(root, document, text):
            faults.append(f"{document}: link to {target} leads nowhere")
    return faults


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    faults = check(argv[1])
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
