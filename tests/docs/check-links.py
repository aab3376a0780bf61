#!/usr/bin/env python3
"""check-links.py [<repository>]

Checks that what README.md and docs/*.md point at exists.  Prints one line
per broken reference and exits 1 when there is one; exits 0 otherwise.
<repository> defaults to the folder two levels above this script.

What is checked:

1. Links and images, [text](target), and reference definitions,
   [label]: target, whose target is relative (no scheme such as https: or
   mailto:).  The target without its #fragment is taken relative to the
   page and must exist.  A fragment into a Markdown page, or a bare
   #fragment into the page itself, must be the anchor of one of that page's
   headings (lower case, punctuation dropped, spaces made hyphens).

2. Repository paths written in code spans (`...`).  A span is split at
   whitespace, and a word is taken for a path when
     - it is made of letters, digits and . _ + - / only (so a <placeholder>,
       a %VARIABLE%, a C:\\ path, a URL or name@N is not), and does not
       start with - (an option) or / (a path on the machine, not in the
       repository); and
     - it ends in a source extension (.md .sh .py .cpp .h .c .bas .idl .def
       .txt .cmake .json), or it holds a / and its last part has no
       extension at all (a folder such as tests/wine/, a file such as
       .ci/run).  So built files (.dll .exe .tlb .pdb .lib .a .zip) are
       not taken for paths, nor is an extension alone (.def).
   A leading ./ is dropped.  A path with a / is read from the repository's
   top and must exist there (a file or a folder), except
     - build/...: what a build makes, absent before one;
     - bin/..., lib/..., symbols/..., doc/...: names inside the release zip, whose
       other folders (include/, vb6/, examples/, tools/) mirror the
       repository's.
   A bare file name must be the name of some file in the repository, except
   README.txt, the zip's guide.

Fenced code blocks (``` or ~~~) are program text and output: not read.
"""
import os
import re
import sys

SOURCE_EXTENSIONS = (".md", ".sh", ".py", ".cpp", ".h", ".c", ".bas", ".idl", ".def", ".txt",
                     ".cmake", ".json")
NOT_IN_REPOSITORY = ("build/", "bin/", "lib/", "symbols/", "doc/")
ZIP_ONLY_NAMES = {"README.txt"}

PATH_WORD = re.compile(r"[A-Za-z0-9_.][A-Za-z0-9_.+/-]*\Z")
FENCE = re.compile(r" {0,3}(```|~~~)")
# a code span: a run of backticks, then text without a blank line, then the
# same run
CODE_SPAN = re.compile(r"(`+)((?:[^`\n]|\n(?![ \t]*\n)|`(?!\1))+?)\1(?!`)")
LINK = re.compile(r"!?\[(?:[^\]\\]|\\.)*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
REFERENCE = re.compile(r"^ {0,3}\[[^\]]+\]:\s*<?([^\s>]+)>?", re.M)
HEADING = re.compile(r"^ {0,3}#{1,6}[ \t]+(.*?)[ \t#]*$")
SCHEME = re.compile(r"[A-Za-z][A-Za-z0-9+.-]*:")


def prose(text):
    """The text with the lines of fenced code blocks blanked (line numbers stay)."""
    lines, fence = text.split("\n"), None
    for i, line in enumerate(lines):
        m = FENCE.match(line)
        if fence:
            if m and m.group(1) == fence:
                fence = None
            lines[i] = ""
        elif m:
            fence = m.group(1)
            lines[i] = ""
    return "\n".join(lines)


def anchor(heading):
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", heading).replace("`", "")
    text = re.sub(r"[^\w\- ]", "", text.strip().lower())
    return text.replace(" ", "-")


def anchors(path, cache={}):
    if path not in cache:
        seen, found = {}, set()
        with open(path, encoding="utf-8") as f:
            for line in prose(f.read()).split("\n"):
                m = HEADING.match(line)
                if not m:
                    continue
                a = anchor(m.group(1))
                n = seen.get(a, 0)
                seen[a] = n + 1
                found.add(a if n == 0 else f"{a}-{n}")
        cache[path] = found
    return cache[path]


def file_names(root):
    names = set()
    for folder, dirs, files in os.walk(root):
        if folder == root:
            dirs[:] = [d for d in dirs if d not in (".git", "build")]
        names.update(files)
    return names


def check_page(root, page, names):
    """The broken references of one page, and how many references it has."""
    broken, count = [], 0
    with open(page, encoding="utf-8") as f:
        text = prose(f.read())
    rel = os.path.relpath(page, root)

    def where(offset):
        return f"{rel}:{text.count(chr(10), 0, offset) + 1}"

    # code spans, then blanked so that links are looked for outside them
    plain = list(text)
    for m in CODE_SPAN.finditer(text):
        plain[m.start():m.end()] = " " * (m.end() - m.start())
        for word in m.group(2).split():
            if not PATH_WORD.match(word) or word.startswith(("-", "/")):
                continue
            path = word[2:] if word.startswith("./") else word
            last = path.rstrip("/").rsplit("/", 1)[-1]
            if last.startswith(".") and "/" not in path:
                continue                    # an extension alone: `.def`
            if not path.endswith(SOURCE_EXTENSIONS) and ("/" not in path or "." in last[1:]):
                continue
            count += 1
            if "/" in path:
                if path.startswith(NOT_IN_REPOSITORY):
                    continue
                if not os.path.exists(os.path.join(root, path)):
                    broken.append(f"{where(m.start())}: `{word}`: no such path in the repository")
            elif path not in names and path not in ZIP_ONLY_NAMES:
                broken.append(f"{where(m.start())}: `{word}`: no file of that name in the repository")
    plain = "".join(plain)

    targets = [(m.start(), m.group(1)) for m in LINK.finditer(plain)]
    targets += [(m.start(), m.group(1)) for m in REFERENCE.finditer(plain)]
    for offset, target in targets:
        if SCHEME.match(target):
            continue
        count += 1
        path, _, fragment = target.partition("#")
        full = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
        if not os.path.exists(full):
            broken.append(f"{where(offset)}: link {target}: {path} does not exist")
        elif fragment and full.endswith(".md") and fragment not in anchors(full):
            broken.append(f"{where(offset)}: link {target}: no heading #{fragment} in "
                          f"{os.path.relpath(full, root)}")
    return broken, count


def main():
    if len(sys.argv) > 2:
        sys.exit(__doc__)
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.abspath(sys.argv[1] if len(sys.argv) == 2 else os.path.join(here, "..", ".."))
    docs = os.path.join(root, "docs")
    pages = [os.path.join(root, "README.md")]
    if os.path.isdir(docs):
        pages += sorted(os.path.join(docs, n) for n in os.listdir(docs) if n.endswith(".md"))

    names, broken, total = file_names(root), [], 0
    for page in pages:
        b, n = check_page(root, page, names)
        broken += b
        total += n
    for line in broken:
        print(line)
    print(f"{len(pages)} pages, {total} links and paths checked, {len(broken)} broken")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
