#!/usr/bin/env python3
"""release-zip.py <folder> <zip> <release-time file>

Zips <folder> (the folder itself is the zip's top entry) so that the same
files always give the same bytes: entries in sorted order, every entry
stamped with the release's time (seconds since 1970, read from the file the
build writes: cmake/source-commit.cmake), files 0644 and folders 0755, no
extra fields.  Visual Basic's files and the text files end their lines in
CR LF, as the VB6 IDE and old Notepads need, whatever the checkout has.
"""
import os
import sys
import time
import zipfile

CRLF_TEXT = (".bas", ".vbp", ".txt")


def stamp(time_file):
    with open(time_file) as f:
        t = time.gmtime(int(f.read().strip()))
    if t.tm_year < 1980:
        return (1980, 1, 1, 0, 0, 0)
    return (t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec & ~1)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    folder, out = os.path.abspath(sys.argv[1]), sys.argv[2]
    when = stamp(sys.argv[3])
    top = os.path.dirname(folder)

    entries = []
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        entries.append((os.path.relpath(root, top) + "/", None))
        entries.extend((os.path.relpath(os.path.join(root, f), top), os.path.join(root, f)) for f in files)
    entries.sort()

    tmp = out + ".tmp"
    with zipfile.ZipFile(tmp, "w") as z:
        for name, path in entries:
            info = zipfile.ZipInfo(name.replace(os.sep, "/"), date_time=when)
            info.create_system = 3  # Unix, so that the modes below mean what they say
            if path is None:
                info.external_attr = (0o40755 << 16) | 0x10
                z.writestr(info, b"")
            else:
                info.external_attr = 0o100644 << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(path, "rb") as f:
                    data = f.read()
                if path.lower().endswith(CRLF_TEXT):
                    data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
                z.writestr(info, data, compresslevel=9)
    os.replace(tmp, out)


if __name__ == "__main__":
    main()
