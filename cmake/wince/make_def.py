#!/usr/bin/python3
"""Writes the import definitions of COREDLL from the table of platform
operations: each operation by its ordinal only (NAME @ORD NONAME), so that
the import library dlltool makes from them imports by ordinal, with no
hint/name entries, as the device's own toolchain does.

Usage: make_def.py OPERATIONS.H OUTPUT.def

The names stay in the definitions because the program's objects refer to the
operations by name; they do not reach the image.
"""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
import operations  # noqa: E402


def definitions(rows):
    lines = [
        "; COREDLL's operations that the program calls, imported by ordinal only.",
        "; Made from platform/operations.h by cmake/wince/make_def.py.",
        "LIBRARY COREDLL.dll",
        "EXPORTS",
    ]
    lines += [f"{row.name} @{row.ordinal} NONAME" for row in rows]
    return "\n".join(lines) + "\n"


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    try:
        rows = operations.read(sys.argv[1])
    except operations.TableError as error:
        sys.exit(f"make_def.py: {error}")
    pathlib.Path(sys.argv[2]).write_text(definitions(rows))


if __name__ == "__main__":
    main()
