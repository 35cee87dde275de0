#!/usr/bin/python3
"""The coverage report of the device image (coverage.py) on the built image
and its map, with made-up sets of what ran: the functions read from the map,
what counts as covered, listed or missed, and what fails the report.

  coverage_test.py IMAGE MAP
"""
import pathlib
import sys
import tempfile
import unittest

import pefile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import coverage  # noqa: E402

IMAGE, MAP = sys.argv[1], sys.argv[2]


class Report(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        pe = pefile.PE(IMAGE)
        text = coverage.text_section(pe)
        start = pe.OPTIONAL_HEADER.ImageBase + text.VirtualAddress
        cls.code = range(start, start + text.Misc_VirtualSize)
        cls.walked = coverage.reachable(pe)
        cls.functions = coverage.read_functions(pathlib.Path(MAP).read_text())

    def function(self, name):
        start, end, _ = next(f for f in self.functions if f[2] == name)
        return start, sorted(a for a in self.walked if start <= a < end)

    def report(self, ran, listed=()):
        every = {a + i for a in ran for i in range(4)}
        return coverage.report(self.walked, every, self.functions,
                               {key: "a reason" for key in listed}, self.code)

    def test_the_maps_functions_hold_every_reachable_instruction(self):
        names = [name for _, _, name in self.functions]
        for name in ["WinMainCRTStartup", "WinMain", "FindCardInstaller", "CopyToPath",
                     "memset", "Sleep", "platform::Sleep"]:
            self.assertIn(name, names)
        for (_, end, name), (start, _, _) in zip(self.functions, self.functions[1:]):
            self.assertLessEqual(end, start, name)
        for address in self.walked:
            self.assertTrue(any(s <= address < e for s, e, _ in self.functions), hex(address))

    def test_rows(self):
        start, copy = self.function("CopyToPath")
        hole = copy[-2:]
        missed = ("CopyToPath", hole[0] - start, hole[-1] + 4 - start)
        main, winmain = self.function("WinMain")
        # The last instruction of one function and the first of the next.
        seam = next((a, a + 4) for a in sorted(self.walked) if a + 4 in self.walked
                    and any(f[0] == a + 4 for f in self.functions))
        after = next(f[2] for f in self.functions if f[0] == seam[1])
        literal = next(a for a in self.code if a % 4 == 0 and a not in self.walked
                       and a > min(self.walked))
        # (what, ran, listed, complete, a line the report must have)
        rows = [
            ("every reachable instruction ran", self.walked, [], True,
             f"{len(self.walked)} of {len(self.walked)} reachable instructions ran (100.0%)"),
            ("a range that never ran, listed", self.walked - set(hole), [missed], True,
             f"ran or listed as an exception: {len(self.walked)} of {len(self.walked)}"),
            ("a range that never ran, not listed", self.walked - set(hole), [], False,
             f"  CopyToPath +{missed[1]:#x}-{missed[2]:#x} (at {hole[0]:#x}, 2 instructions): "
             "NOT LISTED"),
            ("holes in two functions are two ranges", self.walked - set(hole) - {winmain[1]},
             [missed], False,
             f"  WinMain +{winmain[1] - main:#x}-{winmain[1] + 4 - main:#x} (at {winmain[1]:#x}, "
             "1 instructions): NOT LISTED"),
            ("a hole across two functions is two ranges", self.walked - set(seam), [], False,
             f"  {after} +0x0-0x4 (at {seam[1]:#x}, 1 instructions)"),
            ("a listed range that ran", self.walked, [missed], False,
             f"listed, but not a range that never ran: CopyToPath +{missed[1]:#x}"),
            ("a word the walk does not reach ran", self.walked | {literal}, [], False,
             f"ran, but the walk does not reach it: {literal:#x}"),
        ]
        for what, ran, listed, complete, line in rows:
            with self.subTest(what):
                lines, got = self.report(ran, listed)
                self.assertEqual(got, complete, lines)
                self.assertTrue(any(line in text for text in lines), lines)

    def test_files(self):
        with tempfile.TemporaryDirectory() as folder:
            ranges = pathlib.Path(folder, "ran.txt")
            ranges.write_text("ARM 0x1000 0x1008\ni386 0x1000 0x2000\nARM 0x10 0x14\n")
            self.assertEqual(coverage.read_executed([ranges]),
                             set(range(0x1000, 0x1008)) | set(range(0x10, 0x14)))
            ranges.write_text("ARM 0x1000\n")
            with self.assertRaisesRegex(SystemExit, "ran.txt:1: not a range"):
                coverage.read_executed([ranges])
            listed = pathlib.Path(folder, "listed.txt")
            listed.write_text("# a comment\n\nCopyToPath +0x44-0x4c: why # not a comment\n")
            self.assertEqual(coverage.read_exceptions(listed),
                             {("CopyToPath", 0x44, 0x4C): "why # not a comment"})
            listed.write_text("CopyToPath 0x44-0x4c: no plus\n")
            with self.assertRaisesRegex(SystemExit, "listed.txt:1: want"):
                coverage.read_exceptions(listed)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
