#!/usr/bin/env python3
"""fix-tlb-entries.py <in.tlb> <out.tlb>

widl 7.0 writes every entry("name") string of a module block as the same
garbage string (it stores the attribute's expression record, not its text),
so a Visual Basic project that references the library could bind no
function.  This rewrites a widl-made type library so that each function of
each module is bound to the DLL entry of its own name, which is how this
project's IDL declares them (entry name == function name).

The string segment is copied to the end of the file with the entry names
appended, its directory entry is pointed there, and each function record's
entry offset is set to its name.  Everything else is left byte for byte.
"""
import struct
import sys

HEADER_SIZE = 0x54
HELPDLL_FLAG = 0x100
SEGMENTS = 15
SEG_TYPEINFO, SEG_NAME, SEG_STRING = 0, 7, 8
TKIND_MODULE = 2
TYPEINFO_SIZE = 0x64
FUNC_ENTRY_FIELD = 0x20


def main(src, dst):
    data = bytearray(open(src, "rb").read())
    if data[:4] != b"MSFT":
        sys.exit(f"{src}: not an MSFT type library")

    varflags, = struct.unpack_from("<i", data, 0x14)
    ntypeinfos, = struct.unpack_from("<i", data, 0x20)
    pos = HEADER_SIZE + (4 if varflags & HELPDLL_FLAG else 0) + 4 * ntypeinfos
    segdir = pos
    segs = [struct.unpack_from("<iiii", data, segdir + 16 * i) for i in range(SEGMENTS)]
    names_off = segs[SEG_NAME][0]
    strings_off, strings_len = segs[SEG_STRING][0], segs[SEG_STRING][1]

    strings = bytearray(data[strings_off:strings_off + strings_len])
    added = {}

    def add_string(text):
        if text in added:
            return added[text]
        off = len(strings)
        raw = text.encode("ascii")
        rec = struct.pack("<H", len(raw)) + raw
        rec += b"W" * (-len(rec) % 4)
        strings.extend(rec)
        added[text] = off
        return off

    def name_at(off):
        intro = names_off + off
        length = data[intro + 8]
        return data[intro + 12:intro + 12 + length].decode("ascii")

    fixed = 0
    for t in range(ntypeinfos):
        base = segs[SEG_TYPEINFO][0] + TYPEINFO_SIZE * t
        typekind, memoffset = struct.unpack_from("<ii", data, base)
        celement, = struct.unpack_from("<i", data, base + 0x18)
        if typekind & 0xF != TKIND_MODULE:
            continue
        nfuncs, nvars = celement & 0xFFFF, celement >> 16
        total, = struct.unpack_from("<i", data, memoffset)
        records = memoffset + 4
        # after the records: memids, then name offsets, then record offsets
        name_offsets = records + total + 4 * (nfuncs + nvars)
        rec = records
        for f in range(nfuncs):
            info, = struct.unpack_from("<i", data, rec)
            size = info & 0xFFFF
            if size < FUNC_ENTRY_FIELD + 4:
                sys.exit(f"{src}: function record {f} has no entry field")
            name_off, = struct.unpack_from("<i", data, name_offsets + 4 * f)
            struct.pack_into("<i", data, rec + FUNC_ENTRY_FIELD, add_string(name_at(name_off)))
            rec += size
            fixed += 1

    new_off = len(data) + (-len(data) % 4)
    data.extend(b"\0" * (new_off - len(data)))
    data.extend(strings)
    seg = segs[SEG_STRING]
    struct.pack_into("<iiii", data, segdir + 16 * SEG_STRING, new_off, len(strings), seg[2], seg[3])
    open(dst, "wb").write(data)
    print(f"{dst}: {fixed} module functions bound to their entries")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
