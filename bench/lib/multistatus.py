"""Reads a PROPFIND answer (body, then its status code on the last line) and
prints one line per listed item, sorted, so that two servers' answers to the
same folder can be compared: the name ("." for the folder asked for), "dir"
or "file" with its length, and whether its properties were found. Exits 1
when the answer is no 207 multistatus."""

import sys
import urllib.parse
import xml.etree.ElementTree as ET

DAV = "{DAV:}"

raw = sys.stdin.buffer.read()
body, _, status = raw.rpartition(b"\n")
if status.strip() != b"207":
    sys.stdout.write(f"status {status.strip().decode(errors='replace')}\n")
    sys.exit(1)
try:
    root = ET.fromstring(body)
except ET.ParseError as error:
    sys.stdout.write(f"not XML: {error}\n")
    sys.exit(1)
if root.tag != DAV + "multistatus":
    sys.stdout.write(f"root {root.tag}\n")
    sys.exit(1)

entries = []
for response in root.findall(DAV + "response"):
    href = urllib.parse.unquote(urllib.parse.urlsplit(response.findtext(DAV + "href", "")).path).rstrip("/")
    found = False
    collection = False
    length = ""
    for propstat in response.findall(DAV + "propstat"):
        if " 200 " not in propstat.findtext(DAV + "status", ""):
            continue
        found = True
        prop = propstat.find(DAV + "prop")
        if prop.find(f"{DAV}resourcetype/{DAV}collection") is not None:
            collection = True
        length = prop.findtext(DAV + "getcontentlength", length)
    entries.append((href, found, collection, length))

if not entries:
    sys.stdout.write("no entries\n")
    sys.exit(1)
base = min(entries, key=lambda entry: len(entry[0]))[0]
lines = []
for href, found, collection, length in entries:
    name = "." if href == base else href[len(base):].lstrip("/")
    kind = "dir" if collection else f"file {length}"
    lines.append(f"{name}\t{kind}\t{'found' if found else 'missing'}\n")
sys.stdout.write("".join(sorted(lines)))
