#!/usr/bin/python3
"""Makes the linked image's resource section read-only, and writes the image.

Usage: read_only_resources.py LINKED.EXE OUTPUT.EXE

GNU ld gives any section named .rsrc write access, whatever its input
sections say, and the name must stay: the linker finds the resource
directory by it. Nothing writes to the resources (the device's own linker
makes them read-only too), so the write access is taken off here, and the
header checksum made again.
"""
import sys

import pefile

WRITE = 0x80000000  # IMAGE_SCN_MEM_WRITE


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    pe = pefile.PE(sys.argv[1])
    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]]
    section = pe.get_section_by_rva(directory.VirtualAddress) if directory.Size else None
    if section is None:
        sys.exit(f"read_only_resources.py: {sys.argv[1]} has no resources")
    section.Characteristics &= ~WRITE
    pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()
    pe.write(sys.argv[2])


if __name__ == "__main__":
    main()
