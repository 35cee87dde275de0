"""Tests of autorun-sim check: the device profiles it plays a card on, cards
made here as they will be burnt (their packages made by make-cab), each
table compared with its golden file, and the refusal of unusable input.

Run as: python3 autorun_sim_check_test.py [TestClass]; the binary is taken
from AUTORUN_SIM. With AUTORUN_IMAGE set (the ARM device image), each card
holds that image as its 2577\\autorun.exe, and its table must be the golden
one all the same; without it, the card's autorun.exe is empty and the
program built for the host stands in for it.
"""
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

# The cards: (name, make-cab arguments, where the package goes, its mode,
# what 2577\autorun.exe holds: None for the card's program (empty, or the
# image under test)).
BOTH = ("2577", "wince/arm")
CARDS = [
    ("good", [], BOTH, 0o444, None),
    ("writable-package", [], BOTH, 0o644, None),
    ("other-name", ["--app-name", "Reader ZRV Plus"], BOTH, 0o444, None),
    ("needs-4.0", ["--min-version", "4.0"], BOTH, 0o444, None),
    ("no-wince-arm", [], ("2577",), 0o444, None),
    ("mips-autorun", [], BOTH, 0o444, MIPS),
    # Its files no more than two levels deep, as the Pocket PC's uninstaller
    # needs to remove their folders.
    ("two-levels", ["--with", 'files=[{"folder": "%CE1%\\\\VellumaZRV", "name": "vellumabook.exe", '
                    '"text": "The reader."}, {"folder": "%CE1%\\\\VellumaZRV", "name": '
                    '"Welcome.txt", "text": "Welcome."}]'], BOTH, 0o444, None),
    # Shaped as CabWiz writes packages (its own install directory, three
    # levels deep; a shortcut named "App.lnk"), with a setup DLL, under the
    # name the card's program removes.
    ("cabwiz", ["--json", CABWIZ, "--app-name", "Reader ZRV", "--provider", "Velluma",
                "--with", 'setupDll="Setup.dll"'], BOTH, 0o444, None),
]


class CardFolders(unittest.TestCase):
    """Card folders made once for the tests of the class, in a temporary
    folder: each card's packages by one run of make-cab."""

    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.cards = {}
        orders = []
        for name, args, folders, mode, program in CARDS:
            card = os.path.join(cls.dir.name, name)
            for folder in folders:
                os.makedirs(os.path.join(card, folder))
                orders.append((os.path.join(card, folder, "Reader.cab"), args, mode))
            os.makedirs(os.path.join(card, "2577"), exist_ok=True)
            with open(os.path.join(card, "2577", "autorun.exe"), "wb") as f:
                f.write(program if program is not None else cls.program())
            cls.cards[name] = card
        batch = os.path.join(cls.dir.name, "cabinets.txt")
        with open(batch, "w") as f:
            for path, args, _ in orders:
                f.write(shlex.join(["--json", PACKAGE, *args, path]) + "\n")
        subprocess.run([sys.executable, MAKE_CAB, "--batch", batch], check=True)
        for path, _, mode in orders:
            os.chmod(path, mode)

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    @staticmethod
    def program():
        """The card's program: the image under test, or an empty file (the
        host build stands in)."""
        if not IMAGE:
            return b""
        with open(IMAGE, "rb") as f:
            return f.read()

    def check(self, *args):
        return run("check", *args)


class CheckCards(CardFolders):
    def test_each_card_gives_its_golden_table(self):
        update = os.environ.get("AUTORUN_UPDATE_GOLDEN") == "1" and not IMAGE
        for name, *_ in CARDS:
            with self.subTest(card=name):
                result = self.check(self.cards[name])
                self.assertEqual((result.returncode, result.stderr), (4, ""))
                path = os.path.join(GOLDEN, "check-" + name + ".txt")
                if update:
                    with open(path, "w", encoding="utf-8") as f:
                        f.write(result.stdout)
                with open(path, encoding="utf-8") as f:
                    self.assertEqual(result.stdout, f.read())

    def test_json_says_what_the_table_says(self):
        for name in ("good", "needs-4.0", "other-name"):
            table = self.check(self.cards[name]).stdout
            result = self.check(self.cards[name], "--json")
            self.assertEqual((result.returncode, result.stderr), (4, ""))
            document = json.loads(result.stdout)
            self.assertEqual(document["card"], self.cards[name])
            self.assertEqual(document["status"], 4)
            keys = [column["key"] for column in document["columns"]]
            for device in document["devices"]:
                row = next(line for line in table.splitlines()
                           if line.startswith(device["device"] + " "))
                cells = [device["judgements"][key] for key in keys]
                self.assertEqual(row.split()[1:], [MARKS[c["verdict"]] for c in cells])
                self.assertEqual(device["passes"], all(c["verdict"] == "pass" for c in cells))
                for column, cell in zip(document["columns"], cells):
                    if cell["verdict"] == "fail":
                        self.assertIn("✗ %s: %s\n" % (column["heading"], cell["why"]), table)
        # What the removal left, whole, where the table names three: the
        # uninstaller is given a name the package did not install under.
        wm5 = next(device for device in document["devices"] if device["device"] == "wm5")
        self.assertEqual(wm5["left"], [
            "\\Program Files\\VellumaZRV\\vellumabook.exe",
            "\\Program Files\\VellumaZRV\\Books\\Welcome.txt",
            "\\Windows\\Start Menu\\Programs\\Velluma Reader.lnk",
            "\\Program Files\\VellumaZRV", "\\Program Files\\VellumaZRV\\Books",
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
        result = self.check(self.cards["two-levels"], "--devices",
                            "pocket-pc-2002,pocket-pc-2003,hpc-2000")
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        self.assertEqual([line.split()[0] for line in result.stdout.splitlines()[1:4]],
                         ["pocket-pc-2002", "pocket-pc-2003", "hpc-2000"])
        self.assertTrue(result.stdout.endswith("\n3 of 3 devices pass.\n"), result.stdout)

    def test_the_manuals_table_is_the_example_cards(self):
        with open(MANUAL, encoding="utf-8") as f:
            section = f.read().split("## Check a card before it is burnt", 1)[1]
        table = section.split("```\ndevice ", 1)[1].split("```", 1)[0]
        args = ["--image", IMAGE] if IMAGE else []
        result = self.check(os.path.join(EXAMPLES, "card-folder"), *args)
        self.assertEqual((result.returncode, result.stderr), (4, ""))
        self.assertEqual(result.stdout, "device " + table)

    def test_image_given_on_the_command_line_is_the_cards_program(self):
        if not IMAGE:
            self.skipTest("needs AUTORUN_IMAGE")
        empty = os.path.join(self.dir.name, "empty-program")
        os.makedirs(os.path.join(empty, "2577"))
        open(os.path.join(empty, "2577", "autorun.exe"), "wb").close()
        for folder in ("2577", "wince/arm"):
            os.makedirs(os.path.join(empty, folder), exist_ok=True)
            with open(os.path.join(self.cards["good"], folder, "Reader.cab"), "rb") as f:
                data = f.read()
            path = os.path.join(empty, folder, "Reader.cab")
            with open(path, "wb") as f:
                f.write(data)
            os.chmod(path, 0o444)
        self.assertEqual(self.check(empty, "--image", IMAGE).stdout,
                         self.check(self.cards["good"]).stdout)

    def test_explain_tells_one_devices_timeline(self):
        result = self.check(self.cards["good"], "--explain", "wm5")
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        self.assertTrue(result.stdout.startswith(
            'The device described in profile wm5 (Windows Mobile 5.0 for Pocket PC): platform '
            'type "PocketPC", version 5.1 (build 1700), processor 2577.'), result.stdout)
        self.assertEqual(len(re.findall(r"\nStep \d of 6, ", result.stdout)), 6)
        self.assertEqual(result.stdout.count("The Configuration Manager uninstalls \"Velluma "
                                             "Reader ZRV\""), 2)
        self.assertIn("\nAfter the last step, at ", result.stdout)
        result = self.check(self.cards["two-levels"], "--explain", "pocket-pc-2003")
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
            result = run("check", "-", stdin=f.read())
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

    def test_its_faults_are_the_cards(self):
        # The program cannot copy itself: the menu has only the package's
        # shortcut, and the tap finds no copy of the program to start.
        result = self.check(self.description(faults={"failing": ["CopyFileW"]}),
                            "--devices", "pocket-pc-2003")
        self.assertEqual(result.returncode, 4)
        self.assertIn("pocket-pc-2003  ✓         ✓           ✗           ✗              –  ",
                      result.stdout)
        self.assertIn("    ✗ tap starts: the card's program made no copy of itself in \\Windows\\"
                      "Start Menu\\Programs to tap\n", result.stdout)
        self.assertIn("    – works again: not judged, since the first tap did not work\n",
                      result.stdout)
        # The program's names are the program's: a description naming them is
        # refused.
        result = self.check(self.description(title="Velluma"), "--devices", "hpc-2000")
        self.assertEqual(result.returncode, 2)
        self.assertIn(": title: is gone: ", result.stderr)


class Profiles(unittest.TestCase):
    """The profiles compiled in: one for each file of devices/, each read as
    its file says, in the documented order."""

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
                self.assertIn(" (%s): platform type \"%s\", version %d.%d (build %d), processor "
                              "%d.\n" % (facts["name"], facts["platform"], facts["osMajor"],
                                         facts["osMinor"], facts["osBuild"], facts["processor"]),
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
        with tempfile.TemporaryDirectory() as folder:
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
        for part in ("Usage: autorun-sim check CARD [--devices NAME,...] [--image FILE] [--json] "
                     "[--explain DEVICE]", "0 when every device passes", "2 for unusable input",
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
