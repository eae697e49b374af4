#!/usr/bin/env python3
"""Lists the product functions longer than the limit, from the first line of the signature to the
closing brace, and exits 1 when there are any.

    scripts/check-function-length.py [--limit N] [FILE ...]   (default: 80 lines, every product source)

It reads clang-formatted code: a definition starts at column 0 (or at column 4 inside a class body)
and closes with a brace at the same column."""
import os
import re
import sys

PRODUCT_FOLDERS = ["analysis", "apps", "common", "estimator", "frontend", "platform", "prepare", "tools"]
NOT_A_FUNCTION = re.compile(r"^(public:|private:|protected:|(namespace|class|struct|enum|union|extern|"
                            r"template\s*<[^>]*>\s*(class|struct)|if|for|while|switch|else|do|try|catch|return)\b)")


def definitions(lines):
    """Yields (first line index, length, text) of every function definition."""
    i = 0
    while i < len(lines):
        line = lines[i]
        indent = len(line) - len(line.lstrip(" "))
        text = line.strip()
        if indent in (0, 4) and text and not text.startswith(("#", "//", "}", ":", ")")) \
                and not NOT_A_FUNCTION.match(text):
            j = i
            while j < len(lines) and j - i < 60 and not lines[j].rstrip().endswith(("{", ";", "}")):
                j += 1
            head = " ".join(lines[i:j + 1])
            if j < len(lines) and lines[j].rstrip().endswith("{") and "(" in head \
                    and "=" not in head.split("(")[0]:
                close = " " * indent + "}"
                k = j + 1
                while k < len(lines) and not (lines[k].startswith(close) and
                                              len(lines[k]) - len(lines[k].lstrip(" ")) == indent):
                    k += 1
                yield i, k - i + 1, text
                i = k + 1
                continue
        i += 1


def main(arguments):
    limit = 80
    if arguments[:1] == ["--limit"]:
        limit, arguments = int(arguments[1]), arguments[2:]
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    files = arguments or sorted(os.path.join(folder, name)
                                for top in PRODUCT_FOLDERS
                                for folder, _, names in os.walk(os.path.join(root, top))
                                for name in names if name.endswith((".cpp", ".h")))
    long_ones = []
    for path in files:
        with open(path, encoding="utf-8", errors="replace") as source:
            lines = source.read().split("\n")
        for first, length, text in definitions(lines):
            if length > limit:
                long_ones.append(f"{os.path.relpath(path, root)}:{first + 1}: {length} lines: {text[:80]}")
    if long_ones:
        print(f"Functions over {limit} lines:")
        print("\n".join("  " + entry for entry in long_ones))
        return 1
    print(f"{len(files)} files, no function over {limit} lines")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
