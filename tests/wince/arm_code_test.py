#!/usr/bin/python3
"""The walk of ARM code that the device image check makes, on crafted code:
what it accepts, and the instructions and branches it refuses."""
import pathlib
import struct
import sys
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "windows"))
import arm_code  # noqa: E402

BASE = 0x11000
SLEEP_SLOT = 0x13000  # an import slot, as the image's import table would hold

# (what, instruction words from BASE, the failure expected (None: none), imports reached)
ROWS = [
    ("a literal pool after a return is data, though it decodes as ldrd", [
        0xE59F0000,  # ldr r0, [pc]        (the word at +8)
        0xE1A0F00E,  # mov pc, lr
        0x000110D0,  # .word 0x110d0
    ], None, set()),
    ("a call through the import thunk reaches the import", [
        0xE92D4010,  # push {r4, lr}
        0xEB000000,  # bl +0x10
        0xE8BD8010,  # pop {r4, pc}
        0xE59FC000,  # ldr ip, [pc]
        0xE59CF000,  # ldr pc, [ip]
        SLEEP_SLOT,
    ], None, {"Sleep"}),
    ("blx", [0xE12FFF33], "blx r3: not an ARMv4 instruction", set()),
    ("bx lr, which StrongARM does not have", [0xE12FFF1E], "bx lr: not an ARMv4 instruction",
     set()),
    ("ldrd behind a conditional branch", [
        0xE3500000,  # cmp r0, #0
        0x0A000000,  # beq +0xc
        0xE1A0F00E,  # mov pc, lr
        0xE1C200D0,  # ldrd r0, r1, [r2]
    ], "ldrd r0, r1, [r2]: not an ARMv4 instruction", set()),
    ("a call through a register goes to an export the device gave; the path goes on", [
        0xE1A0E00F,  # mov lr, pc
        0xE1A0F003,  # mov pc, r3
        0xE1C200D0,  # ldrd r0, r1, [r2]
    ], "ldrd r0, r1, [r2]: not an ARMv4 instruction", set()),
    ("a jump through a register, which is no call", [
        0xE3A0E000,  # mov lr, #0
        0xE1A0F003,  # mov pc, r3
    ], "mov pc, r3: indirect branch, cannot follow it", set()),
    ("a jump through a word that is no import slot", [
        0xE59FC000,  # ldr ip, [pc]
        0xE59CF000,  # ldr pc, [ip]
        0x00012000,
    ], "ldr pc, [ip]: indirect branch, cannot follow it", set()),
    ("a conditional return goes on", [
        0xE3500000,  # cmp r0, #0
        0x01A0F00E,  # moveq pc, lr
        0xE8BD8010,  # pop {r4, pc}
    ], None, set()),
    ("a literal of 0: a reference resolved to address 0", [
        0xE59F0000,  # ldr r0, [pc]
        0xE1A0F00E,  # mov pc, lr
        0x00000000,
    ], "the literal at 0x11008 is 0", set()),
]


class ArmCode(unittest.TestCase):
    def test_rows(self):
        for what, words, failure, reached in ROWS:
            with self.subTest(what):
                code = struct.pack(f"<{len(words)}I", *words)
                _, got_reached, failures = arm_code.walk(code, BASE, BASE, {SLEEP_SLOT: "Sleep"})
                if failure is None:
                    self.assertEqual(failures, [])
                else:
                    self.assertEqual(len(failures), 1, failures)
                    self.assertIn(failure, failures[0])
                self.assertEqual(got_reached, reached)


if __name__ == "__main__":
    unittest.main()
