#!/usr/bin/python3
"""Checks the built autorun.exe: machine, subsystem, stack and heap, imports,
size, and every field of its resources (string table, version block, icon
group). Prints the image size, its sections and its imports.

Usage: check_image.py [--device] AUTORUN.EXE
  --device: the Windows CE image (ARM, subsystem 9 version 3.0, COREDLL by
            name, only ARMv4 code) instead of the desktop one (i386, or its
            x86-64 twin; GUI subsystem; no C runtime).
"""
import os
import re
import struct
import sys

import pefile

import arm_code

SIZE_BUDGET = 12 * 1024  # the device image's and the desktop image's
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

# The platform operations the program calls: (device name, desktop name).
# On the device the shell's two calls have no W suffix.
OPERATIONS = [
    ("GetModuleFileNameW", "GetModuleFileNameW"),
    ("LoadStringW", "LoadStringW"),
    ("FindFirstFileW", "FindFirstFileW"),
    ("FindNextFileW", "FindNextFileW"),
    ("FindClose", "FindClose"),
    ("CompareFileTime", "CompareFileTime"),
    ("SystemParametersInfoW", "SystemParametersInfoW"),
    ("GetVersionExW", "GetVersionExW"),
    ("ShellExecuteEx", "ShellExecuteExW"),
    ("SHGetSpecialFolderPath", "SHGetSpecialFolderPathW"),
    ("MessageBoxW", "MessageBoxW"),
    ("CopyFileW", "CopyFileW"),
    ("DeleteFileW", "DeleteFileW"),
    ("RegOpenKeyExW", "RegOpenKeyExW"),
    ("RegDeleteKeyW", "RegDeleteKeyW"),
    ("RegCloseKey", "RegCloseKey"),
    ("Sleep", "Sleep"),
]

# Any allocation function: Heap*, Local*/Global*/Virtual*Alloc and Free, the
# C runtime's and C++'s (mangled by GCC or by MSVC).
HEAP_FUNCTION = re.compile(r"alloc|free|heap|^_Z(nw|na|dl|da)|^\?\?(2|3|_U|_V)", re.IGNORECASE)

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


def print_sections(pe):
    print("sections: name      address     virtual size  file size")
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode(errors="replace")
        print(f"          {name:<8}  {section.VirtualAddress:#010x}  {section.Misc_VirtualSize:>12}"
              f"  {section.SizeOfRawData:>9}")


def check_device(pe):
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

    imports = [(entry.dll.decode(), imp) for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
               for imp in entry.imports]
    check(all(dll.lower() == "coredll.dll" for dll, _ in imports), "imports from beyond COREDLL")
    names = check_imported([imp for _, imp in imports], [device for device, _ in OPERATIONS])
    print(f"imports: {len(names)} operations from COREDLL, by name")

    # The code, walked from the entry point.
    entry = header.ImageBase + header.AddressOfEntryPoint
    text = next((s for s in pe.sections if s.contains_rva(header.AddressOfEntryPoint)), None)
    check(text is not None, "the entry point is in no section")
    if text is None:
        return
    code = text.get_data()[: text.Misc_VirtualSize]
    slots = {imp.address: imp.name.decode() for _, imp in imports if imp.name is not None}
    count, reached, walk_failures = arm_code.walk(
        code, header.ImageBase + text.VirtualAddress, entry, slots)
    failures.extend(walk_failures)
    # Every operation is called somewhere: a walk that misses one has missed code.
    missed = sorted(set(slots.values()) - reached)
    check(not missed, f"the walk reached no call to {missed}")
    print(f"code: {count} instructions walked from the entry point, in {len(code) // 4} words"
          " of code and literals")


# What the desktop entry point calls besides the program's operations.
START_UP = ["ExitProcess", "GetCommandLineW", "GetModuleHandleW"]


def check_desktop(pe):
    """Header, imports and layout of the desktop image, or of its x86-64 twin.
    No C runtime: only the program's operations and the start-up calls are
    imported, and there is no TLS, no .CRT section and no unwind table."""
    machine = pe.FILE_HEADER.Machine
    check(machine in (0x14C, 0x8664), f"machine {machine:#x}, want i386 (x86-64 for the twin)")
    subsystem = pe.OPTIONAL_HEADER.Subsystem
    check(subsystem == 2, f"subsystem {subsystem}, want 2 (Windows GUI)")

    imports = [imp for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) for imp in entry.imports]
    check_imported(imports, [desktop for _, desktop in OPERATIONS] + START_UP)

    check_no_tls(pe)
    unwind = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXCEPTION"]]
    check(unwind.VirtualAddress == 0 and unwind.Size == 0, "the image has an exception directory")
    sections = {section.Name.rstrip(b"\0").decode(errors="replace") for section in pe.sections}
    runtime = sorted(sections & {".CRT", ".tls", ".pdata", ".xdata", ".eh_frame"})
    check(not runtime, f"sections of a runtime or of unwind tables: {runtime}")
    print(f"imports: {len(OPERATIONS)} operations and {len(START_UP)} start-up calls")


def main():
    args = sys.argv[1:]
    device = "--device" in args
    args = [a for a in args if a != "--device"]
    if len(args) != 1:
        sys.exit(__doc__)
    path = args[0]
    pe = pefile.PE(path)
    header = pe.OPTIONAL_HEADER

    if device:
        check_device(pe)
    else:
        check_desktop(pe)
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
    check(size <= SIZE_BUDGET, f"image is {size} bytes, over the budget of {SIZE_BUDGET}")
    print(f"image size: {size} bytes (budget {SIZE_BUDGET})")
    print_sections(pe)
    print(f"imported DLLs: {', '.join(dlls)}")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
