#!/usr/bin/env python3
"""pe-checksum.py <image>: writes the PE checksum into <image>'s optional
header, computed the way Windows' CheckSumMappedFile does: the file summed as
16-bit words with the carry folded back, the checksum field itself counted as
zero, plus the file's length."""
import struct
import sys


def pe_checksum(data, field):
    total = 0
    for i in range(0, len(data) - 1, 2):
        if field <= i < field + 4:
            continue
        total += data[i] | data[i + 1] << 8
        total = (total & 0xFFFF) + (total >> 16)
    if len(data) % 2:
        total += data[-1]
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def main():
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = bytearray(f.read())
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        sys.exit(f"{path}: not a PE image")
    field = pe + 4 + 20 + 64  # CheckSum in the optional header (PE32 and PE32+ alike)
    struct.pack_into("<I", data, field, pe_checksum(data, field))
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
