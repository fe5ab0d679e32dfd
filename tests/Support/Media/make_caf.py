#!/usr/bin/env python3
"""Writes an AAC CAF file from an M4A file's first sound track: 'desc',
'kuki' (the esds descriptor), 'pakt' before 'data' (streamable), or after
it with --table-last; --valid N gives the frames meant to be heard."""

import struct
import sys


def boxes(data, start, end):
    while start + 8 <= end:
        size, kind = struct.unpack(">I4s", data[start:start + 8])
        header = 8
        if size == 1:
            size = struct.unpack(">Q", data[start + 8:start + 16])[0]
            header = 16
        elif size == 0:
            size = end - start
        yield kind.decode("latin-1"), start + header, start + size
        start += size


def find(data, start, end, path):
    for kind, body, stop in boxes(data, start, end):
        if kind == path[0]:
            return (body, stop) if len(path) == 1 else find(data, body, stop, path[1:])
    return None


def varint(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def main():
    source, target = sys.argv[1], sys.argv[2]
    table_last = "--table-last" in sys.argv
    valid = int(sys.argv[sys.argv.index("--valid") + 1]) if "--valid" in sys.argv else None
    data = open(source, "rb").read()
    moov = find(data, 0, len(data), ["moov"])
    stbl = find(data, moov[0], moov[1], ["trak", "mdia", "minf", "stbl"])
    mdhd = find(data, moov[0], moov[1], ["trak", "mdia", "mdhd"])
    stsd = find(data, stbl[0], stbl[1], ["stsd"])
    entry = stsd[0] + 8
    channels = struct.unpack(">H", data[entry + 8 + 16:entry + 8 + 18])[0]
    esds = find(data, entry + 8 + 28, struct.unpack(">I", data[entry:entry + 4])[0] + entry, ["esds"])
    cookie = data[esds[0] + 4:esds[1]]
    timescale = struct.unpack(">I", data[mdhd[0] + 12:mdhd[0] + 16])[0]
    stsz = find(data, stbl[0], stbl[1], ["stsz"])
    count = struct.unpack(">I", data[stsz[0] + 8:stsz[0] + 12])[0]
    sizes = struct.unpack(">%dI" % count, data[stsz[0] + 12:stsz[0] + 12 + 4 * count])
    stco = find(data, stbl[0], stbl[1], ["stco"])
    chunks = struct.unpack(">I", data[stco[0] + 4:stco[0] + 8])[0]
    offsets = struct.unpack(">%dI" % chunks, data[stco[0] + 8:stco[0] + 8 + 4 * chunks])
    stsc = find(data, stbl[0], stbl[1], ["stsc"])
    runs = struct.unpack(">I", data[stsc[0] + 4:stsc[0] + 8])[0]
    table = [struct.unpack(">III", data[stsc[0] + 8 + 12 * i:stsc[0] + 20 + 12 * i]) for i in range(runs)]
    packets = []
    sample = 0
    for r, (first, per_chunk, _) in enumerate(table):
        last = table[r + 1][0] if r + 1 < runs else chunks + 1
        for chunk in range(first, last):
            at = offsets[chunk - 1]
            for _ in range(per_chunk):
                if sample >= count:
                    break
                packets.append(data[at:at + sizes[sample]])
                at += sizes[sample]
                sample += 1
    audio = b"".join(packets)

    def chunk(kind, body):
        return kind + struct.pack(">q", len(body)) + body

    desc = struct.pack(">d4sIIIII", float(timescale), b"aac ", 2, 0, 1024, channels, 0)
    # ffmpeg's AAC encoder primes with 1024 frames.
    if valid is None:
        valid = len(packets) * 1024 - 1024
    pakt = struct.pack(">qqii", len(packets), valid, 1024, len(packets) * 1024 - 1024 - valid)
    pakt += b"".join(varint(len(p)) for p in packets)
    parts = [b"caff" + struct.pack(">HH", 1, 0), chunk(b"desc", desc), chunk(b"kuki", cookie)]
    body = chunk(b"data", struct.pack(">I", 0) + audio)
    parts += [body, chunk(b"pakt", pakt)] if table_last else [chunk(b"pakt", pakt), body]
    open(target, "wb").write(b"".join(parts))


if __name__ == "__main__":
    main()
