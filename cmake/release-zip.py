#!/usr/bin/env python3
"""release-zip.py <folder> <zip> <release-time file>

Zips <folder> (the folder itself is the zip's top entry) so that the same
files always give the same bytes: entries in sorted order, every entry
stamped with the release's time (seconds since 1970, read from the file the
build writes: cmake/source-commit.cmake), files 0644 and folders 0755, no
extra fields.  Visual Basic's files and the text files end their lines in
CR LF, as the VB6 IDE and old Notepads need, whatever the checkout has; the
Markdown pages do too, and start with a UTF-8 byte-order mark when they hold
any byte outside ASCII, so that Notepad does not read them in the ANSI code
page.  The zip also gets SHA256SUMS.txt beside the folder's files: the
SHA-256 of every other file as it is in the zip, in `sha256sum -c` form,
paths relative to the top folder (a SHA256SUMS.txt in <folder> is left out
and made anew, so that a folder zipped twice gets the list of its files).
"""
import hashlib
import os
import sys
import time
import zipfile

CRLF_TEXT = (".bas", ".vbp", ".txt", ".md")
SUMS = "SHA256SUMS.txt"
BOM = b"\xef\xbb\xbf"


def stamp(time_file):
    with open(time_file) as f:
        t = time.gmtime(int(f.read().strip()))
    if t.tm_year < 1980:
        return (1980, 1, 1, 0, 0, 0)
    return (t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec & ~1)


def as_shipped(name, data):
    """The bytes of a file as the zip holds them."""
    if name.lower().endswith(CRLF_TEXT):
        data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    if name.lower().endswith(".md") and not data.startswith(BOM) and not data.isascii():
        data = BOM + data
    return data


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    folder, out = os.path.abspath(sys.argv[1]), sys.argv[2]
    when = stamp(sys.argv[3])
    top = os.path.dirname(folder)
    base = os.path.basename(folder)

    entries = {}
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        entries[os.path.relpath(root, top).replace(os.sep, "/") + "/"] = None
        for f in files:
            name = os.path.relpath(os.path.join(root, f), top).replace(os.sep, "/")
            if name == f"{base}/{SUMS}":
                continue
            with open(os.path.join(root, f), "rb") as fh:
                entries[name] = as_shipped(name, fh.read())
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name[len(base) + 1:]}\n"
                   for name, data in sorted(entries.items()) if data is not None)
    entries[f"{base}/{SUMS}"] = as_shipped(SUMS, sums.encode("ascii"))

    tmp = out + ".tmp"
    with zipfile.ZipFile(tmp, "w") as z:
        for name in sorted(entries):
            data = entries[name]
            info = zipfile.ZipInfo(name, date_time=when)
            info.create_system = 3  # Unix, so that the modes below mean what they say
            if data is None:
                info.external_attr = (0o40755 << 16) | 0x10
                z.writestr(info, b"")
            else:
                info.external_attr = 0o100644 << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                z.writestr(info, data, compresslevel=9)
    os.replace(tmp, out)


if __name__ == "__main__":
    main()
