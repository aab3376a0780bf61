#!/usr/bin/env python3
"""check-links.py [<repository>]

Checks that what README.md, CHANGES.md and docs/*.md point at exists: prints one line
per broken reference and exits 1 when there is one.  <repository> defaults
to the folder two levels above this script.  Fenced code blocks are program
text and output, and are not read.

- A relative link or image, [text](target): the target, without its
  #fragment, taken relative to the page, must exist.
- A repository path in a code span (`...`): a word of letters, digits and
  . _ + - / that does not start with - or / (so not an option, a
  <placeholder>, a %VARIABLE%, a C:\\ path or a URL), and that ends in a
  source extension (SOURCE below) or holds a / with no extension on its last
  part (a folder, or a file such as .ci/run).  Built files (.dll, .exe, ...)
  are not paths here.  A path with a / must exist from the repository's top,
  unless it is what a build makes (build/) or lies in the release zip's own
  folders (ZIP_ONLY); a bare name must be some file's name in the
  repository, or a file the release step makes at the zip's top (README.txt,
  SHA256SUMS.txt, CHANGES.txt).
"""
import os
import re
import sys

SOURCE = (".md", ".sh", ".py", ".cpp", ".h", ".c", ".bas", ".idl", ".def", ".txt", ".cmake", ".json")
ZIP_ONLY = ("build/", "bin/", "lib/", "symbols/", "doc/")
ZIP_TOP = ("README.txt", "SHA256SUMS.txt", "CHANGES.txt")
PATH_WORD = re.compile(r"[A-Za-z0-9_.][A-Za-z0-9_.+/-]*\Z")
FENCE = re.compile(r" {0,3}(```|~~~)")
CODE_SPAN = re.compile(r"`([^`\n]+)`")
LINK = re.compile(r"!?\[[^\]]*\]\(\s*<?([^)\s>]+)>?[^)]*\)")


def prose(text):
    """The page's lines, those of fenced code blocks blanked."""
    lines, fence = text.split("\n"), None
    for i, line in enumerate(lines):
        m = FENCE.match(line)
        if fence or m:
            fence = None if fence and m and m.group(1) == fence else fence or m.group(1)
            lines[i] = ""
    return lines


def is_path(word):
    if not PATH_WORD.match(word) or word.startswith(("-", "/")):
        return False
    last = word.rstrip("/").rsplit("/", 1)[-1]
    if "/" not in word:
        return word.endswith(SOURCE) and not last.startswith(".")
    return word.endswith(SOURCE) or "." not in last[1:]


def check_page(root, page, names):
    broken, count = [], 0
    rel = os.path.relpath(page, root)
    for n, line in enumerate(prose(open(page, encoding="utf-8").read()), 1):
        for word in (w for span in CODE_SPAN.findall(line) for w in span.split()):
            path = word[2:] if word.startswith("./") else word
            if not is_path(path):
                continue
            count += 1
            if "/" in path and not path.startswith(ZIP_ONLY) and not os.path.exists(os.path.join(root, path)):
                broken.append(f"{rel}:{n}: `{word}`: no such path in the repository")
            elif "/" not in path and path not in names and path not in ZIP_TOP:
                broken.append(f"{rel}:{n}: `{word}`: no file of that name in the repository")
        for target in LINK.findall(CODE_SPAN.sub("", line)):
            if re.match(r"[A-Za-z][A-Za-z0-9+.-]*:", target) or target.startswith("#"):
                continue
            count += 1
            path = target.partition("#")[0]
            if not os.path.exists(os.path.join(os.path.dirname(page), path)):
                broken.append(f"{rel}:{n}: link {target}: {path} does not exist")
    return broken, count


def main():
    if len(sys.argv) > 2:
        sys.exit(__doc__)
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.abspath(sys.argv[1] if len(sys.argv) == 2 else os.path.join(here, "..", ".."))
    docs = os.path.join(root, "docs")
    pages = [os.path.join(root, "README.md"), os.path.join(root, "CHANGES.md")] + sorted(
        os.path.join(docs, p) for p in os.listdir(docs) if p.endswith(".md"))
    names = {f for folder, dirs, files in os.walk(root) if "/.git" not in folder and "/build" not in folder
             for f in files}
    broken, total = [], 0
    for page in pages:
        b, n = check_page(root, page, names)
        broken += b
        total += n
    print("\n".join(broken + [f"{len(pages)} pages, {total} links and paths checked, {len(broken)} broken"]))
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
