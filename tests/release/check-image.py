#!/usr/bin/env python3
"""check-image.py <dll> <pdb> <module .def> <llvm-objdump> <llvm-pdbutil>

What a Windows shop's binary checks and its debuggers need from the shipped
KORVA_VB6.dll, read from the file itself: the header flags, the sections,
the CodeView record and the PDB it names.  Prints each section with its
flags, then one line per failed check, then "N passed, N failed".
"""
import re
import struct
import subprocess
import sys

sys.path.insert(0, __file__.rsplit("/", 3)[0] + "/scripts")
pe_checksum = __import__("pe-image").computed_checksum

SCN_EXECUTE, SCN_READ, SCN_WRITE = 0x20000000, 0x40000000, 0x80000000
DYNAMIC_BASE, NX_COMPAT, NO_SEH = 0x40, 0x100, 0x400
SUBSYSTEM_WINDOWS_GUI = 2

passed = failed = 0


def check(cond, what):
    global passed, failed
    if cond:
        passed += 1
    else:
        failed += 1
        print("FAILED:", what)


def main():
    dll_path, pdb_path, def_path, objdump, pdbutil_exe = sys.argv[1:6]
    data = open(dll_path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    machine, nsections, _, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    opt = pe + 24
    check(data[pe:pe + 4] == b"PE\0\0" and machine == 0x14C and struct.unpack_from("<H", data, opt)[0] == 0x10B,
          "not a PE32 i386 image")

    os_major, os_minor = struct.unpack_from("<HH", data, opt + 40)
    sub_major, sub_minor = struct.unpack_from("<HH", data, opt + 48)
    (checksum,) = struct.unpack_from("<I", data, opt + 64)
    subsystem, dllchars = struct.unpack_from("<HH", data, opt + 68)
    ndirs = struct.unpack_from("<I", data, opt + 92)[0]
    dirs = [struct.unpack_from("<II", data, opt + 96 + 8 * i) for i in range(ndirs)]

    # loads on Windows 2000 and later, as a GUI-subsystem DLL
    check((os_major, os_minor) <= (5, 0) and (sub_major, sub_minor) <= (5, 0),
          f"OS version {os_major}.{os_minor}, subsystem version {sub_major}.{sub_minor}: above 5.0")
    check(subsystem == SUBSYSTEM_WINDOWS_GUI, f"subsystem {subsystem}, not 2 (Windows GUI)")
    check(dllchars & DYNAMIC_BASE and dllchars & NX_COMPAT, f"DllCharacteristics {dllchars:#x}: no DYNAMIC_BASE/NX_COMPAT")
    check(checksum == pe_checksum(data, opt + 64), f"checksum {checksum:#x} is not the image's")

    # sections: listed; none writable and executable; no DWARF left behind
    sections = []
    print(f"{'section':10} {'size':>8}  flags")
    for i in range(nsections):
        off = opt + opt_size + 40 * i
        name = data[off:off + 8].rstrip(b"\0").decode()
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, off + 8)
        (flags,) = struct.unpack_from("<I", data, off + 36)
        sections.append((name, va, vsize, rawptr, flags))
        rwx = "".join(c if flags & f else "-" for c, f in (("R", SCN_READ), ("W", SCN_WRITE), ("X", SCN_EXECUTE)))
        print(f"{name:10} {vsize:8}  {rwx} {flags:#010x}")
        check(not (flags & SCN_WRITE and flags & SCN_EXECUTE), f"section {name} is writable and executable")
    check(not [s for s in sections if s[0].startswith(".debug") or s[0].startswith("/")],
          "DWARF sections in the shipped image")

    def file_offset(rva):
        for _, va, vsize, rawptr, _ in sections:
            if va <= rva < va + vsize:
                return rawptr + rva - va
        raise ValueError(f"RVA {rva:#x} is in no section")

    # No SEH handler is registered: NO_SEH is set, there is no load-config
    # handler table, and no instruction touches the handler chain at fs:[0].
    load_config_rva, _ = dirs[10] if ndirs > 10 else (0, 0)
    handlers = 0
    if load_config_rva:
        lc = file_offset(load_config_rva)
        if struct.unpack_from("<I", data, lc)[0] >= 72:
            handlers = struct.unpack_from("<I", data, lc + 68)[0]
    disasm = subprocess.run([objdump, "-d", dll_path], capture_output=True, text=True,
                            check=True).stdout
    chain = [l for l in disasm.splitlines() if re.search(r"%fs:0(?:x0)?(?:,|$)", l)]
    check(dllchars & NO_SEH and handlers == 0 and not chain,
          f"NO_SEH {bool(dllchars & NO_SEH)}, {handlers} SafeSEH handlers, fs:[0] used by: {chain[:3]}")

    # the CodeView record names the PDB without a folder ...
    debug_rva, debug_size = dirs[6]
    rsds = None
    for i in range(debug_size // 28 if debug_rva else 0):
        entry = file_offset(debug_rva) + 28 * i
        kind, size, _, ptr = struct.unpack_from("<IIII", data, entry + 12)
        if kind == 2 and data[ptr:ptr + 4] == b"RSDS":
            guid = data[ptr + 4:ptr + 20]
            (age,) = struct.unpack_from("<I", data, ptr + 20)
            rsds = (guid, age, data[ptr + 24:ptr + size].split(b"\0")[0].decode())
    check(rsds is not None and rsds[2] == "KORVA_VB6.pdb", f"CodeView record {rsds}: not 'KORVA_VB6.pdb'")
    if rsds is None:
        return

    # ... and that PDB is this image's: same GUID and age
    def pdbutil(*args):
        return subprocess.run([pdbutil_exe, "dump", *args, pdb_path], capture_output=True, text=True,
                              check=True).stdout
    summary = pdbutil("-summary")
    d1, d2, d3 = struct.unpack_from("<IHH", rsds[0])
    guid = f"{d1:08X}-{d2:04X}-{d3:04X}-{rsds[0][8:10].hex().upper()}-{rsds[0][10:].hex().upper()}"
    m_guid, m_age = re.search(r"GUID: \{([0-9A-F-]+)\}", summary), re.search(r"Age: (\d+)", summary)
    check(m_guid and m_guid.group(1) == guid and m_age and int(m_age.group(1)) == rsds[1],
          f"PDB {m_guid and m_guid.group(1)} age {m_age and m_age.group(1)} is not the image's {guid} age {rsds[1]}")

    # public symbols for every export, as the compiler decorates them
    publics = set(re.findall(r"S_PUB32 \[size = \d+\] `([^`]+)`", pdbutil("-publics")))
    wanted = []
    for line in open(def_path):
        m = re.match(r"\s+(\w+)(?:\s*=\s*(\w+@\d+))?\s*$", line)
        if m:
            wanted.append("_" + (m.group(2) or m.group(1)))
    missing = [w for w in wanted if w not in publics]
    check(len(wanted) == 26 and not missing, f"{len(wanted)} exports in the .def; no public symbol for {missing}")

    # line information for the module's own code, by paths relative to the build
    files = set(re.findall(r"\) (\S+\.cpp)$", pdbutil("-files"), re.M))
    folders = {f.replace("\\", "/").split("/")[-2] for f in files}
    check({"frame", "text", "tokenizer", "host", "platform"} <= folders,
          f"line information covers only {sorted(folders)}")
    check(files and not [f for f in files if f.startswith("/") or ":" in f],
          f"absolute source paths in the PDB: {sorted(files)[:3]}")


if __name__ == "__main__":
    main()
    print(f"{passed} passed, {failed} failed")
    sys.exit(failed != 0)
