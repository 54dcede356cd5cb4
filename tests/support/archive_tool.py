#!/usr/bin/python3
"""Archives for the tests, made with Python's zipfile.

    archive_tool.py zip OUT stored|deflated NAME...
        Writes the files NAME... of the current folder into the ZIP OUT in
        that order, each under its own name; a NAME ending in "/" is a
        folder entry.
    archive_tool.py bomb OUT DECLARED INFLATED [NAME]
        Writes a ZIP whose one entry (NAME, default maps/bomb.bsp) says it
        holds DECLARED bytes while its deflated data inflates to INFLATED
        zero bytes. No tool writes such a lie, so the headers are laid out
        here by the ZIP format's byte layout (the local header, the central
        directory and its end record); the deflated data comes from zlib.

Sizes may be written with a suffix: 10G, 1M, 4K (powers of 1024).
"""
import os
import struct
import sys
import zipfile
import zlib


def size_of(text):
    units = {"K": 1 << 10, "M": 1 << 20, "G": 1 << 30}
    if text[-1:].upper() in units:
        return int(text[:-1]) * units[text[-1:].upper()]
    return int(text)


def make_zip(out, method, names):
    compression = zipfile.ZIP_STORED if method == "stored" else zipfile.ZIP_DEFLATED
    with zipfile.ZipFile(out, "w", compression) as archive:
        for name in names:
            if name.endswith("/"):
                archive.writestr(zipfile.ZipInfo(name), b"")
            else:
                archive.write(name, name)


def zeros_deflated(count):
    """A raw deflate stream of count zero bytes, built from one compressed
    piece repeated: after a full flush the compressor starts afresh, so the
    same input gives the same bytes again."""
    piece_size = 1 << 24
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    piece = compressor.compress(bytes(piece_size)) + compressor.flush(zlib.Z_FULL_FLUSH)
    whole, rest = divmod(count, piece_size)
    tail = zlib.compressobj(9, zlib.DEFLATED, -15)
    return piece * whole + tail.compress(bytes(rest)) + tail.flush(zlib.Z_FINISH)


def make_bomb(out, declared, inflated, name):
    data = zeros_deflated(inflated)
    encoded = name.encode()
    # Version needed 2.0, no flags, deflated, no time, CRC of nothing read
    # this far (the entry is refused before its end), then the sizes.
    fields = struct.pack("<HHHHHIII", 20, 0, 8, 0, 0, 0, len(data), declared)
    local = b"PK\x03\x04" + fields + struct.pack("<HH", len(encoded), 0) + encoded
    central = (b"PK\x01\x02" + struct.pack("<H", 20) + fields
               + struct.pack("<HHHHHII", len(encoded), 0, 0, 0, 0, 0, 0) + encoded)
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, 1, 1, len(central),
                                      len(local) + len(data), 0)
    with open(out, "wb") as f:
        f.write(local)
        f.write(data)
        f.write(central)
        f.write(end)


def main(argv):
    if len(argv) >= 4 and argv[1] == "zip":
        make_zip(argv[2], argv[3], argv[4:])
    elif len(argv) in (5, 6) and argv[1] == "bomb":
        name = argv[5] if len(argv) == 6 else "maps/bomb.bsp"
        make_bomb(argv[2], size_of(argv[3]), size_of(argv[4]), name)
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main([os.fsdecode(a) if isinstance(a, bytes) else a for a in sys.argv]))
