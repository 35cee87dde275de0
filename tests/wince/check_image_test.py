#!/usr/bin/python3
"""The device image check on copies of the built image, each changed in one
way: the image as built passes, and each change fails the check with the
fault named.

Usage: check_image_test.py AUTORUN.EXE
"""
import pathlib
import struct
import subprocess
import sys
import tempfile
import unittest

import pefile

CHECK = pathlib.Path(__file__).resolve().parents[1] / "windows" / "check_image.py"
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "cmake"))
import operations  # noqa: E402  (the table of platform operations)
IMAGE = None  # the built image, from the command line

READ, WRITE, EXECUTE = 0x40000000, 0x80000000, 0x20000000
BY_ORDINAL = 0x80000000
SLEEP, MESSAGE_BOX = 496, 858  # their ordinals in COREDLL


class Image:
    """The image's bytes, and where its import tables and sections are."""

    def __init__(self, data):
        self.data = bytearray(data)
        self.pe = pefile.PE(data=bytes(data))
        (entry,) = self.pe.DIRECTORY_ENTRY_IMPORT
        self.lookup, self.addresses = entry.struct.OriginalFirstThunk, entry.struct.FirstThunk
        self.count = len(entry.imports)

    def section(self, name):
        return next(s for s in self.pe.sections if s.Name.rstrip(b"\0").decode() == name)

    def put(self, rva, value):
        struct.pack_into("<I", self.data, self.pe.get_offset_from_rva(rva), value)

    def index_of(self, ordinal):
        return next(i for i in range(self.count)
                    if self.pe.get_dword_at_rva(self.lookup + 4 * i) == BY_ORDINAL | ordinal)

    def set_import(self, index, value, tables=("lookup", "addresses")):
        for table in tables:
            self.put(getattr(self, table) + 4 * index, value)

    def change_access(self, name, add=0, remove=0):
        section = self.section(name)
        at = section.get_file_offset() + 36  # Characteristics
        struct.pack_into("<I", self.data, at, (section.Characteristics | add) & ~remove)

    def add_to_imports(self, data):
        """Appends data to the import section, in its file block's spare
        room. Returns its RVA."""
        section = self.section(".idata")
        used = (section.Misc_VirtualSize + 3) & ~3
        assert used + len(data) <= section.SizeOfRawData, "no room in the import section"
        start = section.PointerToRawData + used
        self.data[start : start + len(data)] = data
        struct.pack_into("<I", self.data, section.get_file_offset() + 8, used + len(data))
        return section.VirtualAddress + used


def by_name(image):
    hint_name = image.add_to_imports(b"\0\0Sleep\0")
    image.set_import(image.index_of(SLEEP), hint_name)


def wrong_ordinal(image):
    image.set_import(image.index_of(SLEEP), BY_ORDINAL | 999)


def missing_ordinal(image):
    image.set_import(image.index_of(SLEEP), BY_ORDINAL | MESSAGE_BOX)


def ended_early(image):
    image.set_import(image.count - 1, 0)


def lookup_differs(image):
    image.set_import(image.index_of(SLEEP), BY_ORDINAL | MESSAGE_BOX, tables=("lookup",))


# (what, the change, the failures expected among the check's)
ROWS = [
    ("an import by name", by_name,
     ["COREDLL.dll import", "is by name: Sleep", "ordinal 496 (Sleep) is not imported"]),
    ("a wrong ordinal", wrong_ordinal,
     ["COREDLL.dll ordinal 999 is no operation of the table",
      "ordinal 496 (Sleep) is not imported"]),
    ("a missing ordinal, another imported twice in its place", missing_ordinal,
     ["ordinal 496 (Sleep) is not imported", "ordinal 858 (MessageBoxW) is imported 2 times"]),
    ("the import list ended one entry early", ended_early, ["is not imported"]),
    ("the lookup table and the address table disagree", lookup_differs,
     ["in the lookup table", "ordinal 496 (Sleep) is not imported"]),
    ("a writable code section", lambda image: image.change_access(".text", add=WRITE),
     ["section .text holds code and is rwx, want r-x", "section .text is writable and executable"]),
    ("code that is not executable", lambda image: image.change_access(".text", remove=EXECUTE),
     ["section .text holds code and is r--, want r-x"]),
    ("a read-only import address table", lambda image: image.change_access(".idata", remove=WRITE),
     ["section .idata holds the import address table and is r--, want it writable"]),
    ("an executable import section", lambda image: image.change_access(".idata", add=EXECUTE),
     ["section .idata holds the import address table and no code, and is executable",
      "section .idata is writable and executable"]),
    ("executable resources", lambda image: image.change_access(".rsrc", add=EXECUTE),
     ["section .rsrc holds the resources and is r-x, want r--"]),
    ("writable resources", lambda image: image.change_access(".rsrc", add=WRITE),
     ["section .rsrc holds the resources and is rw-, want r--"]),
]


def run_check(path):
    result = subprocess.run([sys.executable, str(CHECK), "--device", str(path)],
                            capture_output=True, text=True)
    fails = [line for line in result.stdout.splitlines() if line.startswith("FAIL: ")]
    return result.returncode, fails, result.stdout + result.stderr


class CheckImage(unittest.TestCase):
    def test_the_image_as_built_passes(self):
        code, fails, output = run_check(IMAGE)
        self.assertEqual((code, fails), (0, []), output)
        self.assertIn(f"{len(operations.read())} operations from COREDLL, by ordinal", output)

    def test_each_change_fails_the_check(self):
        built = pathlib.Path(IMAGE).read_bytes()
        with tempfile.TemporaryDirectory() as folder:
            for what, change, expected in ROWS:
                with self.subTest(what):
                    image = Image(built)
                    change(image)
                    self.assertNotEqual(bytes(image.data), built)
                    path = pathlib.Path(folder) / "autorun.exe"
                    path.write_bytes(image.data)
                    code, fails, output = run_check(path)
                    self.assertEqual(code, 1, output)
                    for failure in expected:
                        self.assertTrue(any(failure in line for line in fails),
                                        f"no failure naming {failure!r} in:\n{output}")


if __name__ == "__main__":
    IMAGE = sys.argv.pop(1)
    unittest.main()
