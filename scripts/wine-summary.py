#!/usr/bin/env python3
"""wine-summary.py <windows build dir>

What the last run of the Wine tests did, at a glance, from the JUnit file
ctest wrote (wine-tests.xml) and how the build found 32-bit programs to run
(KORVA_IA32 in its cache, from scripts/ia32.sh):

    Wine tests: N native, N emulated, N shortened, N skipped

then one line for each test that was shortened or skipped, with why.  A Wine
test is one of <prefix>.<name> (w64, w32); the prefixes' set-up is not
counted.  A test that ran counts as native or emulated whether it passed or
not: ctest's summary above says that.
"""
import re
import sys
import xml.etree.ElementTree as ET

build = sys.argv[1]
try:
    cache = open(f"{build}/CMakeCache.txt").read()
    suite = ET.parse(f"{build}/wine-tests.xml").getroot()
except OSError as e:
    print(f"Wine tests: no summary ({e.strerror}: {e.filename})")
    sys.exit(0)
mode = re.search(r"^KORVA_IA32:INTERNAL=(\w+)$", cache, re.M)
mode = mode.group(1) if mode else "native"

ran = shortened = 0
skipped, notes = [], []
for case in suite.iter("testcase"):
    name = case.get("name")
    if not re.match(r"w(64|32)\.", name) or name.endswith(".prefix"):
        continue
    out = case.findtext("system-out") or ""
    said = re.search(r"^SKIPPED: (.*)$", out, re.M)
    if case.get("status") in ("notrun", "disabled") or said:
        why = said.group(1) if said else (case.find("skipped").get("message", "")
                                          if case.find("skipped") is not None else "not run")
        skipped.append(f"  skipped {name}: {why}")
        continue
    short = re.search(r"^SHORTENED: (.*)$", out, re.M)
    if short:
        shortened += 1
        notes.append(f"  shortened {name}: {short.group(1)}")
    else:
        ran += 1

native, emulated = (ran, 0) if mode == "native" else (0, ran)
print(f"Wine tests: {native} native, {emulated} emulated, {shortened} shortened, {len(skipped)} skipped")
for line in notes + skipped:
    print(line)
