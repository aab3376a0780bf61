#!/usr/bin/env python3
"""relative-paths.py <source dir> <build dir> <command> <args>...

Runs a compile or link command with every absolute path into the source or
build tree rewritten relative to the working folder.  clang records its
whole command line in the PDB and lld its own, so a path that names the
build folder would make two builds of one commit differ; CMake's Ninja
generator writes such paths, and this launcher takes them out again.
"""
import os
import subprocess
import sys


def main():
    if len(sys.argv) < 4:
        sys.exit("usage: relative-paths.py <source dir> <build dir> <command> <args>...")
    cwd = os.getcwd()
    # the longest root first: the build folder usually lies in the source tree
    roots = sorted({os.path.realpath(p) for p in sys.argv[1:3]} | {os.path.abspath(p) for p in sys.argv[1:3]},
                   key=len, reverse=True)
    rel = {root: os.path.relpath(root, cwd) for root in roots}

    def rewrite(arg):
        for root in roots:
            arg = arg.replace(root + "/", rel[root] + "/")
            if arg.endswith(root):
                arg = arg[: -len(root)] + rel[root]
        return arg

    command = [sys.argv[3]] + [rewrite(a) for a in sys.argv[4:]]
    sys.exit(subprocess.call(command))


if __name__ == "__main__":
    main()
