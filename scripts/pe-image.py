#!/usr/bin/env python3
"""Two numbers of a PE image that signing touches, computed without osslsigncode.

  pe-image.py checksum <file>          stored and computed PE checksum;
                                       exit status 1 when they differ
  pe-image.py digest <file>            the Authenticode SHA-256 digest: the
                                       file without its checksum field, its
                                       certificate-table entry and the
                                       certificate table itself

A signing tool writes the checksum of the signed image, and removing the
signature writes the checksum of what is left; an unsigned image gets back
its own bytes only if it already carried its computed checksum.  The build
writes it with pefile; this script computes it on its own, as a second
opinion.
"""
import hashlib
import struct
import sys


def layout(image):
    """Offsets of the checksum field and of the certificate-table entry."""
    if image[:2] != b"MZ":
        raise ValueError("not an MZ image")
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    opt = pe + 24
    magic = struct.unpack_from("<H", image, opt)[0]
    dirs = opt + {0x10B: 96, 0x20B: 112}[magic]
    return opt + 64, dirs + 4 * 8


def computed_checksum(image, field):
    data = image[:field] + b"\0\0\0\0" + image[field + 4:]
    if len(data) % 2:
        data += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(image)) & 0xFFFFFFFF


def authenticode_digest(image):
    field, security = layout(image)
    table, size = struct.unpack_from("<II", image, security)
    end = table if table and size else len(image)
    h = hashlib.sha256()
    h.update(image[:field])
    h.update(image[field + 4:security])
    h.update(image[security + 8:end])
    return h.hexdigest().upper()


def main(argv):
    if len(argv) == 2 and argv[0] == "checksum":
        path = argv[1]
        image = open(path, "rb").read()
        field, _ = layout(image)
        stored = struct.unpack_from("<I", image, field)[0]
        computed = computed_checksum(image, field)
        print(f"{path}: PE checksum stored 0x{stored:08X}, computed 0x{computed:08X}")
        return 0 if stored == computed else 1
    if len(argv) == 2 and argv[0] == "digest":
        print(authenticode_digest(open(argv[1], "rb").read()))
        return 0
    print(__doc__.strip(), file=sys.stderr)
    return 2


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except (OSError, ValueError, KeyError, struct.error) as e:
        print(f"pe-image.py: {e}", file=sys.stderr)
        sys.exit(2)
