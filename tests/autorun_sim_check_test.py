"""Tests of autorun-sim check: the device profiles it plays a card on, cards
made here as they will be burnt (their packages made by make-cab), each
table compared with its golden file, the documents' tables with what their
commands print, and the refusal of unusable input.

Run as: python3 autorun_sim_check_test.py [TestClass]; the binary is taken
from AUTORUN_SIM. With AUTORUN_IMAGE set (the ARM device image), each card
holds that image as its 2577\\autorun.exe, and its table must be the golden
one all the same but for the line naming the program; without it, the
card's autorun.exe is empty and the check is told to let the program built
for the host stand in for it (--stand-in). AUTORUN_DESKTOP_IMAGE, when set,
is the desktop image that one card holds (else a tiny i386 image does).
With AUTORUN_UPDATE_GOLDEN=1, the golden tables and the documents' tables
are written anew from what the command prints.
"""
import itertools
import json
import os
import re
import shlex
import struct
import subprocess
import sys
import tempfile
import unittest

from autorun_sim_test import CABWIZ, EXAMPLES, GOLDEN, HERE, IMAGE, MAKE_CAB, MANUAL, PACKAGE, run

README = os.path.join(HERE, "..", "README.md")
UPDATE = os.environ.get("AUTORUN_UPDATE_GOLDEN") == "1"

DEVICES = os.path.join(HERE, "..", "devices")
MARKS = {"pass": "✓", "fail": "✗", "not judged": "–"}


def tiny_image(machine, code, imports=()):
    """A PE32 image for Windows CE on machine, needing no version of the
    system: code at 0x1000 (the entry point), each import "DLL!Name" by name
    with its address table entry at 0x2180 + 4 * i, a writable page at 0x3000
    and a 64 KB stack."""
    image = bytearray(0x800)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, 0x40)
    image[0x40:0x44] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", image, 0x44, machine, 3, 0, 0, 0, 0xE0, 0x102)
    optional = 0x58
    struct.pack_into("<H", image, optional, 0x10B)
    struct.pack_into("<I", image, optional + 16, 0x1000)  # entry point
    struct.pack_into("<III", image, optional + 28, 0x10000, 0x1000, 0x200)  # base, alignments
    struct.pack_into("<II", image, optional + 56, 0x4000, 0x200)  # image and headers size
    struct.pack_into("<H", image, optional + 68, 9)  # Windows CE GUI
    struct.pack_into("<II", image, optional + 72, 0x10000, 0x1000)  # stack
    struct.pack_into("<I", image, optional + 92, 16)
    struct.pack_into("<II", image, optional + 104, 0x2000, 20 * (len(imports) + 1))
    sections = [(b".text", 0x1000, 0x200, 0x200, 0x60000020),
                (b".idata", 0x2000, 0x400, 0x400, 0xC0000040),
                (b".bss", 0x3000, 0x1000, 0, 0xC0000080)]
    for i, (name, address, size, raw, flags) in enumerate(sections):
        at = optional + 0xE0 + 40 * i
        image[at:at + len(name)] = name
        struct.pack_into("<IIII", image, at + 8, size, address, size if raw else 0, raw)
        struct.pack_into("<I", image, at + 36, flags)
    image[0x200:0x200 + len(code)] = code
    for i, item in enumerate(imports):
        dll, name = item.split("!")
        lookup, slot, names = 0x2100 + 8 * i, 0x2180 + 4 * i, 0x2200 + 64 * i
        struct.pack_into("<IIIII", image, 0x400 + 20 * i, lookup, 0, 0, names + 40, slot)
        struct.pack_into("<I", image, 0x400 + lookup - 0x2000, names)
        struct.pack_into("<I", image, 0x400 + slot - 0x2000, names)
        at = 0x400 + names - 0x2000
        image[at + 2:at + 2 + len(name)] = name.encode()
        image[at + 40:at + 40 + len(dll)] = dll.encode()
    return bytes(image)


def arm(*words):
    return struct.pack("<%dI" % len(words), *words)


# ARM: mov r0, #0; ldr r0, [r0] (a read of address 0).
CRASHING = tiny_image(0x1C0, arm(0xE3A00000, 0xE5900000))
# ARM: FindFirstFileW(L"\\*", the writable page), the search never closed.
SEARCH_LEFT_OPEN = tiny_image(0x1C0, arm(
    0xE1A0400E,  # mov r4, lr
    0xE59F0014,  # ldr r0, =path
    0xE59F1014,  # ldr r1, =the writable page
    0xE59FC014,  # ldr r12, =the import's slot
    0xE1A0E00F,  # mov lr, pc
    0xE59CF000,  # ldr pc, [r12]
    0xE3A00000,  # mov r0, #0
    0xE1A0F004,  # mov pc, r4
    0x11030, 0x13000, 0x12180,  # the literals
    0) + "\\*\0".encode("utf-16-le"), ["COREDLL.dll!FindFirstFileW"])  # the path at 0x1030
# An image for MIPS (0x166): a program for another processor.
MIPS = tiny_image(0x166, b"\0" * 8)
# ARM: mov r0, #0; mov pc, lr (a program that does nothing).
ARM_RETURNS = tiny_image(0x1C0, arm(0xE3A00000, 0xE1A0F00E))


def desktop_image():
    """The desktop image (i386), or a tiny i386 image standing for it: to a
    device's loader the two are the same, an image for another machine."""
    path = os.environ.get("AUTORUN_DESKTOP_IMAGE")
    if not path:
        return tiny_image(0x14C, b"\xC3")
    with open(path, "rb") as f:
        return f.read()


# A package that also leaves a value in a key every device has.
VALUE_LEFT = "registry=" + json.dumps([
    {"key": "HKLM\\Software\\Velluma\\Reader", "name": "InstallDir", "type": "sz",
     "data": "%CE1%\\VellumaZRV"},
    {"key": "HKLM\\Software", "name": "VellumaLastCard", "type": "sz", "data": "Storage Card"}])

# The cards: (name, make-cab arguments, the packages made with them (paths on
# the card), their mode, and the programs on the card: path and what it
# holds, None for the card's program (empty, or the image under test)).
BOTH = ("2577/Reader.cab", "wince/arm/Reader.cab")
PROGRAM = {"2577/autorun.exe": None}
CARDS = [
    ("good", [], BOTH, 0o444, PROGRAM),
    ("writable-package", [], BOTH, 0o644, PROGRAM),
    ("other-name", ["--app-name", "Reader ZRV Plus"], BOTH, 0o444, PROGRAM),
    ("needs-4.0", ["--min-version", "4.0"], BOTH, 0o444, PROGRAM),
    ("no-wince-arm", [], ("2577/Reader.cab",), 0o444, PROGRAM),
    ("mips-autorun", [], BOTH, 0o444, {"2577/autorun.exe": MIPS, "4000/autorun.exe": MIPS}),
    # The desktop image where the device's belongs; an empty program file;
    # a card holding an ARM image, which the first line must name.
    ("desktop-image", [], BOTH, 0o444, {"2577/autorun.exe": desktop_image()}),
    ("empty-autorun", [], BOTH, 0o444, {"2577/autorun.exe": b""}),
    ("arm-image", [], BOTH, 0o444, {"2577/autorun.exe": ARM_RETURNS}),
    # Two packages where the program searches; a package whose file is older
    # than what it installs (PACKAGE_TIMES); the package in a folder the
    # program does not search; a value left where no key is (the uninstaller,
    # given another name, removes nothing).
    ("two-packages", [], ("2577/Reader1.cab", "2577/Reader2.cab", "wince/arm/Reader1.cab",
                          "wince/arm/Reader2.cab"), 0o444, PROGRAM),
    ("old-package", ["--with", 'time="2026-12-15T12:00:00"'], BOTH, 0o444, PROGRAM),
    ("package-elsewhere", [], ("Setup/Reader.cab",), 0o444, PROGRAM),
    ("value-left", ["--app-name", "Reader ZRV Plus", "--with", VALUE_LEFT], BOTH, 0o444,
     PROGRAM),
    # Shaped as CabWiz writes packages (its own install directory, three
    # levels deep; a shortcut named "App.lnk"), with a setup DLL, under the
    # name the card's program removes.
    ("cabwiz", ["--json", CABWIZ, "--app-name", "Reader ZRV", "--provider", "Velluma",
                "--with", 'setupDll="Setup.dll"'], BOTH, 0o444, PROGRAM),
]
# The last-write times of packages on the card, where a card's differ from
# when they are made: UTC seconds since 1970.
PACKAGE_TIMES = {"old-package": 1796810400}  # 2026-12-09T10:00:00Z


class CardFolders(unittest.TestCase):
    """Card folders made once for the tests of the class, in a temporary
    folder: each card's packages by one run of make-cab."""

    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.cards = {}
        orders = []
        for name, args, packages, mode, programs in CARDS:
            card = os.path.join(cls.dir.name, name)
            for package in packages:
                os.makedirs(os.path.dirname(os.path.join(card, package)), exist_ok=True)
                orders.append((os.path.join(card, package), args, mode, PACKAGE_TIMES.get(name)))
            for path, program in programs.items():
                os.makedirs(os.path.dirname(os.path.join(card, path)), exist_ok=True)
                with open(os.path.join(card, path), "wb") as f:
                    f.write(program if program is not None else cls.program())
            cls.cards[name] = card
        batch = os.path.join(cls.dir.name, "cabinets.txt")
        with open(batch, "w") as f:
            for path, args, *_ in orders:
                f.write(shlex.join(["--json", PACKAGE, *args, path]) + "\n")
        subprocess.run([sys.executable, MAKE_CAB, "--batch", batch], check=True)
        for path, _, mode, time in orders:
            if time is not None:
                os.utime(path, (time, time))
            os.chmod(path, mode)

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    @staticmethod
    def program():
        """The card's program: the image under test, or an empty file (which
        the host build stands in for when the check is run with --stand-in)."""
        if not IMAGE:
            return b""
        with open(IMAGE, "rb") as f:
            return f.read()

    def check(self, card, *args, stand_in=True):
        """The check of a card; unless told otherwise, an empty program file
        on it is the host build's to stand in for, as --stand-in asks."""
        return run("check", card, *(["--stand-in"] if stand_in and not IMAGE else []), *args)


# The first line of a table, when the card holds the device image under test.
IMAGE_HEADER = "The program: the card's own \\Storage Card\\2577\\autorun.exe, an ARM image.\n"


def head_and_body(table):
    """The line that names the program, and the rest."""
    head, _, body = table.partition("\n")
    return head + "\n", body


def rows(table):
    """The table's rows, by device: the marks."""
    return {line.split()[0]: line.split()[1:] for line in table.splitlines()
            if re.match(r"\S+ +\(?[✓✗–]", line)}


def mark(cell):
    """A JSON cell's mark in the table: (✗) when expected, ? when it rests
    on an assumption."""
    glyph = MARKS[cell["verdict"]]
    return ("(%s)" % glyph if "expected" in cell else glyph) + ("?" if cell.get("assumes") else "")


class CheckCards(CardFolders):
    def test_each_card_gives_its_golden_table(self):
        for name, _, _, _, programs in CARDS:
            with self.subTest(card=name):
                # The empty program file is checked as it would be burnt.
                result = self.check(self.cards[name], stand_in=name != "empty-autorun")
                self.assertEqual((result.returncode, result.stderr), (4, ""))
                path = os.path.join(GOLDEN, "check-" + name + ".txt")
                if UPDATE and not IMAGE:
                    with open(path, "w", encoding="utf-8") as f:
                        f.write(result.stdout)
                with open(path, encoding="utf-8") as f:
                    want = f.read()
                if IMAGE and None in programs.values():
                    # The card holds the image: the first line names it.
                    self.assertEqual(head_and_body(result.stdout),
                                     (IMAGE_HEADER, head_and_body(want)[1]))
                else:
                    self.assertEqual(result.stdout, want)

    def test_json_says_what_the_table_says(self):
        for name in ("good", "needs-4.0", "other-name", "value-left", "package-elsewhere",
                     "writable-package", "cabwiz"):
            table = self.check(self.cards[name]).stdout
            result = self.check(self.cards[name], "--json")
            self.assertEqual((result.returncode, result.stderr), (4, ""))
            document = json.loads(result.stdout)
            self.assertEqual(document["card"], self.cards[name])
            self.assertEqual(document["status"], 4)
            self.assertEqual("The program: %s.\n" % document["program"],
                             head_and_body(table)[0])
            self.assertEqual(["Note: " + note for note in document["notes"]],
                             re.findall(r"^Note: .*$", table, re.M))
            keys = [column["key"] for column in document["columns"]]
            for device in document["devices"]:
                cells = [device["judgements"][key] for key in keys]
                self.assertEqual(rows(table)[device["device"]], [mark(c) for c in cells])
                self.assertEqual(device["passes"], all(c["verdict"] == "pass" for c in cells))
                # Under the row: each ✗ with what to change, and each
                # assumption a verdict rests on.
                under = table.split("\n" + device["device"] + " ", 1)[1].split("\n")[1:]
                under = "\n".join(itertools.takewhile(lambda line: line.startswith("  "), under))
                for column, cell in zip(document["columns"], cells):
                    if cell["verdict"] == "fail":
                        reason = "; ".join([cell["why"], *cell.get("causes", [])])
                        self.assertIn("✗ %s: %s\n%s" % (column["heading"], reason, "".join(
                            "      to change: %s\n" % r for r in cell.get("toChange", []))),
                            under + "\n")
                    for assumed in cell.get("assumes", []):
                        self.assertRegex(under, r"\? [^:\n]*%s[^:\n]*: rests on an assumption: %s; "
                                         "see docs/devices.md" % (re.escape(column["heading"]),
                                                                  re.escape(assumed["assumed"])))
            self.assertEqual(document["assumed"], sum(
                bool(cell.get("assumes")) for device in document["devices"]
                for cell in device["judgements"].values()))
            wm5 = next(device for device in document["devices"] if device["device"] == "wm5")
            self.assertEqual(wm5["program"]["file"], "\\Storage Card\\2577\\autorun.exe")
            self.assertEqual(wm5["program"]["runs"], "card" if IMAGE else "stand-in")
            self.assertEqual(wm5["leftValues"], [
                {"key": "HKEY_LOCAL_MACHINE\\SOFTWARE", "name": "VellumaLastCard",
                 "change": "added"}] if name == "value-left" else [])
            if name == "other-name":
                # What the removal left, whole, where the table names three:
                # the uninstaller is given a name the package did not install
                # under.
                self.assertEqual(wm5["left"], [
                    "\\Program Files\\VellumaZRV\\vellumabook.exe",
                    "\\Program Files\\VellumaZRV\\Welcome.txt",
                    "\\Windows\\Start Menu\\Programs\\Velluma Reader.lnk",
                    "\\Program Files\\VellumaZRV",
                    "HKEY_LOCAL_MACHINE\\Software\\Velluma",
                    "HKEY_LOCAL_MACHINE\\Software\\Velluma\\Reader",
                    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Apps\\Velluma Reader ZRV Plus"])
                self.assertEqual(wm5["allowed"], ["\\Windows\\autorun.exe"])
        # The folders the uninstaller leaves, whole, and what the verdict
        # leaves out: the setup DLL is not run.
        document = json.loads(self.check(self.cards["cabwiz"], "--json").stdout)
        devices = {device["device"]: device for device in document["devices"]}
        self.assertEqual(devices["pocket-pc-2003"]["foldersLeft"], [
            "\\Program Files\\Maker\\App\\Help", "\\Program Files\\Maker\\App",
            "\\Program Files\\Maker"])
        self.assertEqual(devices["hpc-2000"]["foldersLeft"], [])
        for name, folder in (("pocket-pc-2003", "2577"), ("wm5", "2577"), ("hpc-2000", "wince\\arm")):
            self.assertEqual(devices[name]["notes"], [
                "the setup DLL 000Setup.999 of \\Storage Card\\%s\\Reader.cab is not run (the "
                "simulated device runs none): what it would do on this device is not judged" % folder])
        self.assertEqual(devices["hpc-pro-2.11"]["notes"], [])

    def test_devices_whose_facts_allow_the_life_pass(self):
        result = self.check(self.cards["good"], "--devices",
                            "pocket-pc-2002,pocket-pc-2003,hpc-2000")
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        self.assertEqual(list(rows(result.stdout)), ["pocket-pc-2002", "pocket-pc-2003", "hpc-2000"])
        self.assertTrue(result.stdout.endswith(
            "\n3 of 3 devices pass; 1 verdict rests on an assumption (?).\n"), result.stdout)

    def test_what_a_verdict_rests_on_and_what_if_a_maker_changed_it(self):
        good = self.cards["good"]
        table = self.check(good).stdout
        self.assertEqual(rows(table)["ce-net-4.2"], ["✗?", "–", "–", "✓", "–", "✓"])
        self.assertIn("ce-net-4.2      ✗?        –  ", table)
        self.assertIn("    ✗ installs: no card holds 1824\\autorun.exe, the folder of this device's "
                      "processor, 1824 (ARM720), so the shell starts nothing\n"
                      "      to change: put the card's program in 1824\\ as well\n", table)
        self.assertIn("    ? installs: rests on an assumption: this device's shell looks in 1824\\ "
                      "(makers may set 2577); see docs/devices.md\n", table)
        self.assertTrue(table.endswith(
            "7 of 9 devices pass; 2 verdicts rest on assumptions (?).\n"), table)
        # Were 2577 this maker's choice, the card's wince\arm package installs
        # there; a fact the author sets is no assumption.
        result = self.check(good, "--set", "processor=2577", "--devices", "ce-net-4.2")
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        self.assertIn("\nSet on every device: processor=2577 (--set), in place of the profiles' "
                      "facts.\n", result.stdout)
        self.assertEqual(rows(result.stdout)["ce-net-4.2"][0], "✓")
        # That the Handheld PC's installer deletes a writable package is
        # assumed; one that keeps it lets the card work again.
        writable = self.cards["writable-package"]
        self.assertEqual(rows(self.check(writable).stdout)["hpc-2000"][4], "✗?")
        result = self.check(writable, "--set", "installerDeletesPackage=false", "--devices",
                            "hpc-2000")
        self.assertEqual(rows(result.stdout)["hpc-2000"], ["✓", "✓", "✓", "✓?", "✓", "✓"])
        # A maker's Auto Run Policy of 1: the shell starts nothing, the story
        # says why, and nothing on the card would change it.
        result = self.check(good, "--set", "autoRunPolicy=1", "--devices", "wm6")
        self.assertEqual(result.returncode, 4)
        self.assertIn("\n    ✗ installs: the device's Auto Run Policy is 1, which restricts programs "
                      "on storage cards from running automatically, so the shell starts nothing\n"
                      "    – menu entry", result.stdout)
        self.assertIn("\n    0.000 s  The device's Auto Run Policy is 1, which restricts programs on "
                      "storage cards from running automatically, so the shell starts nothing.\n",
                      self.check(good, "--set", "autoRunPolicy=1", "--explain", "wm6").stdout)

    def expect_file(self, *lines):
        path = os.path.join(self.dir.name, "expected.txt")
        with open(path, "w") as f:
            f.writelines(lines)
        return path

    def test_expected_failures_leave_the_status_0(self):
        good = self.cards["good"]
        lines = ["# The card is for Pocket PCs and Windows Mobile.\n", "\n",
                 "ce-net-4.2 installs: no 1824 build of the program yet\n",
                 "hpc-pro-2.11 installs: this card is not for CE 2.11\n"]
        result = self.check(good, "--expect", self.expect_file(*lines))
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        self.assertEqual((rows(result.stdout)["ce-net-4.2"][0], rows(result.stdout)["hpc-pro-2.11"][0]),
                         ("(✗)?", "(✗)"))
        self.assertIn("    ✗ installs (expected: this card is not for CE 2.11): the device cannot "
                      "start \\Windows\\autorun.exe", result.stdout)
        self.assertTrue(result.stdout.endswith(
            "7 of 9 devices pass, and 2 fail only as expected (--expect); 2 verdicts rest on "
            "assumptions (?).\n"), result.stdout)
        document = json.loads(self.check(good, "--expect", self.expect_file(*lines), "--json").stdout)
        self.assertEqual(document["status"], 0)
        cells = {d["device"]: d["judgements"]["installs"] for d in document["devices"]}
        self.assertEqual(cells["hpc-pro-2.11"]["expected"], "this card is not for CE 2.11")
        self.assertNotIn("expected", cells["wm5"])
        # Without one of the lines, that ✗ fails the check again.
        self.assertEqual(self.check(good, "--expect", self.expect_file(*lines[:3])).returncode, 4)
        # A line whose judgement passes now is reported, so that the file
        # does not rot.
        path = self.expect_file(*lines, "wm5 tap starts: it did not, once\n")
        result = self.check(good, "--expect", path)
        self.assertEqual(result.returncode, 0)
        self.assertIn("\nExpected but not failing: wm5 tap starts (%s, line 5: it did not, once) "
                      "passes now; the line can go.\n" % path, result.stdout)
        self.assertEqual(json.loads(self.check(good, "--expect", path, "--json").stdout)
                         ["expectedNotFailing"], [{"line": 5, "device": "wm5", "judgement":
                                                   "tapStarts", "reason": "it did not, once",
                                                   "verdict": "pass"}])

    def test_junit_is_what_a_pipeline_reads(self):
        """Read back with Debian's junitparser, as a pipeline's reader would:
        a suite per row, a case per cell, failures with the table's reasons."""
        import junitparser
        from junitparser.junitparser import SystemOut
        expect = self.expect_file("hpc-pro-2.11 installs: this card is not for CE 2.11\n")
        headings = ["installs", "menu entry", "tap starts", "removal clean", "works again",
                    "runs clean"]
        for name in ("good", "writable-package", "needs-4.0", "cabwiz"):
            with self.subTest(card=name):
                path = os.path.join(self.dir.name, "check.xml")
                result = self.check(self.cards[name], "--expect", expect, "--junit", path)
                self.assertEqual(result.stderr, "")
                table = result.stdout
                self.assertEqual(table, self.check(self.cards[name], "--expect", expect).stdout)
                xml = junitparser.JUnitXml.fromfile(path)
                self.assertEqual([suite.name for suite in xml], list(rows(table)))
                for suite in xml:
                    marks = rows(table)[suite.name]
                    under = table.split("\n" + suite.name + " ", 1)[1]
                    cases = list(suite)
                    self.assertEqual([case.name for case in cases], headings)
                    self.assertEqual((suite.tests, suite.failures, suite.errors, suite.skipped), (
                        6, sum(m.startswith("✗") for m in marks), 0,
                        sum(m.startswith("(") or m == "–" for m in marks)))
                    for case, heading, cell in zip(cases, headings, marks):
                        if cell == "–" or cell.startswith("("):
                            self.assertTrue(case.is_skipped, (suite.name, heading))
                            message = case.result[0].message
                            if cell == "–":
                                self.assertRegex(under, r"\n    – [^:\n]*%s[^:\n]*: %s\n" % (
                                    re.escape(heading), re.escape(message)))
                            else:
                                self.assertEqual(message, "expected ✗: this card is not for CE 2.11")
                        elif cell.startswith("✗"):
                            failure = case.result[0]
                            self.assertIsInstance(failure, junitparser.Failure)
                            told = "    ✗ %s: %s\n" % (heading, failure.message)
                            self.assertIn(told, under)
                            details = under.split(told, 1)[1]
                            changes = [line.strip() for line in itertools.takewhile(
                                lambda line: line.startswith("      to change: "),
                                details.split("\n"))]
                            self.assertEqual((failure.text or "").splitlines()[:len(changes)],
                                             changes)
                            self.assertEqual("?" in cell, "rests on an assumption: " in
                                             (failure.text or ""))
                        else:
                            self.assertTrue(case.is_passed, (suite.name, heading))
                            self.assertEqual("?" in cell, "rests on an assumption: " in
                                             (case.system_out or ""))
                    timeline = suite.child(SystemOut)
                    self.assertEqual(timeline is not None, any(m != "✓" and m != "✓?"
                                                               for m in marks))
                    if timeline is not None:
                        self.assertTrue(timeline.text.startswith(
                            "The device described in profile %s " % suite.name))
                with open(path, encoding="utf-8") as f:
                    written = f.read()
                result = self.check(self.cards[name], "--expect", expect, "--junit", "-")
                self.assertEqual((result.returncode, result.stdout), (4, written))

    def test_the_documents_tables_are_what_their_commands_print(self):
        """The README's and the manual's check command, run as written (in a
        folder where build/wince/autorun.exe is the image under test), prints
        the table below it. Without the image, --stand-in stands in for it,
        and all but the line that names the program must be the same."""
        for document, heading in ((README, "### Check a card before it is burnt"),
                                  (MANUAL, "## Check a card before it is burnt")):
            with self.subTest(document=os.path.basename(document)):
                with open(document, encoding="utf-8") as f:
                    text = f.read()
                section = text.split(heading + "\n", 1)[1]
                command = re.search(r"^build/host/simulator/autorun-sim (check .*?)(?:  +#.*)?$",
                                    section, re.M)
                table = re.search(r"```\n(The program.*?)```\n", section, re.S)
                self.assertTrue(command and table, "no check command and table in " + heading)
                args = shlex.split(command.group(1))
                with tempfile.TemporaryDirectory() as folder:
                    os.symlink(os.path.abspath(EXAMPLES), os.path.join(folder, "examples"))
                    if IMAGE:
                        os.makedirs(os.path.join(folder, "build", "wince"))
                        os.symlink(os.path.abspath(IMAGE),
                                   os.path.join(folder, "build", "wince", "autorun.exe"))
                    else:
                        at = args.index("--image")
                        args[at:at + 2] = ["--stand-in"]
                    result = run(*args, cwd=folder)
                self.assertEqual((result.returncode, result.stderr), (4, ""))
                got = result.stdout if IMAGE else head_and_body(table.group(1))[0] + \
                    head_and_body(result.stdout)[1]
                if UPDATE:
                    with open(document, "w", encoding="utf-8") as f:
                        f.write(text.replace(table.group(1), got))
                    continue
                self.assertEqual(got, table.group(1))

    def test_the_first_line_names_the_program_that_ran(self):
        # The card's own image, with its path and machine; on the device's
        # own timeline, too.
        result = self.check(self.cards["arm-image"], "--devices", "wm6")
        self.assertEqual(head_and_body(result.stdout)[0], "The program: the card's own \\Storage "
                         "Card\\2577\\autorun.exe, an ARM image.\n")
        description = os.path.join(self.dir.name, "arm-image.json")
        with open(description, "w") as f:
            json.dump({"entries": [{"path": "\\Storage Card", "attributes": ["directory",
                                    "temporary"], "from": self.cards["arm-image"]}]}, f)
        result = run("--device", description)
        self.assertIn("\n  The program: the card's own \\Storage Card\\2577\\autorun.exe, an ARM "
                      "image, in an emulated processor; autorun.exe built for this computer stands "
                      "in for any program file that holds nothing.\n", result.stdout)
        # An empty file starts nothing unless the stand-in is asked for; then
        # it plays the card as the image would, and the first line says so.
        empty = self.cards["empty-autorun"]
        result = self.check(empty, "--stand-in", stand_in=False)
        self.assertEqual(result.returncode, 4)
        self.assertEqual(head_and_body(result.stdout)[0], "The program: autorun.exe built for this "
                         "computer, standing in (--stand-in) for the card's empty \\Storage "
                         "Card\\2577\\autorun.exe.\n")
        self.assertEqual(head_and_body(result.stdout)[1],
                         head_and_body(self.check(self.cards["good"]).stdout)[1])
        result = self.check(empty, "--json", stand_in=False)
        self.assertEqual(result.returncode, 4)
        document = json.loads(result.stdout)
        self.assertTrue(document["program"].startswith("none; the card's \\Storage Card\\2577\\"
                                                       "autorun.exe is empty"), document["program"])
        self.assertEqual({device["program"]["runs"] for device in document["devices"]},
                         {"nothing"})

    def test_image_given_on_the_command_line_is_the_cards_program(self):
        if not IMAGE:
            self.skipTest("needs AUTORUN_IMAGE")
        result = self.check(self.cards["empty-autorun"], "--image", IMAGE)
        self.assertEqual(head_and_body(result.stdout), (
            "The program: the ARM image %s (--image), as the card's \\Storage Card\\2577\\"
            "autorun.exe.\n" % IMAGE, head_and_body(self.check(self.cards["good"]).stdout)[1]))

    def test_explain_tells_one_devices_timeline(self):
        result = self.check(self.cards["good"], "--explain", "wm5")
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        self.assertTrue(result.stdout.startswith(
            'The device described in profile wm5 (Windows Mobile 5.0 for Pocket PC): platform '
            'type "PocketPC", version 5.1 (build 1700), processor 2577 (StrongARM).'), result.stdout)
        self.assertIn("\n  The program: " + head_and_body(self.check(self.cards["good"]).stdout)[0]
                      [len("The program: "):], result.stdout)
        self.assertEqual(len(re.findall(r"\nStep \d of 6, ", result.stdout)), 6)
        self.assertEqual(result.stdout.count("The Configuration Manager uninstalls \"Velluma "
                                             "Reader ZRV\""), 2)
        self.assertIn("\nAfter the last step, at ", result.stdout)
        result = self.check(self.cards["good"], "--explain", "pocket-pc-2003")
        self.assertEqual((result.returncode, result.stderr), (0, ""))

    def card_running(self, name, program):
        card = os.path.join(self.dir.name, name)
        os.makedirs(os.path.join(card, "2577"))
        with open(os.path.join(card, "2577", "autorun.exe"), "wb") as f:
            f.write(program)
        return card

    def test_a_crash_exits_3_and_misuse_fails(self):
        result = self.check(self.card_running("crashing", CRASHING), "--devices",
                            "wm6,hpc-pro-2.11")
        self.assertEqual((result.returncode, result.stderr), (3, ""))
        self.assertIn("    ✗ runs clean: \\Windows\\autorun.exe crashes: read of unmapped memory, "
                      "at 0x00000000 (the first insertion)\n", result.stdout)
        # The image needs no version of the system, so the old device runs it too.
        self.assertEqual(result.stdout.count("✗ runs clean"), 2)
        result = self.check(self.card_running("searching", SEARCH_LEFT_OPEN), "--devices", "wm6")
        self.assertEqual((result.returncode, result.stderr), (4, ""))
        self.assertIn("wm6     ✗         ✗           –           ✓              –            ✗\n",
                      result.stdout)
        self.assertIn("    ✗ runs clean: the program misuses the platform: a file search was left "
                      "open\n", result.stdout)


class CheckDescriptions(CardFolders):
    """A device description as the card: its entries, registry and faults;
    each profile gives the device's facts."""

    def description(self, **fields):
        path = os.path.join(self.dir.name, "card.json")
        entries = [{"path": "\\Storage Card", "attributes": ["directory", "temporary"],
                    "from": self.cards["good"]}]
        with open(path, "w") as f:
            json.dump({"entries": entries, **fields}, f)
        return path

    def test_a_description_is_the_card_and_the_profiles_the_devices(self):
        folder = self.check(self.cards["good"]).stdout
        result = self.check(self.description())
        self.assertEqual((result.returncode, result.stdout), (4, folder))
        with open(self.description()) as f:
            result = run("check", "-", *([] if IMAGE else ["--stand-in"]), stdin=f.read())
        self.assertEqual((result.returncode, result.stdout), (4, folder))
        # Its registry comes on top of each kind's standard keys: the device
        # does as with none, and the key the program opens is there.
        explained = [self.check(card, "--explain", "pocket-pc-2003").stdout.split("\n", 1)[1]
                     for card in (self.cards["good"], self.description(registry=[]))]
        self.assertEqual(explained[1], explained[0])
        self.assertIn("It opens the key HKEY_LOCAL_MACHINE\\SOFTWARE\\Apps.", explained[1])
        # Its own device facts and steps are not used, and the table says so.
        result = self.check(self.description(platform="HPC", osMajor=9, steps=["insert"]))
        self.assertEqual(result.returncode, 4)
        lines = folder.splitlines(keepends=True)
        lines.insert(-1, "Not used from the description: platform, osMajor and steps (each "
                     "device's profile gives its facts, and the check plays the card's own "
                     "life).\n")
        self.assertEqual(result.stdout, "".join(lines))

    def test_its_entries_and_faults_are_the_cards(self):
        # The program cannot copy itself: the menu has only the package's
        # shortcut, and the tap finds no copy of the program to start.
        result = self.check(self.description(faults={"failing": ["CopyFileW"]}),
                            "--devices", "pocket-pc-2003")
        self.assertEqual(result.returncode, 4)
        self.assertIn("pocket-pc-2003  ✓         ✓           ✗           ✓              –  ",
                      result.stdout)
        self.assertIn("    ✗ tap starts: the card's program made no copy of itself in \\Windows\\"
                      "Start Menu\\Programs to tap\n", result.stdout)
        self.assertIn("    – works again: not judged, since the first tap did not work\n",
                      result.stdout)
        # A reader already there and newer than the card's package: nothing is
        # installed, and the reason gives the two times the program compared.
        good = self.cards["good"]
        result = self.check(self.description(entries=[
            {"path": "\\Storage Card", "attributes": ["directory", "temporary"]},
            {"path": "\\Storage Card\\2577\\autorun.exe",
             "from": os.path.join(good, "2577", "autorun.exe")},
            {"path": "\\Storage Card\\2577\\Reader.cab", "time": "2026-11-02T10:00:00Z",
             "from": os.path.join(good, "2577", "Reader.cab")},
            {"path": "\\Program Files\\VellumaZRV\\vellumabook.exe",
             "time": "2026-12-20T08:00:00Z"}]), "--devices", "pocket-pc-2003")
        self.assertEqual(result.returncode, 4)
        self.assertIn("    ✗ installs: nothing is installed: the program starts \\Program Files\\"
                      "VellumaZRV\\vellumabook.exe and opens no package; the program compared the "
                      "time of \\Storage Card\\2577\\Reader.cab (2026-11-02 10:00:00 UTC) with the "
                      "time of \\Program Files\\VellumaZRV\\vellumabook.exe (2026-12-20 08:00:00 "
                      "UTC): the first is earlier\n", result.stdout)
        # The program's names are the program's: a description naming them is
        # refused.
        result = self.check(self.description(title="Velluma"), "--devices", "hpc-2000")
        self.assertEqual(result.returncode, 2)
        self.assertIn(": title: is gone: ", result.stderr)


PROFILES = ["pocket-pc-2000", "pocket-pc-2002", "pocket-pc-2003", "wm5", "wm6", "wm6.5",
            "hpc-2000", "ce-net-4.2", "hpc-pro-2.11"]
# The facts each profile gives, each with its standing, in the order
# docs/devices.md lists them.
FACTS = ["platform", "osMajor", "osMinor", "osBuild", "processor", "programsFolder", "folders",
         "standardFolders", "standardKeys", "uninstallerDepth", "folderPathAnswersFalse", "unload",
         "installerChecksMaxVersion", "installerDeletesPackage", "libraries", "configurationProviders",
         "autoRunPolicy"]
DEVICES_MD = os.path.join(HERE, "..", "docs", "devices.md")


def profiles():
    facts = {}
    for name in PROFILES:
        with open(os.path.join(DEVICES, name + ".json")) as f:
            facts[name] = json.load(f)
    return facts


def facts_table(profiles):
    """docs/devices.md's table of each profile's main facts."""
    lines = ["| file | name | platform | version | processor | Programs folder | unload | checks "
             "max version | uninstaller depth | auto-run policy |", "|---" * 10 + "|"]
    for name, p in profiles.items():
        lines.append("| `%s.json` | %s | `%s` | %d.%d.%d | %d | `%s` | %s | %s | %s | %d |" % (
            name, p["name"], p["platform"], p["osMajor"], p["osMinor"], p["osBuild"],
            p["processor"], p["programsFolder"], p["unload"],
            "yes" if p["installerChecksMaxVersion"] else "no", p["uninstallerDepth"] or "any",
            p["autoRunPolicy"]))
    return "\n".join(lines) + "\n"


def standing_block(profiles):
    """docs/devices.md's table of each fact's standing in each profile (its
    sources, or **assumed**), and the assumptions in the words the check
    prints, each with the profiles that make it."""
    def cell(standing):
        sources = ", ".join(standing.get("sources", []))
        if "assumed" not in standing:
            return sources
        return "**assumed**" + (" (%s)" % sources if sources else "")
    lines = ["| fact | " + " | ".join("`%s`" % name for name in profiles) + " |",
             "|---" * (len(profiles) + 1) + "|"]
    for fact in FACTS:
        lines.append("| `%s` | " % fact + " | ".join(
            cell(p["standing"][fact]) for p in profiles.values()) + " |")
    lines += ["", "The assumptions, in the words the check prints under a verdict that rests on "
              "one:", ""]
    for fact in FACTS:
        said = {}
        for name, p in profiles.items():
            if "assumed" in p["standing"][fact]:
                said.setdefault(p["standing"][fact]["assumed"], []).append("`%s`" % name)
        for words, names in said.items():
            lines.append("- `%s` of %s: %s." % (fact, ", ".join(names), words))
    return "\n".join(lines) + "\n"


def document_parts(text):
    """The parts of docs/devices.md made from the profiles: the facts table,
    and the standing section's table and list."""
    facts = re.search(r"^\| file \| name \|.*?\n\n", text, re.S | re.M)
    standing = re.search(r"^\| fact \| `.*?(?=\n## )", text, re.S | re.M)
    return (facts.group(0)[:-1] if facts else None, standing.group(0) if standing else None)


class Profiles(unittest.TestCase):
    """The profiles compiled in: one for each file of devices/, each read as
    its file says, in the documented order; each fact with its standing, as
    docs/devices.md gives it."""

    def test_each_fact_has_its_standing_and_its_sources_are_listed(self):
        with open(DEVICES_MD, encoding="utf-8") as f:
            listed = set(re.findall(r"^- \[([A-Z]+\d+)\]", f.read(), re.M))
        for name, p in profiles().items():
            self.assertEqual(sorted(set(p) - {"name", "standing"}), sorted(FACTS), name)
            self.assertEqual(list(p["standing"]), [f for f in p if f not in ("name", "standing")],
                             name)
            for fact, standing in p["standing"].items():
                self.assertTrue(standing.get("sources") or standing.get("assumed"), (name, fact))
                self.assertLessEqual(set(standing.get("sources", [])), listed, (name, fact))

    def test_devices_md_gives_each_profiles_facts_and_their_standing(self):
        """Its tables are made from the profiles (AUTORUN_UPDATE_GOLDEN=1
        writes them anew): a fact whose value or standing differs between the
        two fails, as a changed profile shows."""
        with open(DEVICES_MD, encoding="utf-8") as f:
            text = f.read()
        found = document_parts(text)
        self.assertTrue(all(found), "docs/devices.md has no facts table or standing table")
        facts = profiles()
        if UPDATE:
            text = text.replace(found[0], facts_table(facts)).replace(found[1],
                                                                        standing_block(facts))
            with open(DEVICES_MD, "w", encoding="utf-8") as f:
                f.write(text)
            found = document_parts(text)
        self.assertEqual(found, (facts_table(facts), standing_block(facts)))
        for name, fact, standing in (("ce-net-4.2", "processor", {"sources": ["S11"]}),
                                     ("wm5", "osMajor", {"assumed": "it is 5", "sources": ["S6"]}),
                                     ("hpc-2000", "unload", {"sources": ["S15", "S22"]})):
            changed = profiles()
            changed[name]["standing"][fact] = standing
            self.assertNotEqual(found[1], standing_block(changed), (name, fact))

    def test_names_match_the_files_and_each_loads_as_written(self):
        result = run("check", EXAMPLES, "--devices", "nowhere")
        self.assertEqual(result.returncode, 2)
        known = re.search(r"\(known: (.*)\)\n$", result.stderr).group(1).split(", ")
        self.assertEqual(known, ["pocket-pc-2000", "pocket-pc-2002", "pocket-pc-2003", "wm5",
                                 "wm6", "wm6.5", "hpc-2000", "ce-net-4.2", "hpc-pro-2.11"])
        files = sorted(name[:-5] for name in os.listdir(DEVICES) if name.endswith(".json"))
        self.assertEqual(sorted(known), files)
        with tempfile.TemporaryDirectory() as folder:
            for name in known:
                with open(os.path.join(DEVICES, name + ".json")) as f:
                    facts = json.load(f)
                path = os.path.join(folder, name + ".json")
                with open(path, "w") as f:
                    json.dump({"profile": name}, f)
                result = run("--device", path, "insert")
                self.assertEqual((result.returncode, result.stderr), (0, ""), name)
                # Every profile's processor is told with its name.
                self.assertIn(" (%s): platform type \"%s\", version %d.%d (build %d), processor "
                              "%d (%s).\n" % (facts["name"], facts["platform"], facts["osMajor"],
                                              facts["osMinor"], facts["osBuild"],
                                              facts["processor"],
                                              {2577: "StrongARM", 1824: "ARM720"}[
                                                  facts["processor"]]),
                              result.stdout)

    def test_a_descriptions_fields_override_its_profile(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "device.json")
            with open(path, "w") as f:
                json.dump({"profile": "wm6", "osMajor": 6, "name": "A later one",
                           "programsFolder": "\\Menu"}, f)
            result = run("--device", path, '{"run": "\\\\Windows\\\\autorun.exe", "args": "uninstall"}')
            self.assertEqual((result.returncode, result.stderr), (0, ""))
            self.assertIn(" (A later one): platform type \"PocketPC\", version 6.2 (build 1236)",
                          result.stdout)
            self.assertIn("It asks for the Programs folder: \\Menu.", result.stdout)
            self.assertIn("there but removes nothing", result.stdout)


class CheckInput(unittest.TestCase):
    def refused(self, args, *parts):
        result = run(*args)
        self.assertEqual((result.returncode, result.stdout), (2, ""), args)
        self.assertEqual(result.stderr.count("\n"), 1, result.stderr)
        for part in parts:
            self.assertIn(part, result.stderr)

    def test_unusable_input_is_refused_in_one_line(self):
        card = os.path.join(EXAMPLES, "card-folder")
        known = "(known: pocket-pc-2000, pocket-pc-2002, "
        self.refused(["check"], "CARD is required")
        self.refused(["check", card, "--devices", "wm5,wm7"],
                     'autorun-sim: command line: --devices: unknown device "wm7" ' + known)
        self.refused(["check", card, "--devices", "wm5,"], "--devices: an empty device name")
        self.refused(["check", card, "--devices", "wm5,wm5"], '"wm5" is named twice')
        for devices in (["--devices", ""], ["--devices"]):
            self.refused(["check", card, *devices], "--devices: name at least one device, or "
                         "leave it out for every device " + known)
        for explain in (["--explain", ""], ["--explain"]):
            self.refused(["check", card, *explain], "--explain: name the device " + known)
        self.refused(["check", ""], "the card was given as an empty name")
        self.refused(["check", card, "--explain", "ipaq"], '--explain: unknown device "ipaq"')
        self.refused(["check", card, "--devices", "wm5", "--explain", "wm6"],
                     '"wm6" is not among --devices')
        self.refused(["check", card, "--explain", "wm5", "--json"], "does not go with --json")
        self.refused(["check", "/nowhere/card"], 'CARD: "/nowhere/card" is neither a card folder '
                     "nor a device description: No such file or directory")
        self.refused(["check", card, "--image", "/nowhere.exe"], "/nowhere.exe: cannot read")
        self.refused(["check", card, "--trace"], "--trace")
        self.refused(["check", card, "--stand-in", "--image", "x.exe"],
                     "--image excludes --stand-in")
        # --set names a fact of the profiles and a value it can take.
        for sets, part in ((["cpu=2577"], 'command line: --set: unknown fact "cpu" (known: '
                            "platform, osMajor, "),
                           (["processor"], '--set: expected FACT=VALUE, found "processor"'),
                           (["processor=ARM"], "--set: processor: expected a whole number, found "
                            "a string"),
                           (["autoRunPolicy=2"], "autoRunPolicy: 2 is too large (at most 1)"),
                           (["osMajor=[4"], "--set osMajor"),
                           (["unload=sometimes"], 'unload: unknown "sometimes"'),
                           (["processor=1", "processor=2"], '--set: "processor" is set twice')):
            self.refused(["check", card, *[a for s in sets for a in ("--set", s)]], part)
        self.refused(["check", card, "--junit", ""], "--junit was given an empty file name")
        self.refused(["check", card, "--junit", "-", "--json"], "would both go to standard output")
        self.refused(["check", card, "--junit", "x.xml", "--explain", "wm5"],
                     "does not go with --junit")
        result = run("check", card, "--stand-in", "--junit", "/nowhere/check.xml")
        self.assertEqual((result.returncode, result.stdout, result.stderr), (
            1, "", "autorun-sim: cannot write /nowhere/check.xml: No such file or directory\n"))
        with tempfile.TemporaryDirectory() as folder:
            # An --expect line that names no device or no judgement, or says
            # not why, is refused, naming the line.
            expect = os.path.join(folder, "expected.txt")
            for lines, part in ((["wm7 installs: x"], 'line 1: names no device: "wm7"'),
                                (["# why", "wm5 installed: x"], 'line 2: names no judgement: '
                                 '"installed" (known: installs, menu entry, '),
                                (["wm5: x"], "line 1: names no judgement (known: "),
                                (["wm5 installs"], "line 1: names no judgement (known: "),
                                (["wm5 menu entry:  "], "line 1: gives no reason after the colon"),
                                (["wm5 installs: a", "wm5 installs: b"],
                                 "line 2: wm5 installs is expected on line 1 already")):
                with open(expect, "w") as f:
                    f.write("\n".join(lines) + "\n")
                self.refused(["check", card, "--expect", expect], expect + ": " + part)
            self.refused(["check", card, "--expect", os.path.join(folder, "none.txt")],
                         "none.txt: cannot read")
            path = os.path.join(folder, "card.json")
            with open(path, "w") as f:
                f.write('{"profile": "pocket-pc-2001"}')
            self.refused(["check", path], path + ': profile: unknown profile "pocket-pc-2001" ' +
                         known)
            self.refused(["--device", path], 'unknown profile "pocket-pc-2001"')
            # A package or a program given as the card is named for what it is.
            package = os.path.join(card, "2577", "Reader.cab")
            self.refused(["check", package], 'CARD: "%s" is a cabinet (a package), not a card: '
                         "CARD is a card folder, or a device description" % package)
            with open(path, "wb") as f:
                f.write(MIPS)
            self.refused(["check", path], 'CARD: "%s" is a program image, not a card (an image '
                         "to run goes with --image): CARD is a card folder" % path)

    def test_help_names_the_exit_statuses(self):
        result = run("check", "--help")
        self.assertEqual(result.returncode, 0, result.stderr)
        for part in ("Usage: autorun-sim check CARD [--devices NAME,...] [--image FILE | --stand-in] "
                     "[--set FACT=VALUE]... [--expect FILE] [--json] [--junit FILE|-] "
                     "[--explain DEVICE]", "or fails only as --expect expects", "an empty <processor>\\autorun.exe starts "
                     "nothing, as on a device", "0 when every device passes", "2 for unusable input",
                     "3 when a run of the program crashed", "4 when any judgement fails",
                     "pocket-pc-2000, pocket-pc-2002, pocket-pc-2003, wm5, wm6, wm6.5, "
                     "hpc-2000, ce-net-4.2, hpc-pro-2.11"):
            self.assertIn(part, re.sub(r"\s+", " ", result.stdout))
        self.assertIn("autorun-sim check CARD", run("--help").stdout)
        result = run("check", "--version")
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (0, run("--version").stdout, ""))
        with open("/dev/full", "w") as full:
            result = run("check", os.path.join(EXAMPLES, "card-folder"), stdout=full)
        self.assertEqual((result.returncode, result.stderr),
                         (1, "autorun-sim: cannot write to standard output: No space left on "
                             "device\n"))


if __name__ == "__main__":
    unittest.main()
