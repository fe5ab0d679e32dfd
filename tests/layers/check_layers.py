#!/usr/bin/env python3
"""Keeps the source tree's layers as CMakeLists.txt declares them.

Reads the tandry_library(NAME DIRS ... LINKS ...) blocks and the program's
tandry_executable(...) of CMakeLists.txt. Every file under src/ belongs to the
library whose DIRS names its folder; each quoted #include must lead to a file
of the same library or of one it links, directly or through others. The
links must form no cycle, and neither may the folders: a library folder
(with the folders below it that belong to no library of their own, or to
one nested in it) never includes from a folder that includes from it.

Usage: check_layers.py SOURCE_ROOT
"""

import os
import re
import sys

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".c")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)
BLOCK = re.compile(r"\b(tandry_library|tandry_executable)\s*\(")
KEYWORDS = {"DIRS", "LINKS", "PKG", "SYSLIBS", "TEST_LINKS"}


class Target:
    def __init__(self, name, dirs, links, sources=()):
        self.name = name
        self.dirs = dirs
        self.links = links
        self.sources = list(sources)

    def declaration(self):
        parts = [f"tandry_library({self.name.removeprefix('tandry_')}"] if self.dirs else [f"tandry_executable({self.name}"]
        if self.dirs:
            parts.append("DIRS " + " ".join(self.dirs))
        parts.append("LINKS " + " ".join(self.links) if self.links else "no LINKS")
        return " ".join(parts) + ")"


def blocks(text):
    """The (command, words) of each library and executable block."""
    text = re.sub(r"#[^\n]*", "", text)
    for match in BLOCK.finditer(text):
        depth, end = 1, match.end()
        while depth and end < len(text):
            depth += {"(": 1, ")": -1}.get(text[end], 0)
            end += 1
        yield match.group(1), text[match.end():end - 1].split()


def targets(root):
    with open(os.path.join(root, "CMakeLists.txt"), encoding="utf-8") as f:
        text = f.read()
    found = {}
    for command, words in blocks(text):
        if not words:
            continue
        fields = {"": []}
        key = ""
        for word in words[1:]:
            if word in KEYWORDS:
                key = word
                fields.setdefault(key, [])
            else:
                fields.setdefault(key, []).append(word)
        links = [w for w in fields.get("LINKS", []) if w.startswith("tandry_")]
        if command == "tandry_library":
            name = "tandry_" + words[0]
            found[name] = Target(name, fields.get("DIRS", []), links)
        else:
            sources = [w.removeprefix("src/") for w in fields[""] if w.startswith("src/")]
            found[words[0]] = Target(words[0], [], links, sources)
    return found


def link_cycle(graph):
    """One cycle of the graph (a list of nodes), or None."""
    state = {}

    def visit(node, path):
        state[node] = "open"
        path.append(node)
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == "open":
                return path[path.index(nxt):] + [nxt]
            if nxt not in state:
                cycle = visit(nxt, path)
                if cycle:
                    return cycle
        path.pop()
        state[node] = "done"
        return None

    for node in sorted(graph):
        if node not in state:
            cycle = visit(node, [])
            if cycle:
                return cycle
    return None


def closures(found):
    memo = {}

    def reach(name):
        if name not in memo:
            memo[name] = {name}
            for link in found[name].links if name in found else ():
                memo[name] |= reach(link)
        return memo[name]

    return {name: reach(name) for name in found}


def source_files(src):
    for folder, dirs, files in os.walk(src):
        dirs.sort()
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.relpath(os.path.join(folder, name), src)


def check(root):
    src = os.path.join(root, "src")
    found = targets(root)
    faults = []
    cycle = link_cycle({name: target.links for name, target in found.items()})
    if cycle:
        faults.append("CMakeLists.txt: the libraries link in a circle: " + " -> ".join(cycle))
        return faults
    reach = closures(found)
    owner = {}
    for target in found.values():
        for folder in target.dirs:
            owner[folder] = target
        for source in target.sources:
            owner[source] = target
    # A file's layer folder: the top-most library folder on its path.
    library_folders = sorted(owner, key=len)

    def layer_folder(path):
        for folder in library_folders:
            if path == folder or path.startswith(folder + "/"):
                return folder
        return os.path.dirname(path)

    def owner_of(path):
        return owner.get(path) or owner.get(os.path.dirname(path))

    folder_edges = {}
    for path in source_files(src):
        target = owner_of(path)
        if target is None:
            faults.append(f"src/{path}: its folder belongs to no library of CMakeLists.txt")
            continue
        with open(os.path.join(src, path), encoding="utf-8", errors="replace") as f:
            text = f.read()
        for included in INCLUDE.findall(text):
            local = os.path.normpath(os.path.join(os.path.dirname(path), included))
            if os.path.isfile(os.path.join(src, included)):
                resolved = os.path.normpath(included)
            elif os.path.isfile(os.path.join(src, local)):
                resolved = local
            else:
                continue
            other = owner_of(resolved)
            if other is None:
                faults.append(f"src/{path}: includes \"{included}\", whose folder belongs to no library")
                continue
            if other.name not in reach[target.name]:
                faults.append(f"src/{path}: includes \"{included}\" of {other.name}, which {target.name} does not "
                              f"link (CMakeLists.txt: {target.declaration()})")
            a, b = layer_folder(path), layer_folder(resolved)
            if a != b:
                folder_edges.setdefault(a, {}).setdefault(b, (path, included))
    cycle = link_cycle({a: set(edges) for a, edges in folder_edges.items()})
    if cycle:
        steps = [f"src/{path} includes \"{included}\""
                 for path, included in (folder_edges[a][b] for a, b in zip(cycle, cycle[1:]))]
        faults.append("src: the folders include each other in a circle, "
                      + " -> ".join(cycle) + ": " + "; ".join(steps))
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
