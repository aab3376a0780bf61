#!/usr/bin/env python3
"""check-drop-in.py [--dll KORVA_VB6.dll] [--objdump llvm-objdump] [--retake | --seeded]
                    [--header H] [--table T] [--def D] [--baseline B]

A release is a drop-in for the one its snapshot was taken at when every
export the snapshot lists is still there, by the same name, with the same
calling convention and the same bytes of arguments: a Visual Basic 6
program's Declare, or a C caller linked against the old import library,
then calls it as before.  Compares the snapshot (tests/release/
abi-baseline.txt) with the rows of tests/wine/exports.h, the module
definition frame/KORVA_VB6.def and the built DLL's export table, and the
snapshot's version with the one in include/korva_vb6.h.

Breaking changes fail unless the header's major number is above the
snapshot's; new exports need the minor number to move.  Exits 0 when the
release keeps its promise.

--retake  writes the snapshot from exports.h at the header's version (only
          when the major number has moved, when the minor has and every
          promised export stays as it was, or when there is none yet)
--seeded  runs the check on scratch copies with known faults seeded in
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CONVENTIONS = {"STDCALL": "stdcall", "CDECL_VARARGS": "cdecl", "STDCALL_VARIANT": "stdcall-variant"}
SNAPSHOT_NOTE = """\
# The drop-in promise of KORVA_VB6.dll: every export callers bind by name,
# its calling convention and its bytes of arguments (the N of name@N; a
# stdcall-variant export also pops the result's hidden pointer, 4 bytes
# more; a cdecl one is variadic, its caller pops).  Written by
# `python3 tests/release/check-drop-in.py --retake`: retake it at a release
# whose major number has moved, or whose minor has, to add its new exports
# (docs/releasing.md).
"""


def show(path):
    rel = os.path.relpath(path, ROOT)
    return path if rel.startswith("..") else rel


def header_version(path):
    # as CMakeLists.txt reads it: the dotted string on the #define lines
    lines = [l for l in open(path) if re.match(r"#define KORVA_VB6_VERSION(_NUMBER)? ", l)]
    m = re.search(r'"([0-9]+)\.([0-9]+)\.([0-9]+)"', "".join(lines))
    if not m:
        sys.exit(f"{show(path)}: no KORVA_VB6_VERSION")
    return tuple(int(g) for g in m.groups())


def dotted(v):
    return ".".join(map(str, v))


def table_rows(path):
    text = open(path).read()
    block = re.search(r"export_row exports\[\] = \{(.*?)\n\};", text, re.S)
    rows = re.findall(r'\{"(\w+)",\s*(\d+),\s*(\w+)\}', block.group(1) if block else "")
    return {name: (CONVENTIONS.get(conv, conv), int(n)) for name, n, conv in rows}


def def_exports(path):
    # name = name@N is stdcall with N bytes; a bare name is the variadic cdecl
    found = {}
    for line in open(path):
        m = re.match(r"\s+(\w+)(?:\s*=\s*\w+@(\d+))?\s*(?:;.*)?$", line)
        if m:
            found[m.group(1)] = ("stdcall", int(m.group(2))) if m.group(2) else ("cdecl", None)
    return found


def dll_exports(path, objdump):
    out = subprocess.run([objdump, "-p", path], capture_output=True, text=True, check=True).stdout
    table = out.split("Export Table:", 1)[1].split("\n\n", 1)[0] if "Export Table:" in out else ""
    return {m.group(1): (None, None) for m in re.finditer(r"^\s+\d+\s+0x[0-9a-f]+\s+(\S+)$", table, re.M)}


def read_snapshot(path):
    version, rows = None, {}
    for line in open(path):
        if line.startswith("taken at "):
            version = tuple(int(x) for x in line.split()[2].split("."))
        elif line.strip() and not line.startswith("#"):
            name, conv, n = line.split()
            rows[name] = (conv, int(n))
    return version, rows


def describe(conv, n):
    if conv == "cdecl":
        return "cdecl (variadic, the caller pops)"
    pops = n + 4 if conv == "stdcall-variant" else n
    return f"{conv} popping {pops} bytes"


def compare(promised, at, found, source):
    """Breaking changes and new exports of one source against the snapshot.
    A source that tells no convention (the DLL) or no bytes (a bare .def
    name) is compared on what it tells."""
    breaks, new = [], []
    for name, (conv, n) in promised.items():
        if name not in found:
            breaks.append(f"{name}: lost from {source}, the {at} promise has it")
            continue
        fconv, fn = found[name]
        family = "stdcall" if conv == "stdcall-variant" and fconv == "stdcall" else conv
        if fconv is not None and fconv != family:
            breaks.append(f"{name}: {describe(fconv, fn or 0)}, the {at} promise says {describe(conv, n)} ({source})")
        elif fn is not None and fn != n and conv != "cdecl":
            pops = 4 if conv == "stdcall-variant" else 0
            breaks.append(f"{name}: pops {fn + pops} bytes, the {at} promise says {n + pops} ({source})")
    new = [f"{name}: new in {source}" for name in sorted(set(found) - set(promised))]
    return breaks, new


def check(args):
    """(failed, lines) of one check."""
    version = header_version(args.header)
    at, promised = read_snapshot(args.baseline)
    v, a = dotted(version), dotted(at)
    lines = [f"{show(args.header)} says {v}; {show(args.baseline)} was taken at {a} ({len(promised)} exports)"]
    sources = [(show(args.table), table_rows(args.table)), (show(args.def_), def_exports(args.def_))]
    if args.dll:
        sources.append((show(args.dll), dll_exports(args.dll, args.objdump)))
    breaks, new, failed = [], [], []
    for source, found in sources:
        b, n = compare(promised, a, found, source)
        breaks += b
        new += n
    if version < at:
        failed.append(f"version {v} is lower than the snapshot's {a}")
    if breaks and version[0] > at[0]:
        lines.append(f"what {v} breaks of the {a} promise (allowed: the major number moved):")
        lines += ["  " + b for b in breaks]
        lines.append(f"retake the snapshot at the {v} release: python3 tests/release/check-drop-in.py --retake")
    else:
        failed += breaks
    if new and version[0] == at[0] and version[1] <= at[1]:
        failed += [f"{n}, but the minor number has not moved from {a}" for n in new]
    else:
        lines += new
    lines += ["FAILED: " + f for f in failed]
    lines.append(f"{v} is a drop-in for {a}" if not failed and not breaks else
                 f"{v}: {len(failed)} failed" if failed else f"{v} breaks {a}, as its major number allows")
    return bool(failed), lines


def retake(args):
    version = header_version(args.header)
    rows = table_rows(args.table)
    if os.path.exists(args.baseline):
        at, promised = read_snapshot(args.baseline)
        if version[0] < at[0] or (version[0] == at[0] and version[1] <= at[1]):
            sys.exit(f"the snapshot was taken at {dotted(at)} and the header says {dotted(version)}: "
                     "retake it only when the major or the minor number moves")
        # a minor release adds exports to the promise and keeps every one it had
        kept, _ = compare(promised, dotted(at), rows, show(args.table)) if version[0] == at[0] else ([], [])
        if kept:
            sys.exit("not retaken, a minor release keeps the promise:\n" + "\n".join(kept))
    # the snapshot is the table's; the .def and the DLL must agree with it first
    problems = []
    for source, found in [(show(args.def_), def_exports(args.def_))] + \
            ([(show(args.dll), dll_exports(args.dll, args.objdump))] if args.dll else []):
        b, n = compare(rows, "table's", found, source)
        problems += b + n
    if not rows or problems:
        sys.exit("not retaken, the sources disagree:\n" + "\n".join(problems or ["no rows in the table"]))
    with open(args.baseline, "w") as f:
        f.write(SNAPSHOT_NOTE + f"taken at {dotted(version)}\n")
        f.writelines(f"{name} {conv} {n}\n" for name, (conv, n) in rows.items())
    print(f"{show(args.baseline)}: {len(rows)} exports taken at {dotted(version)}")


def seeded(args):
    """Known faults on scratch copies: each must end as expected."""
    at, _ = read_snapshot(args.baseline)
    a = dotted(at)
    seeds = [  # (file, from, to, version, fails, expected)
        (None, None, None, at, False, f"is a drop-in for {a}"),
        ("table", '{"korva_atoi", 12,', '{"korva_atoi", 8,', at, True, f"korva_atoi: pops 8 bytes, the {a} promise says 12"),
        ("def_", "korva_lefttrim =", "korva_lefttrm =", at, True, "korva_lefttrim: lost from"),
        ("def_", "KernelDebugLog\n", "KernelDebugLog = KernelDebugLog@4\n", at, True,
         f"KernelDebugLog: stdcall popping 4 bytes, the {a} promise says cdecl"),
        ("def_", "korva_lefttrim =", "korva_lefttrm =", (at[0] + 1, 0, 0), False, "korva_lefttrim: lost from"),
        ("def_", "EXPORTS\n", "EXPORTS\n    korva_spare = korva_spare@4\n", at, True, "minor number has not moved"),
        (None, None, None, (0, 0, 0), True, f"version 0.0.0 is lower than the snapshot's {a}"),
    ]
    bad = 0
    with tempfile.TemporaryDirectory() as tmp:
        for i, (key, old, new, version, fails, expected) in enumerate(seeds):
            scratch = argparse.Namespace(**vars(args))
            for k in ("header", "table", "def_"):
                setattr(scratch, k, shutil.copy(getattr(args, k), os.path.join(tmp, f"{i}-{os.path.basename(getattr(args, k))}")))
            text = open(scratch.header).read()
            text = re.sub(r'(KORVA_VB6_VERSION +)"[0-9.]+"', rf'\1"{dotted(version)}"', text)
            text = re.sub(r"(KORVA_VB6_VERSION_NUMBER +)0x[0-9A-Fa-f]+",
                          rf"\g<1>{version[0] << 16 | version[1] << 8 | version[2]:#08x}", text)
            open(scratch.header, "w").write(text)
            if key:
                text = open(getattr(scratch, key)).read()
                if old not in text:
                    sys.exit(f"seed {i}: {old!r} is not in {show(getattr(args, key))}")
                open(getattr(scratch, key), "w").write(text.replace(old, new, 1))
            failed, lines = check(scratch)
            ok = failed == fails and any(expected in l for l in lines)
            bad += not ok
            print(f"--- seed {i}: {key and show(getattr(args, key))} {old!r} -> {new!r}, version {dotted(version)}: "
                  f"{'as expected' if ok else 'NOT AS EXPECTED'} ({'fails' if fails else 'passes'}, {expected!r})")
            print("\n".join(lines))
    print(f"{len(seeds) - bad} of {len(seeds)} seeds as expected")
    return bad != 0


def main():
    p = argparse.ArgumentParser(description="Holds a release to the export promise of its snapshot.")
    p.add_argument("--header", default=os.path.join(ROOT, "include/korva_vb6.h"))
    p.add_argument("--table", default=os.path.join(ROOT, "tests/wine/exports.h"))
    p.add_argument("--def", dest="def_", default=os.path.join(ROOT, "frame/KORVA_VB6.def"))
    p.add_argument("--baseline", default=os.path.join(ROOT, "tests/release/abi-baseline.txt"))
    p.add_argument("--dll", help="the built KORVA_VB6.dll (its export table is checked too)")
    p.add_argument("--objdump", default="llvm-objdump-16")
    mode = p.add_mutually_exclusive_group()
    mode.add_argument("--retake", action="store_true")
    mode.add_argument("--seeded", action="store_true")
    args = p.parse_args()
    if args.retake:
        return retake(args)
    if args.seeded:
        return sys.exit(seeded(args))
    failed, lines = check(args)
    print("\n".join(lines))
    sys.exit(failed)


if __name__ == "__main__":
    main()
