#!/usr/bin/env python3
"""Keeps the unity build sound.

The build compiles each target's .cpp files in batches, one translation unit
per batch (cmake/Unity.cmake). Two files of one target that define internal
things (static, or in an anonymous namespace) of the same name then either
stop compiling when they meet in a batch, or, worse, one quietly calls the
other's overload. Batches shift as files come and go, so this check looks at
every pair of files of a target: it lists each internal function, type,
variable, alias, enumerator and macro defined in more than one of them.
Rename one after its file's subject.

Usage: check_unity.py SOURCE_ROOT UNITY_DIR
(UNITY_DIR holds the generated batches, <target>_<n>.cpp.)
"""

import collections
import glob
import os
import re
import sys

NOT_NAMES = {
    "if", "for", "while", "switch", "return", "sizeof", "decltype", "alignof",
    "static_assert", "noexcept", "requires", "catch", "throw", "new", "delete",
}
INCLUDE = re.compile(r'#include "([^"]+)"')
MACRO_CALL = re.compile(r"[A-Z][A-Z0-9_]*$")
DEFINE = re.compile(r"\s*#\s*define\s+(\w+)")


def blank_literals(text):
    """Text without comments, string and character literals; lines kept."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
            continue
        if text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append("\n" * text.count("\n", i, j))
            i = j
            continue
        raw = re.match(r'R"([^(\s]*)\(', text[i:i + 24]) if c == "R" and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")) else None
        if raw:
            end = ")" + raw.group(1) + '"'
            j = text.find(end, i + raw.end())
            j = n if j < 0 else j + len(end)
            out.append('""' + "\n" * text.count("\n", i, j))
            i = j
            continue
        if c == '"' or (c == "'" and not (i > 0 and text[i - 1].isalnum())):
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + c)
            i = j + 1
            continue
        out.append(c)
        i += 1
    return "".join(out)


def declared_name(statement):
    """The name a namespace-scope declaration or definition introduces."""
    s = re.sub(r"\s+", " ", statement).strip()
    s = re.sub(r"^template ?<.*?> ?(?=[a-z\[])", "", s)
    s = re.sub(r"\[\[[^\]]*\]\] ?|\balignas ?\([^)]*\) ?", "", s)
    if not s or s.startswith(("using namespace", "namespace ", "friend ")):
        return []
    m = re.match(r"using ([\w:]+::(\w+))$", s)
    if m:  # a using-declaration may be repeated, but clashes with a definition
        return [(m.group(2), m.group(1))]
    m = re.match(r"using (\w+) ?= ?(.*)", s)
    if m:  # an alias may be repeated where it names the same type
        return [(m.group(1), m.group(2))]
    m = re.match(r"typedef (.*)\b(\w+)$", s)
    if m:
        return [(m.group(2), m.group(1))]
    m = re.match(r"(?:[\w:]+ )*?(class|struct|union|enum(?: class| struct)?) (?:\[\[[^\]]*\]\] )?(\w+)?", s)
    if m and "(" not in s[:m.start(1)] and "=" not in s[:m.start(1)]:
        return [m.group(2)] if m.group(2) else []
    depth = 0
    head = ""
    for ch in s:
        if ch == "<":
            depth += 1
        elif ch == ">":
            depth = max(0, depth - 1)
        if depth == 0 and ch in "(=[{:" and not (ch == ":" and (head.endswith(":") or s[len(head) + 1:len(head) + 2] == ":")):
            name = re.search(r"(~?\w+) ?$", head)
            if not name or name.group(1) in NOT_NAMES or re.search(r"operator\W*$", head):
                return []
            if head.rstrip().endswith(("::" + name.group(1))) or name.group(1).startswith("~"):
                return []  # a member of a class defined out of line
            if ch == "(" and MACRO_CALL.match(name.group(1)):
                return []  # a macro such as TEST_F(...)
            if len(head.split()) < 2 and ch != "(":
                return []
            return [name.group(1)]
        head += ch
    words = head.split()
    return [re.sub(r"\W", "", words[-1])] if len(words) > 1 else []


def internal_names(path):
    """The internal names a .cpp file defines, its aliases (name and what
    they name) and the macros it defines."""
    text = blank_literals(open(path, encoding="utf-8", errors="replace").read())
    macros = []
    code = []
    continued = False
    for line in text.split("\n"):
        directive = continued or line.lstrip().startswith("#")
        if directive:
            m = DEFINE.match(line)
            if m and not continued:
                macros.append(m.group(1))
            continued = line.rstrip().endswith("\\")
            code.append("")
        else:
            code.append(line)
    text = "\n".join(code)

    names = []
    scopes = []  # "ns", "anon", "extern", "enum", "other"
    start = 0
    for brace in re.finditer(r"[{};]", text):
        c = brace.group()
        statement = text[start:brace.start()]
        start = brace.end()
        at_namespace_scope = all(k in ("ns", "anon", "extern") for k in scopes)
        internal = "anon" in scopes
        s = re.sub(r"\s+", " ", statement).strip()
        if c == "{":
            if re.fullmatch(r"(inline )?namespace", s):
                scopes.append("anon")
            elif re.fullmatch(r"(inline )?namespace [\w:]+", s):
                scopes.append("ns")
            elif re.fullmatch(r'extern ?""', s):
                scopes.append("extern")
            elif at_namespace_scope and re.match(r"(?:static )?enum\b(?! class| struct)", s):
                if internal or s.startswith("static"):
                    names.extend(declared_name(s))
                scopes.append("enum")
            else:
                if at_namespace_scope and (internal or re.match(r"(inline |constexpr |const )*static\b", s)):
                    names.extend(declared_name(s))
                scopes.append("other")
        elif c == "}":
            if scopes and scopes[-1] == "enum" and "anon" in scopes[:-1]:
                # the enumerators of a plain enum in an anonymous namespace
                names.extend(m.group(1) for m in re.finditer(r"(?:^|,)\s*(\w+)", statement))
            if scopes:
                scopes.pop()
        elif at_namespace_scope and (internal or re.match(r"(inline |constexpr |const )*static\b", s)):
            names.extend(declared_name(s))
    aliases = {name for name in names if isinstance(name, tuple)}
    return {name for name in names if isinstance(name, str)}, aliases, set(macros)


def targets(unity_dir):
    """Each batched target's source files, from the generated batches."""
    found = collections.defaultdict(list)
    for batch in sorted(glob.glob(os.path.join(unity_dir, "*_[0-9]*.cpp"))):
        target = re.sub(r"_\d+\.cpp$", "", os.path.basename(batch))
        with open(batch, encoding="utf-8") as f:
            found[target].extend(INCLUDE.findall(f.read()))
    return found


def main(root, unity_dir):
    clashes = []
    for target, files in sorted(targets(unity_dir).items()):
        defined = collections.defaultdict(list)
        for source in files:
            names, aliases, macros = internal_names(os.path.join(root, source))
            for name in names:
                defined[name].append((source, ""))
            for name, aliased in aliases:
                defined[name].append((source, aliased))
            for macro in macros:
                defined["#define " + macro].append((source, ""))
        for name, where in sorted(defined.items()):
            if len(where) > 1 and not all(aliased and aliased == where[0][1] for _, aliased in where):
                clashes.append(f"{target}: {name} in {', '.join(source for source, _ in where)}")
    for clash in clashes:
        print(clash)
    if clashes:
        print(f"{len(clashes)} internal names defined in more than one file of a target: "
              "rename each after its file's subject (cmake/Unity.cmake)")
        return 1
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
