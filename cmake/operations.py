"""Reads the table of platform operations, platform/operations.h, for the
tools that list the operations: the device's import definitions and the image
check.

Each row of AUTORUN_OPERATIONS is X(name, ordinal, dll, desktopName,
arguments, failable, usual, matched, effect). A line of the table that does not read as a row is an
error, naming its line: a row skipped here would be an import missing from
the image, or an import the check lets through.
"""
import collections
import pathlib
import re

HEADER = pathlib.Path(__file__).resolve().parents[1] / "platform" / "operations.h"

Operation = collections.namedtuple(
    "Operation", "name ordinal dll desktop_name arguments failable usual matched effect")

DEFINE = re.compile(r"#define\s+AUTORUN_OPERATIONS\(X\)")
ROW = re.compile(r"X\(\s*(\w+)\s*,\s*(\d+)\s*,\s*(\w+)\s*,\s*(\w+)\s*,\s*(\d+)\s*,\s*([01])\s*,"
                 r"\s*(\w+)\s*,\s*(\w+)\s*,\s*(\w+)\s*\)")


class TableError(Exception):
    pass


def read(path=HEADER):
    """The table's rows, in its order, as Operations."""
    lines = pathlib.Path(path).read_text().splitlines()
    start = next((i for i, line in enumerate(lines) if DEFINE.match(line.strip())), None)
    if start is None:
        raise TableError(f"{path}: no #define AUTORUN_OPERATIONS(X)")
    rows = []
    at = start
    while lines[at].rstrip().endswith("\\"):
        at += 1
        if at == len(lines):
            raise TableError(f"{path}: the table's last line goes on past the end of the file")
        body = lines[at].rstrip().removesuffix("\\").strip()
        if not body:
            continue
        row = ROW.fullmatch(body)
        if row is None:
            raise TableError(f"{path}:{at + 1}: not a row of the table: {body}")
        name, ordinal, dll, desktop, arguments, failable, usual, matched, effect = row.groups()
        rows.append(Operation(name, int(ordinal), dll, desktop, int(arguments), failable == "1",
                              usual, matched, effect))
    if not rows:
        raise TableError(f"{path}: the table has no rows")
    for field in ("name", "ordinal"):
        values = [getattr(row, field) for row in rows]
        twice = sorted({v for v in values if values.count(v) > 1})
        if twice:
            raise TableError(f"{path}: the same {field} in two rows: {twice}")
    bad = [row.name for row in rows if not 1 <= row.ordinal <= 0xFFFF]
    if bad:
        raise TableError(f"{path}: ordinal out of 1..65535 for {bad}")
    return rows
