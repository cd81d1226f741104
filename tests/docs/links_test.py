#!/usr/bin/env python3
"""Every relative link of README.md and docs/*.md reaches a file that exists, and every #anchor
one of the target page's headings (GitHub's slugs) or HTML anchors, same-page anchors included.
Prints each broken link with its file and line, and fails when there is any.

Usage: links_test.py SOURCE_DIR"""

import os
import sys
from urllib.parse import unquote

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import doc_markdown  # noqa: E402


def pages(root):
    found = [os.path.join(root, "README.md")]
    docs = os.path.join(root, "docs")
    if os.path.isdir(docs):
        found += sorted(os.path.join(docs, n) for n in os.listdir(docs) if n.endswith(".md"))
    return [p for p in found if os.path.isfile(p)]


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def check(root):
    problems, checked, cache = [], 0, {}

    def anchors_of(path):
        if path not in cache:
            cache[path] = doc_markdown.anchors(read(path))
        return cache[path]

    for page in pages(root):
        name = os.path.relpath(page, root)
        for line, target in doc_markdown.links(read(page)):
            if not target or ":" in target.split("/")[0] or target.startswith("//"):
                continue  # a scheme (https:, mailto:) or another host: not ours to check
            checked += 1
            path_part, _, anchor = target.partition("#")
            path = page if not path_part else os.path.normpath(
                os.path.join(os.path.dirname(page), unquote(path_part)))
            if not os.path.realpath(path).startswith(os.path.realpath(root) + os.sep):
                problems.append(f"{name}:{line}: {target}: leads out of the repository")
                continue
            if not os.path.exists(path):
                problems.append(f"{name}:{line}: {target}: {os.path.relpath(path, root)} does not exist")
                continue
            if not anchor:
                continue
            if not path.endswith(".md"):
                problems.append(f"{name}:{line}: {target}: an anchor into a file that is no Markdown page")
                continue
            if unquote(anchor) not in anchors_of(path):
                near = sorted(a for a in anchors_of(path) if a[:4] == anchor[:4])
                hint = f" (near: {', '.join(near[:5])})" if near else ""
                problems.append(f"{name}:{line}: {target}: {os.path.relpath(path, root)} has no "
                                f"heading whose anchor is #{anchor}{hint}")
    return checked, problems


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 64
    root = os.path.abspath(sys.argv[1])
    checked, problems = check(root)
    for problem in problems:
        print(problem)
    if checked == 0:
        print("FAIL: no relative link found: is the source folder right?")
        return 1
    if problems:
        print(f"FAIL: {len(problems)} of {checked} relative links do not resolve")
        return 1
    print(f"PASS: {checked} relative links in {len(pages(root))} pages resolve")
    return 0


if __name__ == "__main__":
    sys.exit(main())
