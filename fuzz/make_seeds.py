#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz target into fuzz/corpus/.

Each seed is a device in the target's input layout (see autorun_fuzz.cpp,
BuildDevice and LLVMFuzzerTestOneInput): the common cards and the edge cases
of long names, so the fuzzer starts from inputs that reach every flow.
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cmake"))
import operations  # noqa: E402  (the table of platform operations)

# The failable operations, in the table's order: the fuzz target's mask of
# failing operations numbers them so.
OPS = [op.name for op in operations.read() if op.failable]
DIRECTORY, TEMPORARY = 0x10, 0x100
CARD = DIRECTORY | TEMPORARY
TIME = 134116992000000000  # 2026-01-01


def u8(v): return struct.pack("<B", v)
def u16(v): return struct.pack("<H", v)
def u32(v): return struct.pack("<I", v)
def u64(v): return struct.pack("<Q", v)


def text(s):
    units = s.encode("utf-16-le")
    return u16(len(units) // 2) + units


def package(folder, name, cab=True, attributes=0, time=TIME):
    # folder: 0 "2577", 1 "wince\arm", (2, name) another folder, 3 the card itself
    if isinstance(folder, tuple):
        head = u8(2) + text(folder[1])
    else:
        head = u8(folder)
    return head + text(name) + u8(1 if cab else 0) + u16(attributes) + u64(time)


def root(name, attributes, children=(), time=TIME):
    return text(name) + u16(attributes) + u64(time) + u8(len(children)) + b"".join(children)


def device(platform=0, major=4, title=0, title_text="", uninstall_ms=25, key_failures=0, failing=(),
           clear_registry=False, app_key=False, reader_time=None, menu_copy=False,
           shell_copy=True, roots=(), steps=((0,), (1,), (3,), (2,))):
    mask = sum(1 << OPS.index(op) for op in failing)
    present = ((1 if clear_registry else 0) | (2 if app_key else 0) |
               (4 if reader_time is not None else 0) | (8 if menu_copy else 0) |
               (16 if shell_copy else 0))
    out = u8(platform) + u32(major) + u8(title) + (text(title_text) if title == 3 else b"")
    out += u8(uninstall_ms) + u8(key_failures)
    out += u16(mask) + u8(present)
    if reader_time is not None:
        out += u64(reader_time)
    out += u8(len(roots)) + b"".join(roots)
    out += u8(len(steps) - 1)
    for step in steps:
        out += u8(step[0])
        if step[0] == 4:
            out += text(step[1]) + text(step[2])
        elif step[0] == 5:
            out += text(step[1])
    return out


card = root("Storage Card", CARD, [package(0, "autorun.exe", cab=False),
                                   package(0, "Reader"), package(1, "Reader")])
seeds = {
    "pocketpc-life": device(roots=[card]),
    "other-platform": device(platform=1, roots=[card]),
    "old-reader": device(reader_time=TIME - 1, app_key=True, roots=[card]),
    "no-card": device(reader_time=TIME, app_key=True,
                      roots=[root("Storage Card", DIRECTORY, [package(0, "Reader")])]),
    "second-card": device(roots=[root("Empty", CARD, [package(0, "notes", cab=False)]), card]),
    "long-card-names": device(roots=[
        root("C" * 300, CARD, [package(0, "Reader")]),
        root("D" * 260, CARD, [package(0, "Reader")]),
        root("E" * 248, CARD, [package(0, "R")]),
        root("F" * 247, CARD, [package(0, "R")])]),  # the pattern fills 260 units exactly
    "long-package-name": device(roots=[
        root("Storage Card", CARD, [package(0, "P" * 300), package(1, "Q" * 240)]),
        root("Card 2", CARD, [package(0, "Q" * 242)])]),  # the path fills 260 units exactly
    "title-in-path": device(title=2, roots=[root("My Card", CARD, [package(0, "Reader")])],
                            steps=((4, "\\My Card\\2577\\autorun.exe", ""), (1,))),
    "removal-held-key": device(app_key=True, key_failures=12, uninstall_ms=200,
                               reader_time=TIME, menu_copy=True, steps=((2,), (5, "INSTALL"))),
    "failing-probe": device(failing=["SystemParametersInfoW", "LoadStringW"], roots=[card]),
    "custom-title": device(title=3, title_text="Velluma & Co\\Reader", roots=[card], steps=((0,), (1,))),
    # A Windows Mobile 6 device (platform bit 2: the Configuration Manager).
    "windows-mobile-life": device(platform=4, major=5, roots=[card]),
    # A registry without SOFTWARE: the package's keys make it, and its removal
    # must leave SOFTWARE\Apps, which the program's key made beneath it.
    "bare-registry-life": device(clear_registry=True, roots=[card]),
    # Started from the menu first, on a device without a Start Menu: the
    # installer makes it for the shortcut, the Configuration Manager removes
    # it, and the removal's menu step makes it again.
    "start-menu-made-twice": device(platform=4, major=5, roots=[card], steps=((1,), (2,))),
}

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
os.makedirs(here, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)
print(f"{len(seeds)} seeds in {here}")
