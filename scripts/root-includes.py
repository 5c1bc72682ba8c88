#!/usr/bin/env python3
"""Rewrites every quoted #include of our own headers to its path from the repository root
(#include "Logger.h" in media/ becomes #include "core/Logger.h"), so that each line shows the
layer it reaches into, and sorts each run of such lines by path, so that they group by layer. Safe to run again at any time, e.g. after a merge brought in files that
still use bare names; prints the files it changed.

A bare name is looked up beside the including file first, then anywhere in the source
folders; a name that two folders share and that is not beside the includer is reported and
left alone. Includes of files that are not in the tree (moc output) are left alone.
    python3 scripts/root-includes.py [--check]
--check changes nothing and exits 1 when something would change.
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Folders that hold our C++ sources (those that do not exist yet are skipped).
FOLDERS = ["app", "core", "media", "project", "playback", "engine", "viewer", "export", "server",
           "maya", "ui", "tests", "bench"]
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".c", ".inc")
INCLUDE = re.compile(r'^(\s*#\s*include\s*)"([^"]+)"')


def source_files():
    for folder in FOLDERS:
        top = os.path.join(ROOT, folder)
        for directory, subdirs, files in os.walk(top):
            subdirs[:] = [d for d in subdirs if not d.startswith(".") and not d.startswith("build")]
            for name in files:
                if name.endswith(SOURCE_SUFFIXES):
                    yield os.path.relpath(os.path.join(directory, name), ROOT).replace(os.sep, "/")


def main():
    check = "--check" in sys.argv[1:]
    files = sorted(source_files())
    by_name = {}
    for path in files:
        by_name.setdefault(os.path.basename(path), []).append(path)

    changed, problems = [], []
    for path in files:
        here = os.path.dirname(path)
        with open(os.path.join(ROOT, path), encoding="utf-8") as f:
            lines = f.read().split("\n")
        dirty = False
        for i, line in enumerate(lines):
            m = INCLUDE.match(line)
            if not m:
                continue
            target = m.group(2)
            if os.path.isfile(os.path.join(ROOT, target)) and "/" in target and not target.startswith("."):
                continue  # written from the root already
            beside = os.path.normpath(os.path.join(here, target)).replace(os.sep, "/")
            if os.path.isfile(os.path.join(ROOT, beside)) and not beside.startswith(".."):
                resolved = beside
            else:
                candidates = by_name.get(os.path.basename(target), [])
                if len(candidates) == 1:
                    resolved = candidates[0]
                elif candidates:
                    problems.append(f"{path}:{i + 1}: \"{target}\" could be any of {', '.join(candidates)}")
                    continue
                else:
                    continue  # generated (moc) or not ours
            if resolved != target:
                lines[i] = f'{m.group(1)}"{resolved}"{line[m.end():]}'
                dirty = True
        # Each run of consecutive quoted includes in path order, so that includes group by layer.
        start = 0
        while start < len(lines):
            if not INCLUDE.match(lines[start]):
                start += 1
                continue
            end = start
            while end < len(lines) and INCLUDE.match(lines[end]):
                end += 1
            run = sorted(lines[start:end], key=lambda l: INCLUDE.match(l).group(2))
            if run != lines[start:end]:
                lines[start:end] = run
                dirty = True
            start = end
        if dirty:
            changed.append(path)
            if not check:
                with open(os.path.join(ROOT, path), "w", encoding="utf-8") as f:
                    f.write("\n".join(lines))

    for path in changed:
        print(("would change " if check else "changed ") + path)
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems or (check and changed):
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
