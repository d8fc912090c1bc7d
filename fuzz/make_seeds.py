#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs into DIR/<target>/.

usage: make_seeds.py DIR

The seeds are small well-formed inputs, plus a few with one thing wrong, so
that the fuzzers start from the shapes the readers expect.
"""
import os
import struct
import sys

MOUSE = bytes.fromhex("837D8345835882C58F4997B9")
KEYBOARD = bytes.fromhex("834C815B837B817C836882C58F4997B9")
DISPLAY = bytes.fromhex("955C8EA682B782E983748340834383 8B")


def bmp(width, height, bits, rows=None, palette=None, compression=0, header=40, extra=b"",
        clr_used=0, off_bits=None):
    entries = {1: 2, 2: 4, 4: 16, 8: 256}.get(bits, 0)
    row = (width * bits + 31) // 32 * 4
    if palette is None:
        palette = bytes((i * 37 + 11) & 0xFF for i in range(entries * 4))
    if rows is None:
        rows = bytes((i * 7 + 3) & 0xFF for i in range(max(row * abs(height), 0)))
    info = struct.pack("<IiiHHIIiiII", header, width, height, 1, bits, compression,
                       len(rows), 2835, 2835, clr_used, 0)
    body = info + extra + palette + rows
    if off_bits is None:
        off_bits = 14 + 40 + len(extra) + len(palette)
    return struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, off_bits) + body


def os2_bmp(width, height, bits, entries):
    """A BMP with the 12-byte OS/2 core header and 3-byte table entries."""
    row = (width * bits + 31) // 32 * 4
    table = bytes((i * 37 + 11) & 0xFF for i in range(entries * 3))
    rows = bytes((i * 7 + 3) & 0xFF for i in range(row * height))
    body = struct.pack("<IHHHH", 12, width, height, 1, bits) + table + rows
    return struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, 26 + len(table)) + body


def picture_seeds():
    masks = struct.pack("<III", 0xF800, 0x07E0, 0x001F)
    full = bmp(4, 2, 8)
    long_runs = b"".join(bytes([0, 8]) + bytes(range(y, y + 8)) + bytes([0, 0]) for y in range(4))
    return {
        "bits1.bmp": bmp(33, 3, 1),
        "bits2.bmp": bmp(5, 2, 2),
        "bits4.bmp": bmp(5, 3, 4),
        "bits8.bmp": full,
        "bits16-masks.bmp": bmp(4, 3, 16, compression=3, extra=masks),
        "bits32-masks-cut.bmp": bmp(2, 2, 32, compression=3, extra=masks)[:60],
        "short-table.bmp": bmp(5, 3, 4, palette=bytes(range(16)), clr_used=4),
        "full-table-gap.bmp": bmp(4, 2, 8, clr_used=16, off_bits=54 + 1024 + 8,
                                  rows=bytes(8) + bytes(range(8))),
        "absurd-clr-used.bmp": bmp(4, 2, 8, clr_used=0xFFFFFFFF),
        "off-bits-past-end.bmp": bmp(3, 2, 24, off_bits=0xFFFFFFF0),
        "bits24.bmp": bmp(3, 2, 24),
        "bits32.bmp": bmp(2, 2, 32),
        "topdown.bmp": bmp(3, -2, 24),
        "topdown-8bit.bmp": bmp(5, -3, 8, clr_used=16, palette=bytes(64)),
        "rle8.bmp": bmp(4, 4, 8, rows=bytes([4, 1, 0, 0, 0, 1]), compression=1),
        # Absolute runs take more bytes than the rows would uncompressed.
        "rle8-long-runs.bmp": bmp(8, 4, 8, rows=long_runs + bytes([0, 1]), compression=1),
        "rle8-cut.bmp": bmp(8, 4, 8, rows=long_runs, compression=1)[:-20],
        "rle4-delta.bmp": bmp(6, 3, 4, rows=bytes([4, 0x12, 0, 2, 1, 1, 0, 3, 0x34, 0x50, 0, 1]),
                              compression=2),
        "header108.bmp": bmp(4, 2, 8, header=108, extra=bytes(68)),
        "v5-short-table.bmp": bmp(5, 3, 4, header=124, extra=bytes(84), palette=bytes(range(16)),
                                  clr_used=4, off_bits=14 + 124 + 16),
        "os2-core.bmp": os2_bmp(5, 3, 4, 16),
        "os2-short-table.bmp": os2_bmp(3, 2, 8, 4),
        "short-palette.bmp": full[:600],
        "short-rows.bmp": full[:-5],
        "headers-only.bmp": full[:54],
        "wide.bmp": bmp(0x7FFFFFFF, 1, 1, rows=b""),
        "not-bmp.bin": b"MB" + full[2:64],
    }


def settings_seeds():
    def ini(*lines, end=b"\r\n"):
        return end.join(lines) + end

    quoted = DISPLAY + b'="C:\\\x95\x5C\\a b.bmp"'
    return {
        "defaults.ini": ini(b"[Vistrel]", MOUSE + b"=1", KEYBOARD + b"=1", DISPLAY + b'=""'),
        "values.ini": ini(b"[vistrel]", MOUSE + b" = -1", KEYBOARD + b"= 7abc", quoted),
        "lf.ini": ini(b"; note", b"[Other]", b"x=1", b"[Vistrel]", MOUSE + b"=0", end=b"\n"),
        "cr.ini": ini(b"[Vistrel]", KEYBOARD + b"=0", DISPLAY + b"=C:\\x.bmp", end=b"\r"),
        "twice.ini": ini(b"[Vistrel]", MOUSE + b"=0", MOUSE + b"=1", b"[Vistrel]",
                         KEYBOARD + b"=0"),
        "long-path.ini": ini(b"[Vistrel]", DISPLAY + b'="C:\\' + b"p" * 300 + b'.bmp"'),
        "path-259.ini": ini(b"[Vistrel]", DISPLAY + b"=C:\\" + b"p" * 252 + b".bmp"),
        "quotes.ini": ini(b"[Vistrel]", DISPLAY + b"='x'", MOUSE + b'="', b"[Last]", b"k=v"),
        "empty.ini": b"",
    }


def sjis_seeds():
    return {
        "plain.txt": b"C:\\Tools\\VIEW.EXE",
        "dir-dot.txt": b"C:\\My.Dir\\VIEW",
        "trail-5c.txt": b"C:\\Dir\\A.\x95\x5C",
        "trail-5c-dir.txt": b"C:\\\x95\x5C\\VIEW",
        "trail-letter.txt": b"C:\\\x83\x41B\\X.EXE",
        "lone-lead.txt": b"AB\x83",
        "not-trail.txt": b"\x81\x7F.\\A",
        "long.txt": b"C:\\" + b"D" * 240 + b"\\" + b"F" * 14,
    }


def exif_seeds():
    def tiff(order, value, gap=0):
        end = "<" if order == b"II" else ">"

        def entry(tag, value):
            return struct.pack(end + "HHIHH", tag, 3, 1, value, 0)

        return (order + struct.pack(end + "HI", 42, 8 + gap) + bytes(gap)
                + struct.pack(end + "H", 2) + entry(0x100, 640) + entry(0x112, value)
                + struct.pack(end + "I", 0))

    def segment(marker, data):
        return bytes([0xFF, marker]) + struct.pack(">H", len(data) + 2) + data

    def jpeg(*segments):
        return b"\xFF\xD8" + b"".join(segments) + b"\xFF\xDA" + bytes(8) + b"\xFF\xD9"

    jfif = segment(0xE0, b"JFIF\0\1\1\0\0\1\0\1\0\0")
    return {
        "ii-6.jpg": jpeg(jfif, segment(0xE1, b"Exif\0\0" + tiff(b"II", 6))),
        "mm-8.jpg": jpeg(segment(0xE1, b"Exif\0\0" + tiff(b"MM", 8))),
        "far-ifd.tif": tiff(b"II", 3, gap=1000),
        "no-exif.jpg": jpeg(jfif),
    }


def icc_seeds():
    def xyz(x, y, z):
        return b"XYZ \0\0\0\0" + struct.pack(">3i", *(round(v * 65536) for v in (x, y, z)))

    gamma = b"curv\0\0\0\0" + struct.pack(">IH", 1, 563) + bytes(2)  # 2.2, and padding
    tags = [(b"rXYZ", xyz(0.4361, 0.2225, 0.0139)), (b"gXYZ", xyz(0.3851, 0.7169, 0.0971)),
            (b"bXYZ", xyz(0.1431, 0.0606, 0.7141)), (b"rTRC", gamma), (b"gTRC", gamma),
            (b"bTRC", gamma)]
    at = 128 + 4 + 12 * len(tags)
    table, data = b"", b""
    for signature, body in tags:
        table += signature + struct.pack(">II", at + len(data), len(body))
        data += body
    size = at + len(data)
    header = struct.pack(">I", size) + bytes(8) + b"mntrRGB XYZ " + bytes(128 - 24)
    profile = header + struct.pack(">I", len(tags)) + table + data

    def chunk(number, count, part):
        body = b"ICC_PROFILE\0" + bytes([number, count]) + part
        return b"\xFF\xE2" + struct.pack(">H", len(body) + 2) + body

    def jpeg(*segments):
        return b"\xFF\xD8" + b"".join(segments) + b"\xFF\xDA" + bytes(8) + b"\xFF\xD9"

    half = len(profile) // 2
    return {
        "one.jpg": jpeg(chunk(1, 1, profile)),
        "two.jpg": jpeg(chunk(1, 2, profile[:half]), chunk(2, 2, profile[half:])),
        "reordered.jpg": jpeg(chunk(2, 2, profile[half:]), chunk(1, 2, profile[:half])),
        "twice.jpg": jpeg(chunk(1, 2, profile[:half]), chunk(1, 2, profile[half:])),
        "profile.icc": profile,
    }


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip())
    for target, seeds in (("picture_file", picture_seeds()), ("settings_file", settings_seeds()),
                          ("sjis_path", sjis_seeds()), ("exif_orientation", exif_seeds()),
                          ("icc_profile", icc_seeds())):
        folder = os.path.join(sys.argv[1], target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as out:
                out.write(data)


if __name__ == "__main__":
    main()
