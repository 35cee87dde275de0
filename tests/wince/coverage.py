#!/usr/bin/python3
"""The instruction coverage of the device image: which of the instructions
reachable from its entry point (the image check's walk, tests/windows/
arm_code.py) its runs executed.

  coverage.py --image EXE --map MAP --exceptions FILE EXECUTED...

Each EXECUTED file holds ranges that ran, one a line, as autorun-sim
(AUTORUN_SIM_EXECUTED) and the image sweep write them: the machine's name and
the range's start and end relative to the image base ("ARM 0x1000 0x1010").
Prints the share of the reachable instructions that ran and every range that
never ran, named by function from the linker's map.

The exceptions file lists what no device state can make run, one line each:
"FUNCTION +0xSTART-0xEND: reason", the range relative to the function's
start, as the report prints it ('#' begins a comment). Fails when a range
that never ran is not listed, when a listed range is not one that never ran
(the list must not go stale), or when an instruction ran that the walk does
not reach (the walk would have missed code).
"""
import argparse
import pathlib
import re
import sys

import pefile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "windows"))
import arm_code  # noqa: E402


def read_functions(map_text):
    """[(start, end, name)] of the functions in the map's .text output
    section, by address; a function ends where the next begins or its input
    section ends. Names lose their parameter lists."""
    symbols = []  # (address, name, end of its input section)
    inside = False
    section = None  # the current input section of code: [start, end), or None
    awaiting = False  # the input section's address and size are on the next line
    for line in map_text.splitlines():
        if re.match(r"\.text\s", line):
            inside = True
            continue
        if not inside:
            continue
        if re.match(r"\S", line):
            break  # the next output section
        named = re.match(r" \.(\S+)(?:\s+(0x[0-9a-f]+)\s+(0x[0-9a-f]+)\s)?", line)
        if named:
            section, awaiting = None, False
            if named[1] == "text" or named[1].startswith("text."):
                if named[2]:
                    start = int(named[2], 16)
                    section = (start, start + int(named[3], 16))
                else:
                    awaiting = True
            continue
        placed = re.match(r"\s+(0x[0-9a-f]+)\s+(0x[0-9a-f]+)\s+\S", line)
        if placed and awaiting:
            start = int(placed[1], 16)
            section, awaiting = (start, start + int(placed[2], 16)), False
            continue
        symbol = re.match(r"\s+(0x[0-9a-f]+)\s+([^\s*].*)$", line)
        if symbol and section and section[0] < section[1]:
            symbols.append((int(symbol[1], 16), symbol[2].split("(")[0], section[1]))
    symbols.sort()
    functions = []
    for i, (start, name, end) in enumerate(symbols):
        if i + 1 < len(symbols):
            end = min(end, symbols[i + 1][0])
        functions.append((start, end, name))
    return functions


def read_executed(paths):
    """The offsets from the image base of every byte the ARM runs executed."""
    ran = set()
    for path in paths:
        for number, line in enumerate(pathlib.Path(path).read_text().splitlines(), 1):
            parts = line.split()
            if len(parts) != 3:
                raise SystemExit(f"{path}:{number}: not a range: {line!r}")
            if parts[0] == "ARM":
                ran.update(range(int(parts[1], 16), int(parts[2], 16)))
    return ran


def read_exceptions(path):
    """{(function, start, end): reason} from the exceptions file."""
    listed = {}
    for number, line in enumerate(pathlib.Path(path).read_text().splitlines(), 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        found = re.fullmatch(r"(\S+) \+(0x[0-9a-f]+)-(0x[0-9a-f]+): (.+)", line)
        if not found:
            raise SystemExit(f"{path}:{number}: want 'FUNCTION +0xSTART-0xEND: reason'")
        listed[(found[1], int(found[2], 16), int(found[3], 16))] = found[4]
    return listed


def text_section(pe):
    return next(s for s in pe.sections if s.contains_rva(pe.OPTIONAL_HEADER.AddressOfEntryPoint))


def reachable(pe):
    """The addresses of the instructions the walk reaches from the entry."""
    header = pe.OPTIONAL_HEADER
    text = text_section(pe)
    slots = {imp.address: imp.name or f"#{imp.ordinal}"
             for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) for imp in entry.imports}
    code = text.get_data()[: text.Misc_VirtualSize]
    walked, _, failures = arm_code.walk(code, header.ImageBase + text.VirtualAddress,
                                        header.ImageBase + header.AddressOfEntryPoint, slots)
    if failures:
        raise SystemExit("the walk fails: " + "; ".join(failures))
    return walked


def uncovered(never, functions):
    """The addresses that never ran, as (function, start, end, address)
    ranges of instructions side by side within one function, start and end
    relative to the function's start."""
    def function_of(address):
        return next(((start, name) for start, end, name in functions if start <= address < end),
                    (0, "?"))

    ranges = []
    for address in sorted(never):
        start, name = function_of(address)
        if ranges and ranges[-1][2] == address and ranges[-1][0] == name:
            ranges[-1][2] = address + 4
        else:
            ranges.append([name, address, address + 4, start])
    return [(name, begin - start, end - start, begin) for name, begin, end, start in ranges]


def report(walked, ran, functions, listed, code):
    """The report's lines, and whether coverage is complete: walked, the
    reachable instructions' addresses; ran, the addresses of the bytes that
    ran; listed, the exceptions; code, the range of the code's addresses."""
    lines = []
    covered = walked & ran
    lines.append(f"device image: {len(covered)} of {len(walked)} reachable instructions ran "
                 f"({100 * len(covered) / len(walked):.1f}%)")
    never = uncovered(walked - covered, functions)
    if never:
        lines.append("never ran:")
    listed = dict(listed)
    excepted, complete = 0, True
    for name, start, end, address in never:
        reason = listed.pop((name, start, end), None)
        lines.append(f"  {name} +{start:#x}-{end:#x} (at {address:#x}, {(end - start) // 4} "
                     "instructions): " + (reason or "NOT LISTED as an exception"))
        if reason:
            excepted += (end - start) // 4
        complete = complete and reason is not None
    lines.append(f"ran or listed as an exception: {len(covered) + excepted} of {len(walked)} "
                 f"({100 * (len(covered) + excepted) / len(walked):.1f}%)")
    for name, start, end in listed:
        lines.append(f"listed, but not a range that never ran: {name} +{start:#x}-{end:#x}")
        complete = False
    for address in sorted(a for a in ran if a in code and a % 4 == 0 and a not in walked):
        lines.append(f"ran, but the walk does not reach it: {address:#x}")
        complete = False
    return lines, complete


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--image", required=True)
    parser.add_argument("--map", required=True)
    parser.add_argument("--exceptions", required=True)
    parser.add_argument("executed", nargs="+")
    args = parser.parse_args()

    pe = pefile.PE(args.image)
    base = pe.OPTIONAL_HEADER.ImageBase
    text = text_section(pe)
    start = base + text.VirtualAddress
    lines, complete = report(reachable(pe),
                             {base + offset for offset in read_executed(args.executed)},
                             read_functions(pathlib.Path(args.map).read_text()),
                             read_exceptions(args.exceptions),
                             range(start, start + text.Misc_VirtualSize))
    print("\n".join(lines))
    return 0 if complete else 1


if __name__ == "__main__":
    sys.exit(main())
