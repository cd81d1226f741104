#!/usr/bin/env python3
"""Copies a PNG with its image data deflated at the highest level: the Windows probe writes its
screenshots stored, not compressed. Usage: png_pack.py IN.png OUT.png"""
import struct
import sys
import zlib


def chunks(data):
    at = 8
    while at < len(data):
        length, kind = struct.unpack_from(">I4s", data, at)
        yield kind, data[at + 8 : at + 8 + length]
        at += 12 + length


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def main(source, target):
    data = open(source, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{source}: not a PNG")
    parts = list(chunks(data))
    pixels = zlib.decompress(b"".join(body for kind, body in parts if kind == b"IDAT"))
    out = [data[:8]]
    for kind, body in parts:
        if kind == b"IDAT":
            if pixels is not None:
                out.append(chunk(b"IDAT", zlib.compress(pixels, 9)))
                pixels = None
        else:
            out.append(chunk(kind, body))
    open(target, "wb").write(b"".join(out))


if __name__ == "__main__":
    main(*sys.argv[1:3])
