#!/usr/bin/env python3
"""Writes the message_fuzz seed corpus: flattened messages, whole, damaged and huge.

Usage: make_message_corpus.py DIRECTORY. The output is the same on every run.
"""
import struct
import sys
from pathlib import Path


def u32(value):
    return struct.pack("<I", value & 0xFFFFFFFF)


def image(fields, what=0, count=None):
    """A flattened message; count overrides the field count in the header."""
    body = b"".join(fields)
    return u32(0x4D56524F) + u32(1) + u32(what) + u32(len(fields) if count is None else count) + body


def field(name, type_code, values, count=None):
    out = u32(len(name)) + name + type_code[::-1] + u32(len(values) if count is None else count)
    return out + b"".join(u32(len(v)) + v for v in values)


def point(x, y):
    return struct.pack("<ff", x, y)


def ref(device, directory, path, name):
    return struct.pack("<qQ", device, directory) + u32(len(path)) + path + u32(len(name)) + name


CSTR, BPNT, RREF = b"CSTR", b"BPNT", b"RREF"

settings = image([field(b"winloc", BPNT, [point(100, 100)]),
                  field(b"constructor", CSTR, [b"/aa - /ta - /la.mp3"])])
seeds = {
    "settings": settings,
    "every-type": image([
        field(b"refs", RREF, [ref(2049, 0x1234567890, b"/music", b"a.mp3"),
                              ref(-1, 0, b"/m\xfcsik", b"\xe9t\xe9\xff.mp3")]),
        field(b"winloc", BPNT, [point(-7.5, 3e38)]),
        field(b"empty", CSTR, [b""]),
        field(b"multi", CSTR, [b"one", b"t\0o", b"three"]),
    ], what=0x5F4D4348),
    "non-finite-points": image([field(b"p", BPNT, [point(1, 2), b"\x00\x00\xc0\x7f" * 2,
                                                   b"\x00\x00\x80\x7f" + u32(0)])]),
    "repeated-names": image([field(b"a", CSTR, [b"1"]), field(b"b", BPNT, [point(0, 0)]),
                             field(b"a", CSTR, [b"2"]), field(b"b", CSTR, [b"x"])]),
    "damaged-cut": settings[:-5],
    "damaged-value-length": settings[:-23] + u32(0xFFFFFFF0) + settings[-19:],
    "damaged-ref": image([field(b"refs", RREF, [ref(1, 2, b"/d", b"n")[:-3]])]),
    "trailing-bytes": settings + b"x",
    "huge-value-count": image([field(b"s", CSTR, [b"", b""], count=0x3FFFFFFF)]),
    "huge-field-count": image([field(b"s", CSTR, [b"x"])], count=0xFFFFFFFF),
    "many-empty-strings": image([field(b"s", CSTR, [b""] * 16384)]),
    # 100,000 fields with three-byte names (no NUL), the smallest such message.
    "many-fields": image([field(bytes(i // 255**k % 255 + 1 for k in range(3)), CSTR, [b""])
                          for i in range(100000)]),
}

out = Path(sys.argv[1])
out.mkdir(parents=True, exist_ok=True)
for name, data in seeds.items():
    (out / name).write_bytes(data)
