#!/usr/bin/env python3
"""Writes a deterministic RTF document of about SIZE_MB megabytes to standard
output (or to the file named second): font and colour tables, styled
paragraphs, code-page characters (of the document's and of a Cyrillic
font's code page) and Unicode characters, tables and hyperlink fields.
Any RTF reader can take it, so the same file serves side-by-side runs."""

import random
import sys

WORDS = ("the quick brown fox jumps over lazy dog document file manager "
         "viewer paragraph table hyperlink colour font style text page line "
         "morning evening river mountain letter number value order").split()


def paragraph(rng, index):
    parts = ["\\pard\\plain\\ql\\li%d\\fi%d\\sb60\\sa60\\f%d\\fs%d " %
             (rng.choice((0, 360, 720)), rng.choice((0, -360, 240)),
              rng.randrange(4), rng.choice((20, 22, 24, 28)))]
    for n in range(rng.randrange(20, 60)):
        roll = rng.random()
        word = rng.choice(WORDS)
        if roll < 0.08:
            parts.append("{\\b %s}" % word)
        elif roll < 0.14:
            parts.append("{\\i\\cf%d %s}" % (rng.randrange(1, 5), word))
        elif roll < 0.18:
            parts.append("caf\\'e9 na\\'efve")
        elif roll < 0.195:
            parts.append("\\u1087\\'3f\\u1088\\'3f\\u1080\\'3f")
        elif roll < 0.21:
            parts.append("{\\f4 \\'ef\\'f0\\'e8}")
        elif roll < 0.23:
            parts.append('{\\field{\\*\\fldinst HYPERLINK "http://example.com/%d/%s"}'
                         '{\\fldrslt {\\ul link %d}}}' % (index, word, n))
        else:
            parts.append(word)
        parts.append(" ")
    parts.append("\\par\n")
    return "".join(parts)


def table(rng, index):
    rows = []
    for r in range(3):
        cells = "".join("\\pard\\intbl %s %d\\cell " % (rng.choice(WORDS), index * 10 + c)
                        for c in range(3))
        rows.append("\\trowd\\cellx2000\\cellx4000\\cellx6000\n%s\\row\n" % cells)
    return "".join(rows) + "\\pard\n"


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: make_large_rtf.py SIZE_MB [OUTPUT]")
    target = int(float(sys.argv[1]) * 1024 * 1024)
    rng = random.Random(20240515)
    out = open(sys.argv[2], "w", encoding="ascii", newline="\n") if len(sys.argv) > 2 else sys.stdout
    head = ("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033\n"
            "{\\fonttbl{\\f0\\froman\\fcharset0 Times New Roman;}{\\f1\\fswiss\\fcharset0 Arial;}"
            "{\\f2\\fmodern\\fcharset0 Courier New;}{\\f3\\fnil\\fcharset0 DejaVu Sans{\\*\\falt Arial};}"
            "{\\f4\\fswiss\\fcharset204 Arial Cyr;}}\n"
            "{\\colortbl;\\red0\\green0\\blue0;\\red255\\green0\\blue0;\\red0\\green128\\blue0;"
            "\\red0\\green0\\blue255;}\n"
            "{\\info{\\title Large document}{\\author Bench}}\n"
            "\\paperw12240\\paperh15840\\margl1440\\margr1440\n")
    written = len(head)
    out.write(head)
    index = 0
    while written < target:
        piece = table(rng, index) if index % 25 == 24 else paragraph(rng, index)
        out.write(piece)
        written += len(piece)
        index += 1
    out.write("}\n")
    if out is not sys.stdout:
        out.close()


if __name__ == "__main__":
    main()
