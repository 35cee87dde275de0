#!/usr/bin/python3
"""Checks the built autorun.exe: machine, subsystem, stack and heap, imports,
each section's access, size, and every field of its resources (string table,
version block, icon group). Prints the image size, its sections and its
imports.

Usage: check_image.py [--device] AUTORUN.EXE
  --device: the Windows CE image (ARM, subsystem 9 version 3.0, COREDLL by
            ordinal, at most three sections, only ARMv4 code) instead of the
            desktop one (i386, or its x86-64 twin; GUI subsystem; imports by
            name; no C runtime).

The operations the program calls, their ordinals and their desktop names are
read from the table, platform/operations.h.
"""
import os
import pathlib
import re
import struct
import sys

import pefile

import arm_code

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "cmake"))
import operations  # noqa: E402

DEVICE_SIZE_BUDGET = 11264  # 22 file blocks: headers, code, imports, resources
DESKTOP_SIZE_BUDGET = 12800  # 25 file blocks
DEVICE_SECTIONS = 3
FRENCH = 0x040C
NEUTRAL = 0

VERSION_STRINGS = [
    ("Comments", ""),
    ("CompanyName", None),  # the maker's name: any non-empty text
    ("FileDescription", "autorun"),
    ("FileVersion", "1, 0, 0, 1"),
    ("InternalName", "autorun"),
    ("LegalCopyright", None),  # the maker's copyright line: any non-empty text
    ("LegalTrademarks", ""),
    ("OriginalFilename", "autorun.exe"),
    ("PrivateBuild", ""),
    ("ProductName", "Velluma autorun"),
    ("ProductVersion", "1, 0, 0, 1"),
    ("SpecialBuild", ""),
]

# (width, height, colour count, bits per pixel), in the group's order.
ICON_IMAGES = [(32, 32, 16, 4), (16, 16, 16, 4), (16, 16, 0, 24), (32, 32, 0, 24)]

# Section access, as the section headers give it.
READ, WRITE, EXECUTE = 0x40000000, 0x80000000, 0x20000000
BY_ORDINAL = 0x80000000  # in an import lookup entry: the low 16 bits are the ordinal
MOST_IMPORTS = 1024  # a longer import list is a table without its ending null

# Any allocation function: Heap*, Local*/Global*/Virtual*Alloc and Free, the
# C runtime's and C++'s (mangled by GCC or by MSVC). FreeLibrary frees a
# library, not memory.
HEAP_FUNCTION = re.compile(r"alloc|free(?!library$)|heap|^_Z(nw|na|dl|da)|^\?\?(2|3|_U|_V)",
                           re.IGNORECASE)

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def resources(pe, type_id):
    """{(name id, language): data} for one resource type."""
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != type_id:
            continue
        for name in kind.directory.entries:
            for lang in name.directory.entries:
                rva, size = lang.data.struct.OffsetToData, lang.data.struct.Size
                found[(name.id, lang.id)] = pe.get_data(rva, size)
    return found


def check_string_table(pe):
    # Strings are stored 16 to a block; block 1 holds strings 0..15.
    blocks = resources(pe, pefile.RESOURCE_TYPE["RT_STRING"])
    check(list(blocks) == [(1, FRENCH)], f"string table blocks {list(blocks)}, want block 1 in 0x040C")
    data = blocks.get((1, FRENCH), b"")
    strings, at = [], 0
    for _ in range(16):
        (length,) = struct.unpack_from("<H", data, at)
        strings.append(data[at + 2 : at + 2 + 2 * length].decode("utf-16-le"))
        at += 2 + 2 * length
    check(strings[1] == "Dorna & Kel", f"string 1 is {strings[1]!r}")
    check(all(s == "" for i, s in enumerate(strings) if i != 1), f"other strings: {strings}")


def read_block(data, at):
    """One node of the version block: (key, value bytes, value type, children, end)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = at + 6
    while data[key_end : key_end + 2] != b"\0\0":
        key_end += 2
    key = data[at + 6 : key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if value_type == 1 else value_length
    value = data[value_at : value_at + value_size]
    children = []
    child = (value_at + value_size + 3) & ~3
    while child < end:
        node = read_block(data, child)
        children.append(node)
        child = (node[4] + 3) & ~3
    return key, value, value_type, children, end


def text(value):
    return value.decode("utf-16-le").rstrip("\0")


def check_version(pe):
    blocks = resources(pe, pefile.RESOURCE_TYPE["RT_VERSION"])
    check(len(blocks) == 1, f"version resources {list(blocks)}")
    if not blocks:
        return
    (name, lang), data = next(iter(blocks.items()))
    check(lang == FRENCH, f"version resource language {lang:#x}")
    key, fixed, _, children, _ = read_block(data, 0)
    check(key == "VS_VERSION_INFO", f"version root key {key!r}")
    (signature, _, file_ms, file_ls, product_ms, product_ls, mask, flags, os_, type_, subtype,
     date_ms, date_ls) = struct.unpack("<13I", fixed)
    check(signature == 0xFEEF04BD, "fixed part signature")
    check((file_ms, file_ls) == (0x00010000, 0x00000001), "file version 1.0.0.1")
    check((product_ms, product_ls) == (0x00010000, 0x00000001), "product version 1.0.0.1")
    check(mask == 0x3F and flags == 0, f"flags mask {mask:#x}, flags {flags:#x}")
    check(os_ == 0x40004, f"file OS {os_:#x}")
    check(type_ == 1 and subtype == 0, f"file type {type_}, subtype {subtype}")
    check(date_ms == 0 and date_ls == 0, "no file date")

    by_key = {child[0]: child for child in children}
    check(list(by_key) == ["StringFileInfo", "VarFileInfo"], f"version children {list(by_key)}")
    string_info = by_key.get("StringFileInfo")
    if string_info:
        tables = string_info[3]
        check([t[0] for t in tables] == ["040c04b0"], f"string blocks {[t[0] for t in tables]}")
        if tables:
            got = [(s[0], text(s[1])) for s in tables[0][3]]
            check([k for k, _ in got] == [k for k, _ in VERSION_STRINGS], f"version string names {got}")
            for (k, want), (_, value) in zip(VERSION_STRINGS, got):
                if want is None:
                    check(value != "", f"{k} is empty")
                else:
                    check(value == want, f"{k} is {value!r}, want {want!r}")
    var_info = by_key.get("VarFileInfo")
    if var_info:
        translations = [(c[0], c[1]) for c in var_info[3]]
        check(translations == [("Translation", struct.pack("<HH", FRENCH, 1200))],
              f"translation {translations}")


def check_icons(pe):
    groups = resources(pe, pefile.RESOURCE_TYPE["RT_GROUP_ICON"])
    check(list(groups) == [(102, NEUTRAL)], f"icon groups {list(groups)}, want 102, neutral")
    data = groups.get((102, NEUTRAL))
    if data is None:
        return
    images = resources(pe, pefile.RESOURCE_TYPE["RT_ICON"])
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    check(kind == 1 and count == len(ICON_IMAGES), f"icon group type {kind}, {count} images")
    got = []
    for i in range(count):
        width, height, colours, _, planes, bits, size, image_id = struct.unpack_from(
            "<BBBBHHIH", data, 6 + 14 * i)
        got.append((width, height, colours, bits))
        image = images.get((image_id, NEUTRAL))
        check(image is not None and len(image) == size, f"icon image {image_id} missing or sized wrong")
        if image:
            # The image itself: a bitmap header whose height covers colour and mask.
            _, bmp_width, bmp_height, _, bmp_bits = struct.unpack_from("<IiiHH", image, 0)
            check((bmp_width, bmp_height, bmp_bits) == (width, 2 * height, bits),
                  f"icon image {image_id}: {bmp_width}x{bmp_height}, {bmp_bits} bits")
    check(got == ICON_IMAGES, f"icon images {got}, want {ICON_IMAGES}")


def check_no_tls(pe):
    tls = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_TLS"]]
    check(tls.VirtualAddress == 0 and tls.Size == 0, "the image has a TLS directory")


def check_imported(imports, wanted):
    """The imported functions (pefile's import entries) are exactly wanted, by
    name, and none of them allocates. Returns their names."""
    by_ordinal = [imp.ordinal for imp in imports if imp.name is None]
    check(not by_ordinal, f"imports by ordinal: {by_ordinal}")
    names = sorted(imp.name.decode() for imp in imports if imp.name is not None)
    check(names == sorted(wanted), f"imported functions {names}, want {sorted(wanted)}")
    heap = [name for name in names if HEAP_FUNCTION.search(name)]
    check(not heap, f"heap functions imported: {heap}")
    return names


def section_name(section):
    return section.Name.rstrip(b"\0").decode(errors="replace")


def access(section):
    flags = section.Characteristics
    return "".join(letter if flags & bit else "-"
                   for letter, bit in (("r", READ), ("w", WRITE), ("x", EXECUTE)))


def import_lists(pe):
    """For each imported DLL: (its name, the entries of its import lookup table,
    those of its import address table, the address table's RVA). The entries
    are 32-bit words, up to the null that ends each table."""
    lists = []
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        tables = []
        for rva in (entry.struct.OriginalFirstThunk, entry.struct.FirstThunk):
            words = []
            while rva:
                word = pe.get_dword_at_rva(rva + 4 * len(words))
                if not word:
                    break
                if len(words) == MOST_IMPORTS:
                    failures.append(f"an import table at RVA {rva:#x} has no end")
                    break
                words.append(word)
            tables.append(words)
        lists.append((entry.dll.decode(), tables[0], tables[1], entry.struct.FirstThunk))
    return lists


def sections_holding(pe):
    """{section: what it holds}: "code" (the entry point), "imports" (an import
    address table slot) and "resources" (the resource directory)."""
    header = pe.OPTIONAL_HEADER
    holds = {id(section): [] for section in pe.sections}
    places = [("code", header.AddressOfEntryPoint)]
    places += [("imports", iat + 4 * i)
               for _, _, slots, iat in import_lists(pe) for i in range(len(slots))]
    resources = header.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]]
    if resources.Size:
        places.append(("resources", resources.VirtualAddress))
    for what, rva in places:
        section = pe.get_section_by_rva(rva)
        if section is None:
            failures.append(f"the {what} at RVA {rva:#x} are in no section")
        elif what not in holds[id(section)]:
            holds[id(section)].append(what)
    return holds


def check_sections(pe, read_only_resources):
    """Each section's access against what it holds: code is readable and
    executable and never writable; the import address table is writable (the
    loader fills it) and readable; the resources are readable, and on the
    device neither writable nor executable; any other section (constants) is
    read-only; nothing is both writable and executable."""
    holds = sections_holding(pe)
    for section in pe.sections:
        name, flags, what = section_name(section), section.Characteristics, holds[id(section)]
        check(what or not flags & (WRITE | EXECUTE),
              f"section {name} holds neither code, imports nor resources and is "
              f"{access(section)}, want r--")
        check(not (flags & WRITE and flags & EXECUTE), f"section {name} is writable and executable")
        if "code" in what:
            check(flags & READ and flags & EXECUTE and not flags & WRITE,
                  f"section {name} holds code and is {access(section)}, want r-x")
        if "imports" in what:
            check(flags & READ and flags & WRITE,
                  f"section {name} holds the import address table and is {access(section)}, "
                  "want it writable")
            check("code" in what or not flags & EXECUTE,
                  f"section {name} holds the import address table and no code, and is executable")
        if "resources" in what:
            check(flags & READ, f"section {name} holds the resources and is not readable")
            check(not read_only_resources or not flags & (WRITE | EXECUTE),
                  f"section {name} holds the resources and is {access(section)}, want r--")
    return holds


def print_sections(pe, holds):
    print("sections: name      address     virtual size  raw size  access  holds")
    for section in pe.sections:
        print(f"          {section_name(section):<8}  {section.VirtualAddress:#010x}"
              f"  {section.Misc_VirtualSize:>12}  {section.SizeOfRawData:>8}  {access(section)}"
              f"     {', '.join(holds[id(section)]) or '-'}")


def check_ordinal_imports(pe, table):
    """COREDLL's operations, each by its ordinal alone: both the import lookup
    table and the import address table hold 0x80000000 | ordinal, and no
    hint/name entry. The ordinals are exactly the table's, each once.
    Returns {import slot address: operation name} for the code walk."""
    by_ordinal = {op.ordinal: op.name for op in table}
    slots, imported = {}, []
    for dll, lookup, addresses, iat in import_lists(pe):
        check(len(lookup) == len(addresses),
              f"{dll}: {len(lookup)} entries in the import lookup table, {len(addresses)} in the "
              "import address table")
        for i, (word, slot) in enumerate(zip(lookup, addresses)):
            check(word == slot, f"{dll} import {i}: {word:#x} in the lookup table, {slot:#x} in "
                  "the address table")
            if not word & BY_ORDINAL:
                name = pe.get_string_at_rva(word + 2, 64).decode(errors="replace")
                failures.append(f"{dll} import {i} is by name: {name}")
                slots[pe.OPTIONAL_HEADER.ImageBase + iat + 4 * i] = name
                continue
            ordinal = word & 0xFFFF
            imported.append(ordinal)
            name = by_ordinal.get(ordinal)
            check(name is not None, f"{dll} ordinal {ordinal} is no operation of the table")
            slots[pe.OPTIONAL_HEADER.ImageBase + iat + 4 * i] = name or f"ordinal {ordinal}"
    for op in table:
        count = imported.count(op.ordinal)
        check(count != 0, f"COREDLL ordinal {op.ordinal} ({op.name}) is not imported")
        check(count < 2, f"COREDLL ordinal {op.ordinal} ({op.name}) is imported {count} times")
    heap = sorted(name for name in slots.values() if HEAP_FUNCTION.search(name))
    check(not heap, f"heap functions imported: {heap}")
    return slots


def check_device(pe, table):
    """Header, imports and code of the Windows CE image."""
    header = pe.OPTIONAL_HEADER
    check(pe.FILE_HEADER.Machine == 0x1C0, f"machine {pe.FILE_HEADER.Machine:#x}, want ARM (0x1c0)")
    check(header.Subsystem == 9, f"subsystem {header.Subsystem}, want 9 (Windows CE GUI)")
    check((header.MajorSubsystemVersion, header.MinorSubsystemVersion) == (3, 0),
          "subsystem version 3.0")
    check(header.ImageBase == 0x10000, f"image base {header.ImageBase:#x}, want 0x10000")
    flags = header.DllCharacteristics
    check(not flags & 0x40, "dynamic base flag set")
    check(not flags & 0x100, "NX compatibility flag set")
    check_no_tls(pe)

    check(len(pe.sections) <= DEVICE_SECTIONS,
          f"{len(pe.sections)} sections, want at most {DEVICE_SECTIONS}")
    slots = check_ordinal_imports(pe, table)
    print(f"imports: {len(slots)} operations from COREDLL, by ordinal")

    # The code, walked from the entry point.
    entry = header.ImageBase + header.AddressOfEntryPoint
    text = next((s for s in pe.sections if s.contains_rva(header.AddressOfEntryPoint)), None)
    check(text is not None, "the entry point is in no section")
    if text is None:
        return
    code = text.get_data()[: text.Misc_VirtualSize]
    walked, reached, walk_failures = arm_code.walk(
        code, header.ImageBase + text.VirtualAddress, entry, slots)
    failures.extend(walk_failures)
    # Every operation is called somewhere: a walk that misses one has missed code.
    missed = sorted(set(slots.values()) - reached)
    check(not missed, f"the walk reached no call to {missed}")
    print(f"code: {len(walked)} instructions walked from the entry point, in {len(code) // 4} words"
          " of code, literal pools and constants")


# What the desktop entry point calls besides the program's operations.
START_UP = ["ExitProcess", "GetCommandLineW"]


def check_desktop(pe, table):
    """Header, imports and layout of the desktop image, or of its x86-64 twin.
    No C runtime: only the program's operations and the start-up calls are
    imported, and there is no TLS, no .CRT section and no unwind table."""
    machine = pe.FILE_HEADER.Machine
    check(machine in (0x14C, 0x8664), f"machine {machine:#x}, want i386 (x86-64 for the twin)")
    subsystem = pe.OPTIONAL_HEADER.Subsystem
    check(subsystem == 2, f"subsystem {subsystem}, want 2 (Windows GUI)")

    imports = [imp for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) for imp in entry.imports]
    check_imported(imports, [op.desktop_name for op in table] + START_UP)

    check_no_tls(pe)
    unwind = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXCEPTION"]]
    check(unwind.VirtualAddress == 0 and unwind.Size == 0, "the image has an exception directory")
    sections = {section.Name.rstrip(b"\0").decode(errors="replace") for section in pe.sections}
    runtime = sorted(sections & {".CRT", ".tls", ".pdata", ".xdata", ".eh_frame"})
    check(not runtime, f"sections of a runtime or of unwind tables: {runtime}")
    print(f"imports: {len(table)} operations and {len(START_UP)} start-up calls, by name")


def main():
    args = sys.argv[1:]
    device = "--device" in args
    args = [a for a in args if a != "--device"]
    if len(args) != 1:
        sys.exit(__doc__)
    path = args[0]
    pe = pefile.PE(path)
    header = pe.OPTIONAL_HEADER
    try:
        table = operations.read()
    except operations.TableError as error:
        sys.exit(f"check_image.py: {error}")

    if device:
        check_device(pe, table)
    else:
        check_desktop(pe, table)
    # GNU ld makes any .rsrc section writable; the device build takes that off.
    holds = check_sections(pe, read_only_resources=device)
    check(header.SizeOfStackReserve == 64 * 1024, f"stack reserve {header.SizeOfStackReserve}")
    check(header.SizeOfStackCommit == 4 * 1024, f"stack commit {header.SizeOfStackCommit}")
    check(header.SizeOfHeapReserve == 1024 * 1024, f"heap reserve {header.SizeOfHeapReserve}")
    check(header.SizeOfHeapCommit == 4 * 1024, f"heap commit {header.SizeOfHeapCommit}")

    # Only system DLLs: nothing of the toolchain's (a C runtime, libstdc++,
    # libgcc, winpthread) is imported.
    dlls = sorted(e.dll.decode().lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []))
    if device:
        wanted = ["coredll.dll"]
    else:
        wanted = ["advapi32.dll", "kernel32.dll", "shell32.dll", "user32.dll"]
    check(dlls == wanted, f"imported DLLs {dlls}, want {wanted}")

    check_string_table(pe)
    check_version(pe)
    check_icons(pe)

    size = os.path.getsize(path)
    budget = DEVICE_SIZE_BUDGET if device else DESKTOP_SIZE_BUDGET
    check(size <= budget, f"image is {size} bytes, over the budget of {budget}")
    print(f"image size: {size} bytes (budget {budget})")
    print_sections(pe, holds)
    print(f"imported DLLs: {', '.join(dlls)}")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
