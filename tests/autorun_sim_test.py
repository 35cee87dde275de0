"""Tests of the autorun-sim command: the demo's story, the event log, device
descriptions (host folders, faults, steps) and the refusal of unusable input.

Run as: python3 autorun_sim_test.py [TestClass]; the binary is taken from the
AUTORUN_SIM environment variable.
"""
import datetime
import hashlib
import json
import os
import re
import resource
import struct
import subprocess
import sys
import tempfile
import threading
import unittest

SIM = os.environ.get("AUTORUN_SIM", "autorun-sim")
SIM = os.path.abspath(SIM) if os.sep in SIM else SIM  # runs from any folder
# An image to run instead of the program built for the host (Golden only).
IMAGE = os.environ.get("AUTORUN_IMAGE")


def machine_of(path):
    """The machine an image's header names (0x1C0 ARM, 0x14C i386)."""
    with open(path, "rb") as f:
        data = f.read(4096)
    return struct.unpack_from("<H", data, struct.unpack_from("<I", data, 0x3C)[0] + 4)[0]


# The processor of an x86 device (PROCESSOR_INTEL_PENTIUM), whose loader runs
# i386 images; a StrongARM device's runs ARM images only. The desktop image
# runs on a description whose processor is x86, the same in all else: its
# log must be the host build's there.
X86_PROCESSOR = 586
IMAGE_ON_X86 = bool(IMAGE) and machine_of(IMAGE) == 0x14C
HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "examples")
GOLDEN = os.path.join(HERE, "golden")
MANUAL = os.path.join(HERE, "..", "docs", "autorun-sim.md")

APP_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Apps\\Velluma Reader ZRV"
READER = "\\Program Files\\VellumaZRV\\vellumabook.exe"
# What else the example package installs.
WELCOME = "\\Program Files\\VellumaZRV\\Welcome.txt"
SHORTCUT = "\\Windows\\Start Menu\\Programs\\Velluma Reader.lnk"
SOFTWARE_KEYS = ["HKEY_LOCAL_MACHINE\\Software\\Velluma",
                 "HKEY_LOCAL_MACHINE\\Software\\Velluma\\Reader"]
MENU_COPY = "\\Windows\\Start Menu\\Programs\\Dorna & Kel.exe"
CARD = "\\Storage Card"
HELD = "the uninstaller holds it open"


def ticks(text):
    """Ticks since 1601 of a UTC time written as the description writes it."""
    whole, _, rest = text.rstrip("Z").partition(".")
    moment = datetime.datetime.strptime(whole, "%Y-%m-%dT%H:%M:%S")
    seconds = (moment - datetime.datetime(1601, 1, 1)) // datetime.timedelta(seconds=1)
    return seconds * 10**7 + int((rest + "0000000")[:7])


def run(*args, cwd=None, stdin=None, stdout=subprocess.PIPE):
    """Runs autorun-sim; stdin is text, bytes or an open file."""
    feed = stdin if isinstance(stdin, (str, bytes)) else None
    data = feed.encode() if isinstance(feed, str) else feed
    result = subprocess.run([SIM, *args], stdout=stdout, stderr=subprocess.PIPE, cwd=cwd,
                            input=data, stdin=None if feed is not None else stdin, timeout=60)
    decode = lambda b: b.decode("utf-8", "replace") if isinstance(b, bytes) else b
    return subprocess.CompletedProcess(result.args, result.returncode,
                                       decode(result.stdout), decode(result.stderr))


class Case(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def write(self, name, content):
        path = os.path.join(self.dir.name, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if isinstance(content, (dict, list)):
            content = json.dumps(content)
        with open(path, "wb") as f:
            f.write(content if isinstance(content, bytes) else content.encode())
        return path

    def log(self, *args, stdin=None):
        """Runs with --json; returns the events and the final state."""
        result = run("--json", *args, stdin=stdin)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")
        lines = [json.loads(line) for line in result.stdout.splitlines()]
        for line in lines:
            self.assertEqual(list(line)[:2], ["event", "t"], line)
        self.assertEqual(lines[-1]["event"], "state")
        self.assertNotIn("state", [line["event"] for line in lines[:-1]])
        return lines[:-1], lines[-1]

    def device(self, description, *args):
        return self.log("--device", self.write("device.json", description), *args)


# The example card's package (scripts/make-cab makes it from PACKAGE): the
# reader, as every package a card() holds. The build makes it read-only, as a
# burnt card's is, so the installer leaves it there.
EXAMPLE_PACKAGE = os.path.join(EXAMPLES, "card-folder", "2577", "Reader.cab")
PACKAGE_TIME = "2026-10-01T00:00:00Z"  # the card's file: older than what the package holds


def card(*files, platform_dir="2577"):
    entries = [{"path": CARD, "attributes": ["directory", "temporary"]},
               {"path": CARD + "\\2577\\autorun.exe"}]
    for name, time in files:
        entries.append({"path": CARD + "\\" + platform_dir + "\\" + name, "time": time,
                        **({"from": EXAMPLE_PACKAGE} if name.endswith(".cab") else {})})
    return entries


def on_x86(description, base):
    """The description for an x86 device, the same in all else: its cards'
    programs in that processor's folder, where the device's shell looks, and
    its relative "from" paths taken from base."""
    x86 = dict(description, processor=X86_PROCESSOR)
    folder = "\\%d\\" % X86_PROCESSOR
    entries = []
    for entry in description.get("entries", []):
        entry = dict(entry)
        if "from" in entry:
            entry["from"] = os.path.join(base, entry["from"])
        if entry["path"].lower().endswith("\\2577\\autorun.exe"):
            entry["path"] = entry["path"][:-len("\\2577\\autorun.exe")] + folder + "autorun.exe"
        entries.append(entry)
        if os.path.isfile(os.path.join(entry.get("from", ""), "2577", "autorun.exe")):
            entries.append({"path": entry["path"] + folder + "autorun.exe"})
    x86["entries"] = entries
    return x86


# The built-in demo, as a description (simulator/description.cpp holds it).
DEMO = {"platform": "PocketPC", "osMajor": 4, "entries": [
    {"path": "\\Storage Card", "attributes": ["directory", "temporary"]},
    {"path": "\\Storage Card\\2577\\autorun.exe", "time": "2026-11-02T10:00:00Z"}] + [
    {"path": "\\Storage Card\\%s\\Reader.cab" % folder, "attributes": ["readonly"],
     "time": "2026-11-02T10:00:00Z", "from": "card-folder/2577/Reader.cab"}
    for folder in ("2577", "wince\\arm")], "steps": ["insert", "menu", "remove"]}


def x86_args(args, folder):
    """A scenario's arguments with its description (the demo's, without one)
    made an x86 device's, written into folder."""
    if "--device" in args:
        at = args.index("--device") + 1
        with open(args[at]) as f:
            description, base = json.load(f), os.path.dirname(os.path.abspath(args[at]))
    else:
        at, description, base = None, DEMO, EXAMPLES
    path = os.path.join(folder, "x86.json")
    with open(path, "w") as f:
        json.dump(on_x86(description, base), f)
    return ["--device", path] + [arg for i, arg in enumerate(args) if i not in (at, (at or 0) - 1)]


def compact(events):
    """Events without the times, fields in order."""
    return [(e["event"], *[v for k, v in e.items() if k not in ("event", "t")]) for e in events]


def paths(state):
    return {entry["path"]: entry for entry in state["entries"]}


class DemoStory(Case):
    def test_timeline_tells_a_cards_life(self):
        result = run()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")
        # Two sentences say what is shown and what runs as the card's program.
        shown, runs, blank, *_ = result.stdout.splitlines()
        self.assertRegex(shown, r"^This demo plays the example card, with its real package "
                         r"Reader\.cab .* on a new Pocket PC 2003: inserted, its Programs-menu "
                         r"entry tapped, removed; then it checks the same card on every kind of "
                         r"device\.$")
        self.assertEqual(runs, "The card's autorun.exe holds nothing here, so the program "
                         "compiled for this computer stands in for it; --image "
                         "build/wince/autorun.exe runs the device image itself.")
        self.assertEqual(blank, "")
        story, _, table = result.stdout.partition("\nThe same card checked on every kind of "
                                                  "device")
        intro, *steps = story.split("\nStep ")
        # The demo's device is a Pocket PC 2003 as it is new: its profile's
        # facts, standard folders and keys.
        self.assertIn("demo's device (Pocket PC 2003 (Windows Mobile 2003)): platform type "
                      "\"PocketPC\", version 4.20 (build 1081), processor 2577 (StrongARM).",
                      intro)
        self.assertIn("Cards in the device: \\Storage Card.", intro)
        # The device's clock starts a minute after the latest time described.
        self.assertIn("Times are seconds since 2026-11-02 10:01:00 UTC", intro)
        self.assertEqual(len(steps), 3)
        insert, menu, remove = steps
        self.assertTrue(insert.startswith("1 of 3, insert"))
        self.assertIn("starts as \\Windows\\autorun.exe with the command line \"install\"", insert)
        # What each call asked and what the device answered.
        self.assertIn("It looks for " + READER + ": there is no folder \\Program Files\\VellumaZRV "
                      "(error 3).", insert)
        self.assertIn("Next: My Documents, a folder.\n             Next: Storage Card, a storage "
                      "card.", insert)
        self.assertIn('It asks for the platform type: "PocketPC".', insert)
        self.assertIn("It asks for the version: 4.20, build 1081.", insert)
        self.assertIn("It searches \\Storage Card\\2577\\*.cab: first Reader.cab, a read-only file "
                      "last written 2026-11-02 10:00:00 UTC.", insert)
        self.assertIn('It loads string 1: "Dorna & Kel".', insert)
        self.assertIn("copies itself to the Programs menu as " + MENU_COPY, insert)
        self.assertIn("opens \\Storage Card\\2577\\Reader.cab; the shell hands it to the cabinet "
                      "installer", insert)
        # The card's real package: what it declares, installs, and that it
        # stays, read-only.
        self.assertIn('The cabinet installer reads \\Storage Card\\2577\\Reader.cab: "Velluma '
                      'Reader ZRV" (application "Reader ZRV" of "Velluma"), for processor 2577 '
                      "(StrongARM) and Windows CE 3.0 or later.", insert)
        self.assertIn('The cabinet installer installs "Velluma Reader ZRV" from \\Storage Card\\'
                      "2577\\Reader.cab: " + READER + ", " + WELCOME + ", \\Windows\\Start Menu\\Programs\\Velluma Reader.lnk, the key "
                      "HKEY_LOCAL_MACHINE\\Software\\Velluma, the key HKEY_LOCAL_MACHINE\\Software\\"
                      "Velluma\\Reader and the key " + APP_KEY + ".", insert)
        self.assertIn("cannot delete the package \\Storage Card\\2577\\Reader.cab, so it stays: "
                      "the file is read-only (error 5).", insert)

        self.assertTrue(menu.startswith("2 of 3, menu"))
        self.assertIn("starts as " + MENU_COPY + " with an empty command line", menu)
        # The reader has the date the cabinet gives it.
        self.assertIn("It looks for " + READER + " and finds it: a file last written "
                      "2026-10-30 12:00:00 UTC.", menu)
        self.assertIn("It asks for its own path: " + MENU_COPY + ".", menu)
        self.assertIn("The program starts " + READER + ".", menu)

        remove, _, after = remove.partition("\nAfter the last step")
        self.assertTrue(remove.startswith("3 of 3, remove"))
        self.assertIn("starts the uninstaller \\Windows\\Unload.exe with \"Velluma Reader ZRV\"",
                      remove)
        self.assertIn("deletes the Programs-menu entry " + MENU_COPY, remove)
        self.assertIn("It opens the key HKEY_LOCAL_MACHINE\\SOFTWARE\\Apps.", remove)
        self.assertIn("(attempt 1): the uninstaller holds it open (error 5)", remove)
        self.assertIn("2.500 s  The uninstaller finishes: \"Velluma Reader ZRV\" is uninstalled; it "
                      "removes " + READER + ", " + WELCOME + ", \\Windows\\Start Menu\\Programs\\"
                      "Velluma Reader.lnk, \\Program Files\\VellumaZRV, the key " + APP_KEY +
                      ", the key HKEY_LOCAL_MACHINE\\Software\\Velluma\\Reader and the key "
                      "HKEY_LOCAL_MACHINE\\Software\\Velluma.", remove)
        # Its folder is two levels deep, as deep as a Pocket PC's uninstaller
        # reaches: nothing is left.
        self.assertNotIn("It leaves", remove)
        self.assertIn("(attempt 4): there is no such key (error 2)", remove)
        # What the card's life left: the shell's copy alone; the device had
        # its Programs folder from the start.
        self.assertIn("Cards taken out: \\Storage Card.", after)
        self.assertIn("Added: \\Windows\\autorun.exe.", after)
        self.assertNotIn("Removed", after)
        self.assertNotIn("Warning", result.stdout)
        # Then the card's check table: what the check says of the example
        # card folder, where the program built for this computer stands in.
        checked = run("check", os.path.join(EXAMPLES, "card-folder"), "--stand-in")
        self.assertEqual(table.split("\n", 2)[2], checked.stdout)
        self.assertTrue(checked.stdout.startswith("The program: autorun.exe built for this "
                                                  "computer, standing in (--stand-in)"))
        # Given steps, it is the demo's device alone; --json, the card's life
        # alone (EventLog reads it).
        steps = run("insert", "menu", "remove")
        self.assertEqual(steps.stdout, story.split("\n", 3)[3])

    def test_help_version_and_output_that_cannot_be_written(self):
        result = run("--help")
        self.assertEqual(result.returncode, 0, result.stderr)
        for part in ("--device FILE|-", "[STEP...]", "- reads it from standard input",
                     "0 when every step ran", "1 when standard output could not be written",
                     "2 for unusable input"):
            self.assertIn(part, result.stdout)
        result = run("--version")
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        self.assertRegex(result.stdout, r"^autorun-sim \d+\.\d+[.\d]*\n$")
        for args in ([], ["--json"], ["--help"]):
            with open("/dev/full", "w") as full:
                result = run(*args, stdout=full)
            self.assertEqual(result.returncode, 1, args)
            self.assertEqual(result.stderr, "autorun-sim: cannot write to standard output: "
                                            "No space left on device\n")

    def test_the_manual_page_says_what_help_says(self):
        # The page beside the binary (the build's), or the one man finds for
        # an installed command.
        page = os.path.join(os.path.dirname(SIM), "autorun-sim.1.gz")
        if not os.path.dirname(SIM):
            page = subprocess.run(["man", "-w", SIM], stdout=subprocess.PIPE, text=True,
                                  check=True).stdout.strip()
        shown = subprocess.run(["man", "--nh", "--nj", "-l", page], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True, env=dict(os.environ,
                               MANWIDTH="1000", MAN_KEEP_FORMATTING="", LC_ALL="C.UTF-8"))
        self.assertEqual((shown.returncode, shown.stderr), (0, ""))
        text = " ".join(shown.stdout.split())
        self.assertIn(" autorun-sim - play a storage card's auto-run program", text)
        version = run("--version").stdout.strip()
        self.assertRegex(text, re.escape(" %s " % version) + r"\w+ \d{4} AUTORUN-SIM\(1\)$")
        # Every line of both helps, usage and options with what they do, and
        # every paragraph.
        for args in (["--help"], ["check", "--help"]):
            for line in run(*args).stdout.splitlines():
                line = re.sub(r"^(Usage|   or): ", "", line)
                if line and line not in ("Options:", "Positionals:"):
                    for part in re.split(r"\s{2,}", line.strip()):
                        self.assertIn(part, text, args)

    def test_demo_ends_with_no_reader_menu_copy_or_key(self):
        events, state = self.log()
        self.assertEqual([e["event"] for e in events if e["event"] in ("step", "start")],
                         ["step", "start", "step", "start", "step", "start"])
        entries = paths(state)
        self.assertNotIn(READER, entries)
        self.assertNotIn(MENU_COPY, entries)
        self.assertNotIn(APP_KEY, state["registry"])
        self.assertNotIn(CARD, entries)
        self.assertEqual(state["t"], 3000)


class EventLog(Case):
    def test_demo_log_field_by_field(self):
        events, state = self.log()
        card_exe = CARD + "\\2577\\autorun.exe"
        package = CARD + "\\2577\\Reader.cab"
        held = ("key-delete", APP_KEY)
        self.assertEqual(compact(events), [
            ("step", "insert", 0, 1, True, ["processor"]),
            ("copy", card_exe, "\\Windows\\autorun.exe", True),
            ("start", "\\Windows\\autorun.exe", "install"),
            ("copy", "\\Windows\\autorun.exe", MENU_COPY, True),
            ("launch", package, "", True),
            ("exit", 0),
            ("package", package, "Velluma Reader ZRV", "Velluma", "Reader ZRV", 2577, "3.0", "0.0",
             0, 0, []),
            ("installed", package, "Velluma Reader ZRV", "\\Program Files\\VellumaZRV",
             [READER, WELCOME, SHORTCUT], [], [*SOFTWARE_KEYS, APP_KEY],
             ["processor", "osMajor"]),
            ("package-deleted", package, False, 5, "the file is read-only",
             ["installerDeletesPackage"]),
            # The menu step taps the copy the program made of itself.
            ("step", "menu", MENU_COPY, True),
            ("start", MENU_COPY, ""),
            ("launch", READER, "", True),
            ("exit", 0),
            ("step", "remove", 1, True),
            ("start", "\\Windows\\autorun.exe", "uninstall"),
            ("launch", "\\Windows\\Unload.exe", "Velluma Reader ZRV", True),
            ("delete", MENU_COPY, True),
            (*held, 1, 5, HELD), ("sleep", 1000),
            (*held, 2, 5, HELD), ("sleep", 1000),
            (*held, 3, 5, HELD), ("sleep", 1000),
            ("uninstalled", "Velluma Reader ZRV",
             [READER, WELCOME, SHORTCUT, "\\Program Files\\VellumaZRV"],
             [APP_KEY, *reversed(SOFTWARE_KEYS)], ["unload"]),
            (*held, 4, 2, "there is no such key"),
            ("exit", 0),
        ])
        self.assertEqual([e["t"] for e in events if e["event"] in ("key-delete", "uninstalled")],
                         [0, 1000, 2000, 2500, 3000])
        self.assertEqual(list(events[0]), ["event", "t", "name", "cards", "in", "runs", "facts"])
        self.assertEqual(list(events[13]), ["event", "t", "name", "cards", "runs"])
        # Calls are in the log with --trace only.
        self.assertNotIn("call", [e["event"] for e in events])
        entries = paths(state)
        self.assertEqual(entries["\\Windows\\autorun.exe"],
                         {"path": "\\Windows\\autorun.exe", "attributes": [],
                          "time": ticks("2026-11-02T10:00:00Z")})
        self.assertEqual(entries["\\Windows\\Unload.exe"]["attributes"], ["readonly", "system"])
        # The device's standard folders and keys were there from the start.
        self.assertEqual(entries["\\Windows\\Start Menu\\Programs"]["time"],
                         ticks("2026-01-01T00:00:00Z"))
        self.assertEqual(state["registry"],
                         ["HKEY_LOCAL_MACHINE\\SOFTWARE", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Apps",
                          "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft", "HKEY_CURRENT_USER\\Software"])

    def test_times_registry_and_faults(self):
        # Times in both forms, the registry replaced, and faults: the
        # platform query fails, so the program searches "wince\arm".
        exact = "2026-11-02T10:00:00.1234567Z"
        description = {
            "entries": card(("Old.cab", "2026-10-01T00:00:00Z")) + [
                {"path": CARD + "\\wince\\arm\\New.cab", "time": exact},
                {"path": "\\Leap", "time": "2028-02-29T23:59:59.5Z"},
                {"path": "\\Ticks", "time": 125000000000000000},
            ],
            "registry": ["HKLM\\SOFTWARE\\Apps", "hkey_local_machine\\SOFTWARE\\Other"],
            "faults": {"failing": ["SystemParametersInfoW"],
                       "plan": [{"op": "RegDeleteKeyW", "match": "*\\Velluma Reader ZRV",
                                 "count": 2, "error": 5}]},
            "uninstallMs": 0,
            "clock": "2029-01-01T00:00:00Z",
        }
        events, state = self.device(description)
        launches = [e["file"] for e in events if e["event"] == "launch"]
        self.assertEqual(launches[0], CARD + "\\wince\\arm\\New.cab")
        copies = [e["to"] for e in events if e["event"] == "copy"]
        self.assertIn(MENU_COPY, copies)
        entries = paths(state)
        self.assertEqual(entries["\\Leap"]["time"], ticks("2028-02-29T23:59:59.5Z"))
        self.assertEqual(entries["\\Ticks"]["time"], 125000000000000000)
        self.assertEqual(entries["\\Leap"]["attributes"], [])
        self.assertEqual(entries["\\Windows\\Start Menu\\Programs"]["time"],
                         ticks("2029-01-01T00:00:00Z"))
        # The uninstaller holds nothing (0 ms); the countdown fault refuses the
        # first two deletions; by the third the uninstaller has removed the key.
        keys = [(e["attempt"], e["result"]) for e in events if e["event"] == "key-delete"]
        self.assertEqual(keys, [(1, 5), (2, 5), (3, 2)])
        self.assertIn("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other", state["registry"])
        self.assertNotIn(APP_KEY, state["registry"])

    def test_a_deep_key_is_made_with_each_of_its_parents_once(self):
        # Each parent of a key 64 deep is made once: made again for each
        # deeper one, the description took time doubling with every level.
        key = "HKLM\\" + "\\".join("K%d" % i for i in range(64))
        _, state = self.device({"registry": [key], "steps": []})
        self.assertEqual(len(state["registry"]), 64)
        self.assertEqual(state["registry"][-1], "HKEY_LOCAL_MACHINE\\" + key[5:])

    def test_no_apps_key_no_package(self):
        # Without SOFTWARE\Apps removal attempts no deletion and makes no
        # pause; without a package, insert shows the message box only.
        events, state = self.device({"entries": card(), "registry": []})
        self.assertEqual(state["registry"], [])
        kinds = [e["event"] for e in events]
        self.assertNotIn("key-delete", kinds)
        self.assertNotIn("sleep", kinds)
        box = [e for e in events if e["event"] == "message-box"]
        self.assertEqual(box[0], {"event": "message-box", "t": 0,
                                  "text": "Unable to find the .CAB setup program. Exiting",
                                  "caption": "Fatal Error"})
        # No menu copy was made, so the menu step names none and runs nothing.
        self.assertIn(("step", "menu", False), compact(events))

    def test_names_ignore_case_beyond_latin(self):
        # The card and the paths under it are one folder however they are
        # cased, in Greek as in Latin.
        events, _ = self.device({"entries": [
            {"path": "\\ΚΑΡΤΑ", "attributes": ["directory", "temporary"]},
            {"path": "\\καρτα\\2577\\autorun.exe"},
            {"path": "\\Καρτα\\2577\\Ωmega.cab", "time": "2026-11-02T10:00:00Z"}]}, "insert")
        self.assertEqual(compact(events)[0], ("step", "insert", 0, 1, True, ["processor"]))
        self.assertEqual([e["file"] for e in events if e["event"] == "launch"],
                         ["\\ΚΑΡΤΑ\\2577\\Ωmega.cab"])


class FromFolder(Case):
    def test_host_files_come_in_with_their_times(self):
        base = os.path.join(self.dir.name, "cards", "mine")
        stamps = {
            "2577": "2026-09-01T08:00:00Z",
            "2577/autorun.exe": "2026-09-01T08:00:00Z",
            "2577/Reader.cab": "2026-10-05T12:34:56.7891234Z",
            "2577/Zeta.cab": "2026-12-30T00:00:00Z",
            "2577/docs/readme.txt": "2025-01-01T00:00:00Z",
        }
        with open(EXAMPLE_PACKAGE, "rb") as f:
            package = f.read()
        for name in stamps:
            if name.endswith((".exe", ".cab", ".txt")):
                # An empty program file holds no image: the host build runs.
                # Reader.cab is the reader's package; Zeta.cab is never opened.
                self.write(os.path.join("cards", "mine", name),
                           "" if name.endswith((".exe", "Zeta.cab")) else
                           package if name.endswith(".cab") else "x")
        # Burnt read-only, so that the installer leaves it for the next insertion.
        os.chmod(os.path.join(base, "2577", "Reader.cab"), 0o444)
        for name, stamp in sorted(stamps.items(), key=lambda item: -len(item[0])):
            nanoseconds = (ticks(stamp) - ticks("1970-01-01T00:00:00Z")) * 100
            os.utime(os.path.join(base, name), ns=(nanoseconds, nanoseconds))
        # A relative "from" is taken from the description's own folder.
        path = self.write("device.json", {"entries": [
            {"path": "\\My Card", "attributes": ["directory", "temporary"],
             "from": "cards/mine"}]})
        events, state = self.log("--device", path, "insert", "insert")
        entries = paths(state)
        for name, stamp in stamps.items():
            device_path = "\\My Card\\" + name.replace("/", "\\")
            self.assertEqual(entries[device_path]["time"], ticks(stamp), device_path)
        self.assertEqual(entries["\\My Card\\2577"]["attributes"], ["directory"])
        self.assertEqual(entries["\\My Card\\2577\\docs"]["attributes"], ["directory"])
        self.assertEqual(entries["\\My Card\\2577\\Reader.cab"]["attributes"], ["readonly"])
        self.assertEqual(entries["\\My Card\\2577\\Zeta.cab"]["attributes"], [])
        # Names in byte order: "Reader.cab" before "Zeta.cab" is found first.
        launch = [e for e in events if e["event"] == "launch"]
        self.assertEqual(launch[0]["file"], "\\My Card\\2577\\Reader.cab")
        # The reader the first insertion installs has the cabinet's date,
        # newer than its package's file, so the second insertion starts it.
        self.assertEqual(launch[1]["file"], READER)
        self.assertEqual(entries[READER]["time"], ticks("2026-10-30T12:00:00Z"))
        # The clock starts a minute after the latest time, the folder's files
        # included.
        self.assertEqual(entries["\\Windows\\Start Menu\\Programs"]["time"],
                         ticks("2026-12-30T00:01:00Z"))

    def test_a_program_file_runs_what_it_holds(self):
        # A card copied from disk brings its program's bytes: here none the
        # device can start, so the loader refuses it. That is the device's
        # answer, not a crash: every step ran.
        self.write(os.path.join("card", "2577", "autorun.exe"), "MZ, but no image")
        path = self.write("device.json", {"entries": [
            {"path": "\\C", "attributes": ["directory", "temporary"], "from": "card"}]})
        result = run("--device", path, "insert")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("The device cannot start \\Windows\\autorun.exe: not a runnable image",
                      result.stdout)
        self.assertNotIn("The program starts", result.stdout)
        events, _ = self.log("--device", path, "insert")
        self.assertEqual([e["event"] for e in events], ["step", "copy", "not-started"])
        self.assertEqual(events[2]["path"], "\\Windows\\autorun.exe")
        self.assertTrue(events[2]["reason"].startswith("not a runnable image: "), events[2])

    def test_from_needs_a_readable_host_folder(self):
        self.write("plain.txt", "x")
        for name in ("Ωmega", "ωMEGA", "Книга", "кНИГА", "ok"):
            self.write(os.path.join("cased", name), "x")
        for name in ("Read.cab", "READ.CAB"):
            self.write(os.path.join("ascii", name), "x")
        self.write(os.path.join("colon", "a:b"), "x")
        self.write(os.path.join("newline", "a\nb"), "x")
        os.makedirs(os.path.join(self.dir.name, "latin1"))
        os.makedirs(os.path.join(self.dir.name, "loop", "a"))
        os.symlink("..", os.path.join(self.dir.name, "loop", "a", "up"))
        open(os.path.join(self.dir.name, "latin1").encode() + b"/caf\xe9", "w").close()
        for place, *message in (
                ("plain.txt", "is not a folder"),
                ("missing", "cannot read host folder"),
                ("", 'an empty name ("." is the description\'s own folder)'),
                # Names in one folder that differ only in case: named both.
                ("ascii", '/ascii/READ.CAB" and "', '/ascii/Read.cab" differ only in case'),
                ("cased", '/cased/Ωmega" and "', '/cased/ωMEGA" differ only in case'),
                ("colon", '/colon/a:b": the device cannot hold this name: it has ":"'),
                ("newline", '/newline/a\\u000ab": the device cannot hold this name: '
                            'it has the control character U+000A'),
                ("latin1", '/latin1/caf\\xE9": the name is not UTF-8 (byte 0xE9)'),
                ("loop", '/loop/a/up" leads through a link to "', '/loop", which is read already')):
            path = self.write("device.json", {"entries": [
                {"path": "\\C", "attributes": ["directory", "temporary"], "from": place}]})
            result = run("--device", path)
            self.assertEqual(result.returncode, 2, place)
            self.assertEqual(result.stderr.count("\n"), 1, result.stderr)
            self.assertIn("entries[0].from: ", result.stderr)
            for part in message:
                self.assertIn(part, result.stderr)


MAKE_CAB = os.path.join(HERE, "..", "scripts", "make-cab")
PACKAGE = os.path.join(EXAMPLES, "packages", "reader.json")
# A package shaped as CabWiz writes one (its own install directory
# %CE1%\Maker\App, a shortcut "App.lnk" to %CE11% given in the old field, its
# list of string ids without a closing 0).
CABWIZ = os.path.join(HERE, "packages", "cabwiz.json")
MAKER_KEY = "HKEY_LOCAL_MACHINE\\Software\\Maker\\App"


class Packages(Case):
    """The card's own package, installed and removed as the device's cabinet
    installer and uninstaller do; each made by make-cab, stored and MSZIP.
    With AUTORUN_IMAGE set, the image must leave the device in the same state
    as the host build."""

    def cabinet(self, name, *args):
        path = os.path.join(self.dir.name, name)
        result = subprocess.run([sys.executable, MAKE_CAB, "--json", PACKAGE, *args, path],
                                stderr=subprocess.PIPE, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        return path

    def life(self, cab, *steps, card_attributes=(), readonly=True, **device):
        """The card holding the package on a device (facts such as platform or
        profile given as keywords), the steps played."""
        entries = [{"path": CARD, "attributes": ["directory", "temporary", *card_attributes]},
                   {"path": CARD + "\\2577\\autorun.exe"},
                   {"path": CARD + "\\2577\\Reader.cab", "from": cab, "time": PACKAGE_TIME,
                    "attributes": ["readonly"] if readonly else []}]
        description = {"entries": entries, **device}
        path = self.write("device.json", description)
        events, state = self.log("--device", path, *steps)
        if IMAGE:
            # The desktop image, on an x86 device, must leave the host build's
            # state there.
            on = self.write("x86.json", on_x86(description, EXAMPLES)) if IMAGE_ON_X86 else path
            want = self.log("--device", on, *steps)[1] if IMAGE_ON_X86 else state
            result = run("--json", "--device", on, "--image", IMAGE, *steps)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(json.loads(result.stdout.splitlines()[-1]), want)
        return events, state

    def test_make_cab_help_gives_every_key_the_manual_lists(self):
        # A card's author learns the description's keys from the manual's
        # table and make-cab's --help: the two must name the same keys.
        with open(MANUAL, encoding="utf-8") as f:
            section = f.read().split("### Making a package: scripts/make-cab")[1].split("\n## ")[0]
        keys = [k for row in re.findall(r"^\| (`.*?) \|", section, re.M)
                for k in re.findall(r"`(\w+)`", row)]
        self.assertGreater(len(keys), 10)
        result = subprocess.run([sys.executable, MAKE_CAB, "--help"], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        # The keys --help describes: a heading's first word ("files, a list
        # ...") and each entry's first column ("  minVersion, maxVersion").
        described = set()
        for line in result.stdout.split("is a JSON object")[1].splitlines():
            column = re.match(r"(?:  )?(\S+(?: \S+)*)", line)
            if column and not line.startswith("   "):
                described.update(re.findall(r"\w+", column.group(1).split(",")[0]
                                            if not line.startswith(" ") else column.group(1)))
        self.assertEqual([k for k in keys if k not in described], [])

    def each_compression(self):
        for compression in ((), ("--zip",)):
            with self.subTest(compression="mszip" if compression else "none"):
                yield compression

    def test_a_matching_package_installs_where_the_program_looks_and_goes_away(self):
        for zipped in self.each_compression():
            cab = self.cabinet("reader.cab", *zipped)
            events, state = self.life(cab, "insert", "insert", "menu", "remove")
            installed = [e for e in events if e["event"] == "installed"]
            self.assertEqual(len(installed), 1)
            self.assertEqual(installed[0]["app"], "Velluma Reader ZRV")
            self.assertIn(READER, installed[0]["files"])
            # The second insertion finds the reader as new as the package: it starts it.
            launches = [e["file"] for e in events if e["event"] == "launch"]
            self.assertEqual(launches, [CARD + "\\2577\\Reader.cab", READER, READER,
                                        "\\Windows\\Unload.exe"])
            kept = [e for e in events if e["event"] == "package-deleted"]
            self.assertEqual([(e["ok"], e["why"]) for e in kept], [(False, "the file is read-only")])
            # Removed completely: files, folders, the shortcut, the keys.
            removed = [e for e in events if e["event"] == "uninstalled"][0]
            self.assertIn(READER, removed["files"])
            self.assertIn("\\Windows\\Start Menu\\Programs\\Velluma Reader.lnk", removed["files"])
            left = paths(state)
            for path in left:
                self.assertFalse(path.startswith("\\Program Files\\VellumaZRV"), path)
            self.assertNotIn(APP_KEY, state["registry"])
            self.assertNotIn("HKEY_LOCAL_MACHINE\\Software\\Velluma", state["registry"])
            self.assertEqual(state["values"], [])

    def test_what_a_package_installs_is_the_packages(self):
        events, state = self.life(self.cabinet("reader.cab"), "insert")
        entries = paths(state)
        # The bytes and the date the cabinet gives, at the device's folders.
        self.assertEqual(entries[READER]["time"], ticks("2026-10-30T12:00:00Z"))
        self.assertIn(WELCOME, entries)
        values = {(v["key"], v["name"]): v["data"] for v in state["values"]}
        self.assertEqual(values[(APP_KEY, "Instl")], 1)
        self.assertEqual(values[(APP_KEY, "CabFile")], CARD + "\\2577\\Reader.cab")
        # The install directory is the package's directory 1, as CabWiz writes it.
        self.assertEqual(values[(APP_KEY, "InstallDir")], "\\Program Files\\VellumaZRV")
        self.assertEqual(values[("HKEY_LOCAL_MACHINE\\Software\\Velluma\\Reader", "InstallDir")],
                         "\\Program Files\\VellumaZRV")
        declared = [e for e in events if e["event"] == "package"][0]
        self.assertEqual((declared["provider"], declared["appName"], declared["processor"],
                          declared["minVersion"]), ("Velluma", "Reader ZRV", 2577, "3.0"))

    def test_each_cabwiz_shape_installs_where_its_package_says(self):
        # On a Pocket PC 2003: the install directory the package gives, in the
        # application key and in its values; the shortcut's file, in the
        # folder its entry names; a setup DLL named and not run.
        app = "\\Program Files\\Maker\\App"
        menu = "\\Windows\\Start Menu\\Programs\\"
        link = lambda fields: ["--with", 'links=[{"file": "App.exe", %s}]' % fields]
        rows = [  # shape, make-cab's arguments, install directory, shortcut
            ("Pocket PC 2003 SDK", [], app, menu + "App.lnk"),
            ("Visual Studio 2008", link('"name": "App.lnk", "in": "%CE11%", "terminated": false'),
             app, menu + "App.lnk"),
            ("old field, games", link('"name": "App.lnk", "inDir": "%CE14%"'), app,
             menu + "Games\\App.lnk"),
            ("format document", link('"name": "App", "in": "%InstallDir%", "terminated": true'),
             app, app + "\\App.lnk"),
            ("into \\Windows", ["--with", 'installDir="%CE2%"'], "\\Windows", menu + "App.lnk"),
            ("setup DLL", ["--with", 'setupDll="Setup.dll"'], app, menu + "App.lnk"),
        ]
        for shape, args, install_dir, shortcut in rows:
            for zipped in self.each_compression():
                with self.subTest(shape=shape):
                    cab = self.cabinet("cabwiz.cab", "--json", CABWIZ, *args, *zipped)
                    events, state = self.life(cab, "insert", profile="pocket-pc-2003")
                    installed = [e for e in events if e["event"] == "installed"]
                    self.assertEqual(len(installed), 1, events)
                    self.assertEqual((installed[0]["installDir"], installed[0]["files"]),
                                     (install_dir, [install_dir + "\\App.exe",
                                                    install_dir + "\\Help\\App.htm", shortcut]))
                    self.assertEqual(installed[0].get("setupDll"),
                                     "000Setup.999" if "setupDll" in str(args) else None)
                    values = {(v["key"], v["name"]): v["data"] for v in state["values"]}
                    self.assertEqual(
                        (values[("HKEY_LOCAL_MACHINE\\SOFTWARE\\Apps\\Maker App", "InstallDir")],
                         values[(MAKER_KEY, "InstallDir")], values[(MAKER_KEY, "Help")]),
                        (install_dir, install_dir, install_dir + "\\Help\\App.htm"))
        # The story says, in one line, that the setup DLL is not run.
        timeline = run("--device", self.write("device.json", {"profile": "pocket-pc-2003",
                       "entries": [*card()[:2], {"path": CARD + "\\2577\\App.cab",
                                                  "from": cab}]}), "insert").stdout
        self.assertIn("  The package's setup DLL 000Setup.999 is not run: the simulated device "
                      "runs no setup DLL, so what it would do is not in this story.\n", timeline)

    def test_a_cabwiz_package_on_a_new_pocket_pc_2003_and_its_removal(self):
        # CabWiz's shape, under the name the card's program removes.
        base = self.device({"profile": "pocket-pc-2003", "steps": []})[1]
        standard = [path for path in paths(base) if path != "\\Windows\\Unload.exe"]
        self.assertEqual(standard[:5], ["\\Windows", "\\Windows\\StartUp", "\\Windows\\Fonts",
                                        "\\Windows\\Start Menu", "\\Windows\\Start Menu\\Programs"])
        self.assertIn("\\My Documents", standard)
        self.assertIn("HKEY_CURRENT_USER\\Software", base["registry"])
        self.assertIn("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft", base["registry"])
        app = "\\Program Files\\Maker\\App"
        made = [app + "\\App.exe", app + "\\Help\\App.htm",
                "\\Windows\\Start Menu\\Programs\\App.lnk"]
        deep = [app + "\\Help", app, "\\Program Files\\Maker"]
        for zipped in self.each_compression():
            cab = self.cabinet("cabwiz.cab", "--json", CABWIZ, "--app-name", "Reader ZRV",
                               "--provider", "Velluma", *zipped)
            events, state = self.life(cab, "insert", profile="pocket-pc-2003")
            self.assertTrue(set(made) <= set(paths(state)))
            values = {(v["key"], v["name"]): v["data"] for v in state["values"]}
            self.assertEqual((values[(APP_KEY, "InstallDir")], values[(MAKER_KEY, "InstallDir")]),
                             (app, app))
            installed = [e for e in events if e["event"] == "installed"][0]
            self.assertNotIn("HKEY_LOCAL_MACHINE\\SOFTWARE", installed["keys"])
            # Removal takes all it made but the folders deeper than the Pocket
            # PC's uninstaller reaches; no standard folder or key goes. With
            # an uninstaller that reaches any depth, nothing it made is left.
            for depth, left in ((None, deep), (0, [])):
                with self.subTest(depth=depth):
                    extra = {} if depth is None else {"uninstallerDepth": depth}
                    events, state = self.life(cab, "insert", "remove", profile="pocket-pc-2003",
                                              **extra)
                    removed = [e for e in events if e["event"] == "uninstalled"][0]
                    self.assertEqual((removed["files"], removed.get("kept")),
                                     (made + ([] if left else deep), left or None))
                    now = paths(state)
                    self.assertEqual([path for path in now if path not in paths(base)],
                                     ["\\Windows\\autorun.exe", *reversed(left)])
                    self.assertTrue(set(standard) <= set(now))
                    self.assertEqual(state["registry"], base["registry"])
                    self.assertEqual(state["values"], [])

    def test_another_name_leaves_the_reader_behind(self):
        for zipped in self.each_compression():
            cab = self.cabinet("other.cab", *zipped, "--with", 'appName="Reader Pro"')
            events, state = self.life(cab, "insert", "remove")
            self.assertIn(READER, paths(state))
            self.assertIn("HKEY_LOCAL_MACHINE\\SOFTWARE\\Apps\\Velluma Reader Pro",
                          state["registry"])
            removed = [e for e in events if e["event"] == "uninstalled"][0]
            self.assertEqual((removed["app"], removed["files"], removed["keys"]),
                             ("Velluma Reader ZRV", [], []))

    def test_a_reader_installed_elsewhere_is_installed_again(self):
        for zipped in self.each_compression():
            cab = self.cabinet("elsewhere.cab", *zipped, "--with",
                               'files=[{"folder": "%CE1%\\\\Velluma", "name": "vellumabook.exe", '
                               '"text": "x"}]', "--with", "links=[]")
            events, _ = self.life(cab, "insert", "insert")
            self.assertEqual([e["event"] for e in events].count("installed"), 2)

    def test_a_package_not_for_this_device_is_refused_and_changes_nothing(self):
        for args, why in (
                (("--processor", "1824"),
                 "it is for processor 1824 (ARM720), and this device's is 2577 (StrongARM)"),
                (("--min-version", "5.0"), "it needs Windows CE 5.0 or later, and this device has 4.0"),
                (("--unsupported", "POCKETPC"),
                 'it does not support the platform "POCKETPC", which this device is')):
            for zipped in self.each_compression():
                with self.subTest(why=why):
                    events, state = self.life(self.cabinet("refused.cab", *zipped, *args), "insert")
                    refused = [e for e in events if e["event"] == "refused"]
                    self.assertEqual([e["why"] for e in refused], [why])
                    self.assertNotIn(READER, paths(state))
                    self.assertNotIn(APP_KEY, state["registry"])
                    self.assertIn(CARD + "\\2577\\Reader.cab", paths(state))

    def test_the_installer_deletes_a_package_it_may(self):
        for zipped in self.each_compression():
            cab = self.cabinet("reader.cab", *zipped)
            events, _ = self.life(cab, "insert", "insert", readonly=False)
            deleted = [e for e in events if e["event"] == "package-deleted"]
            self.assertEqual([e["ok"] for e in deleted], [True])
            # The next insertion finds no package: the error box.
            self.assertEqual([e["caption"] for e in events if e["event"] == "message-box"],
                             ["Fatal Error"])
            # A write-protected card keeps it.
            events, state = self.life(cab, "insert", card_attributes=["readonly"], readonly=False)
            deleted = [e for e in events if e["event"] == "package-deleted"]
            self.assertEqual([(e["ok"], e["why"]) for e in deleted],
                             [(False, "the card is write-protected")])
            # An installer that keeps its packages leaves it, and tries nothing.
            events, state = self.life(cab, "insert", readonly=False, installerDeletesPackage=False)
            self.assertEqual([e for e in events if e["event"] == "package-deleted"], [])
            self.assertIn(CARD + "\\2577\\Reader.cab", paths(state))

    def test_a_malformed_package_is_not_valid(self):
        for args, why in ((("--set", "strings_offset=60000"), "STRINGS offset 60000"),
                          (("--set", "files_count=40"), "file "),
                          (("--truncate", "200"), ""),
                          # The entry, named: a link, a registry value.
                          (("--json", CABWIZ, "--drop-string", "App.lnk"),
                           ": link 1 names string 7, which does not exist"),
                          (("--set", "regkeys_count=2"),
                           ": registry value 1 is in hive 0, which does not exist")):
            for zipped in self.each_compression():
                with self.subTest(args=args):
                    events, state = self.life(self.cabinet("bad.cab", *zipped, *args), "insert")
                    refused = [e["why"] for e in events if e["event"] == "refused"]
                    self.assertEqual(len(refused), 1)
                    self.assertTrue(refused[0].startswith(
                        "it is not a valid Windows CE Setup file: "), refused[0])
                    self.assertIn(why, refused[0])
                    self.assertNotIn(READER, paths(state))
        # The story and the check name the package and the entry.
        bad = self.cabinet("bad.cab", "--json", CABWIZ, "--drop-string", "App.lnk")
        why = ("the cabinet installer refuses \\Storage Card\\2577\\Reader.cab: it is not a valid "
               "Windows CE Setup file: link 1 names string 7, which does not exist")
        description = self.write("bad.json", {"entries": [
            *card()[:2], {"path": CARD + "\\2577\\Reader.cab", "from": bad}]})
        self.assertIn("  T" + why[1:] + ". Nothing is installed.\n",
                      run("--device", description, "insert").stdout)
        self.assertIn("    ✗ installs: " + why + "\n",
                      run("check", description, "--devices", "pocket-pc-2003",
                          "--stand-in").stdout)
        # A package that holds no bytes is no package at all: nothing stands
        # in for it.
        events, state = self.life(self.write("empty.cab", b""), "insert")
        self.assertEqual([e["why"] for e in events if e["event"] == "refused"],
                         ["it is not a valid Windows CE Setup file: it holds no bytes"])
        self.assertNotIn("installed", [e["event"] for e in events])
        self.assertNotIn(APP_KEY, state["registry"])

    def test_the_example_package_is_what_make_cab_makes_of_its_description(self):
        # The example card's package, which autorun-sim holds built in, is
        # made from examples/packages/reader.json, and the two cards' are one.
        made = self.cabinet("reader.cab")
        for folder in ("2577", os.path.join("wince", "arm")):
            with open(made, "rb") as a, open(os.path.join(EXAMPLES, "card-folder", folder,
                                                        "Reader.cab"), "rb") as b:
                self.assertEqual(a.read(), b.read(), folder)

    def test_a_card_folder_brings_its_packages_bytes_and_read_only_files(self):
        card_dir = os.path.join(self.dir.name, "card", "2577")
        os.makedirs(card_dir)
        self.write(os.path.join("card", "2577", "autorun.exe"), "")
        cab = self.cabinet(os.path.join("card", "2577", "Reader.cab"))
        os.chmod(cab, 0o444)
        path = self.write("device.json", {"entries": [
            {"path": CARD, "attributes": ["directory", "temporary"], "from": "card"}]})
        events, state = self.log("--device", path, "insert")
        self.assertEqual(paths(state)[CARD + "\\2577\\Reader.cab"]["attributes"], ["readonly"])
        self.assertEqual(paths(state)[CARD + "\\2577\\autorun.exe"]["attributes"], [])
        self.assertIn(READER, paths(state))


class Steps(Case):
    def test_command_line_steps_replace_the_descriptions(self):
        description = {"entries": card(("Reader.cab", PACKAGE_TIME)),
                       "steps": ["insert", "menu", "remove"]}
        events, _ = self.device(description, "insert", "insert")
        self.assertEqual([e["name"] for e in events if e["event"] == "step"],
                         ["insert", "insert"])
        # Second insert: the reader installed by the first is newer than the
        # package's file.
        self.assertEqual([e["file"] for e in events if e["event"] == "launch"],
                         [CARD + "\\2577\\Reader.cab", READER])

    def test_run_steps(self):
        run_step = {"run": CARD + "\\2577\\autorun.exe", "args": ""}
        description = {"entries": card(("Reader.cab", "2026-11-02T10:00:00Z")),
                       "steps": [run_step]}
        events, _ = self.device(description)
        # Started by hand from the card, the program installs.
        self.assertEqual(compact(events)[:4], [
            ("step", "run", CARD + "\\2577\\autorun.exe", True, True),
            ("start", CARD + "\\2577\\autorun.exe", ""),
            ("copy", CARD + "\\2577\\autorun.exe", MENU_COPY, True),
            ("launch", CARD + "\\2577\\Reader.cab", "", True)])
        # The same step on the command line, as a JSON object.
        events, _ = self.device(description, "menu",
                                json.dumps({"run": "\\Windows\\autorun.exe", "args": "INSTALL"}))
        self.assertEqual([e["name"] for e in events if e["event"] == "step"], ["menu", "run"])
        self.assertIn(("launch", CARD + "\\2577\\Reader.cab", "", True), compact(events))
        # The copy the program made of itself, run from the card, is what the
        # menu step taps.
        events, _ = self.device(description, json.dumps(run_step), "menu")
        self.assertIn(("step", "menu", MENU_COPY, True), compact(events))
        self.assertEqual(compact(events)[-3][:2], ("start", MENU_COPY))

    def test_the_menu_taps_the_programs_own_copy_and_a_tap_any_file(self):
        # A file in the Programs folder that no program copied there is no
        # program's entry: the menu step has none to tap; a tap starts it.
        entries = card(("Reader.cab", PACKAGE_TIME)) + [{"path": MENU_COPY}]
        events, _ = self.device({"entries": entries, "steps": ["menu", {"tap": MENU_COPY}]})
        self.assertEqual(compact(events)[:3], [("step", "menu", False),
                                               ("step", "tap", MENU_COPY, True),
                                               ("start", MENU_COPY, "")])
        # Once the card's program has copied itself there, the menu taps the
        # copy; once it has deleted it, there is none again. A tap on a file
        # that is not there runs nothing.
        events, _ = self.device({"entries": card(("Reader.cab", PACKAGE_TIME))}, "insert", "menu",
                                "remove", "menu", '{"tap": "\\\\Nowhere.exe"}')
        steps = [step[1:] for step in compact(events) if step[0] == "step"]
        self.assertEqual(steps, [("insert", 0, 1, True, ["processor"]), ("menu", MENU_COPY, True),
                                 ("remove", 1, True), ("menu", False),
                                 ("tap", "\\Nowhere.exe", False)])
        result = run("--device", self.write("device.json", {"entries": entries}), "menu",
                     '{"tap": "\\\\Nowhere.exe"}')
        self.assertIn("No program has copied itself into \\Windows\\Start Menu\\Programs, so "
                      "there is no entry to tap.", result.stdout)
        self.assertIn("Step 2 of 2, tap: the user taps \\Nowhere.exe\n", result.stdout)
        self.assertIn("There is no \\Nowhere.exe, so there is nothing to tap.", result.stdout)

    def test_description_steps_and_default(self):
        events, _ = self.device({"entries": card(), "steps": ["menu"]})
        self.assertEqual(compact(events), [("step", "menu", False)])
        events, _ = self.device({"entries": card(), "steps": []})
        self.assertEqual(events, [])
        events, _ = self.device({})
        self.assertEqual(compact(events), [("step", "insert", 0, 0, False, ["processor"]),
                                           ("step", "menu", False),
                                           ("step", "remove", 0, False)])
        # From standard input.
        events, _ = self.log("--device", "-", stdin=json.dumps({"entries": card(), "steps": ["menu"]}))
        self.assertEqual(compact(events), [("step", "menu", False)])

    def test_the_manuals_sample_runs_as_written(self):
        with open(MANUAL, encoding="utf-8") as f:
            manual = f.read()
        sample = manual.split("## The device description", 1)[1].split("```json\n", 1)[1]
        description = json.loads(sample.split("```", 1)[0])
        # Its package, beside it.
        with open(EXAMPLE_PACKAGE, "rb") as f:
            self.write("Reader.cab", f.read())
        events, _ = self.device(description)
        self.assertEqual(set(description), {
            "platform", "osMajor", "clock", "entries", "registry", "uninstallMs", "faults",
            "steps"})
        self.assertEqual([e["name"] for e in events if e["event"] == "step"],
                         ["insert", "menu", "remove", "tap", "run"])
        self.assertIn("installed", [e["event"] for e in events])
        # "from": "." brings in the folder the description is in.
        _, state = self.device(description, "insert")
        self.assertIn("\\My Card\\device.json", paths(state))

    def test_the_manual_lists_the_operations_that_can_fail(self):
        # The list is the table's: platform/operations.h, read as the build reads it.
        sys.path.insert(0, os.path.join(HERE, "..", "cmake"))
        import operations
        with open(MANUAL, encoding="utf-8") as f:
            manual = f.read()
        listed = manual.split("table of platform operations (`platform/operations.h`) that can fail:",
                              1)[1].split(". A rule of", 1)[0]
        self.assertEqual([name.strip() for name in listed.split(",")],
                         [op.name for op in operations.read() if op.failable])
        # The description takes exactly these.
        for op in operations.read():
            result = run("--json", "--device", self.write("device.json", {
                "faults": {"failing": [op.name]}, "steps": []}))
            self.assertEqual(result.returncode, 0 if op.failable else 2, op.name)

    def test_cards_go_back_in_with_what_they_held(self):
        # Taken out, the card is kept; put back, it is found again, and the
        # reader the uninstaller removed is installed anew.
        events, state = self.log("insert", "menu", "remove", "insert", "menu", "remove", "remove")
        steps = [e for e in events if e["event"] == "step"]
        self.assertEqual([(e["name"], e.get("cards"), e["runs"]) for e in steps],
                         [("insert", 0, True), ("menu", None, True), ("remove", 1, True),
                          ("insert", 1, True), ("menu", None, True), ("remove", 1, True),
                          ("remove", 0, False)])
        launches = [e["file"] for e in events if e["event"] == "launch"]
        package = CARD + "\\2577\\Reader.cab"
        self.assertEqual(launches, [package, READER, "\\Windows\\Unload.exe"] * 2)
        self.assertEqual(state["cardsOut"], [CARD])
        self.assertNotIn(CARD, paths(state))

    def test_timeline_says_why(self):
        # A card, and the shell's copy of its program, for a removal first.
        removal_card = card() + [{"path": "\\Windows\\autorun.exe"}]
        # Each call told with what the device answered; each failure with why,
        # as the device knows it.
        cases = [
            ({"entries": card() + [{"path": CARD + "\\2577\\Old.cab",
                                    "attributes": ["directory"]}]}, ["insert"],
             "It searches \\Storage Card\\2577\\*.cab: first Old.cab, a folder."),
            ({"platform": "Smartphone", "entries": card()}, ["insert"],
             'It asks for the platform type: "Smartphone".'),
            ({"osMajor": 2, "entries": card()}, ["insert"], "It asks for the version: 2.0, build 0."),
            ({"entries": card()}, ["insert"],
             "It searches \\Storage Card\\2577\\*.cab: nothing matches (error 2)."),
            ({"entries": card()}, ['{"run": "\\\\Nowhere\\\\a.exe"}'],
             "\\Nowhere\\a.exe is not on the device; the program runs as if it were that file."),
            ({"entries": card(("R.cab", "2026-01-02T00:00:00Z")),
              "faults": {"failing": ["LoadStringW"]}}, ["insert"],
             "It loads string 1: the fault plan makes it fail (error 1814)."),
            ({"entries": card(("R.cab", "2026-01-02T00:00:00Z")),
              "faults": {"plan": [{"op": "CopyFileW", "count": 1}]}}, ["insert"],
             "The program tries to copy itself to the Programs menu as " + MENU_COPY +
             ": the fault plan makes it fail (error 5)."),
            ({"entries": card() + [{"path": MENU_COPY, "attributes": ["readonly"]},
                                   {"path": "\\Windows\\autorun.exe"}]}, ["remove"],
             "The program tries to delete the Programs-menu entry " + MENU_COPY +
             ": the file is read-only (error 5)."),
            ({"entries": card()}, ["remove", "remove"], "remove: there is no card to take out"),
            # A control character in a name or a text stays on its line.
            ({"entries": card()}, ['{"run": "\\\\Windows\\\\autorun.exe", "args": "a\\nb"}'],
             'with the command line "a\\u000ab".'),
            ({"registry": [], "entries": card()}, ["insert", "remove"],
             'The uninstaller finishes: it finds nothing of "Velluma Reader ZRV" to remove.'),
            ({"registry": [], "entries": card()}, ["insert", "remove"],
             "It cannot open the key HKEY_LOCAL_MACHINE\\SOFTWARE\\Apps: there is no such key "
             "(error 2)."),
            # Windows Mobile: the Configuration Manager, its library and its
            # answers, and the device's facts about them.
            ({"profile": "wm6", "entries": card(("R.cab", "2026-01-02T00:00:00Z"))},
             ["insert", "remove"],
             'The Configuration Manager uninstalls "Velluma Reader ZRV", as the program\'s '
             "provisioning document asks: it removes \\Program Files\\VellumaZRV\\vellumabook.exe, "),
            ({"profile": "wm6", "entries": removal_card}, ["remove"],
             "The program hands the Configuration Manager a provisioning document, which it does "
             'not carry out: the UnInstall provider finds nothing installed under "Velluma Reader '
             'ZRV"; it answers CONFIG_E_CSPEXCEPTION (0x80042007).'),
            ({"profile": "wm6", "configurationProviders": [], "entries": removal_card}, ["remove"],
             'the device has no configuration service provider "UnInstall"; it answers '
             "CONFIG_E_ENTRYNOTFOUND (0x80042004)."),
            ({"profile": "wm6", "entries": removal_card,
              "faults": {"plan": [{"op": "LoadLibraryW", "match": "aygshell*"}]}}, ["remove"],
             "It cannot load the library aygshell.dll: the fault plan makes it fail (error 126)."),
            ({"profile": "wm5", "libraries": {}, "entries": removal_card}, ["remove"],
             "It cannot load the library aygshell.dll: the device has no library aygshell.dll "
             "(error 126)."),
            ({"profile": "wm6", "entries": removal_card,
              "faults": {"failing": ["GetProcAddressW"]}}, ["remove"],
             "It asks the library aygshell.dll for the address of DMProcessConfigXML: the fault "
             "plan makes it fail (error 127)."),
            ({"profile": "wm6.5", "entries": removal_card}, ["remove"],
             "  aygshell.dll exports DMProcessConfigXML.\n  The Configuration Manager's "
             "providers: UnInstall.\n"),
        ]
        for description, steps, text in cases:
            with self.subTest(text=text):
                result = run("--device", self.write("device.json", description), *steps)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn(text, result.stdout)


# Card-life scenarios: (name, arguments). Each runs with --trace --json; the
# log, without what only a run of the host build can tell, is compared with
# its golden file. Examples whose times come from this machine's files have
# no golden file; their image runs are compared with the host build's.
SCENARIOS = [("demo", []), ("demo-twice", ["insert", "menu", "remove"] * 2),
             ("demo-remove-first", ["remove", "insert", "menu", "menu", "remove"])] + [
    (name[:-5], ["--device", os.path.join(EXAMPLES, name)])
    for name in sorted(os.listdir(EXAMPLES)) if name.endswith(".json")]
MACHINE_TIMES = {"card-folder"}


# The deepest stack an image may use in a run: well within the 64 KB it
# reserves, and twice the 4 KB it commits.
STACK_LIMIT = 8192


def shared_log(args, image=None):
    """The --trace --json log of a run, as any kind of program gives it: without
    the count of emulated instructions and the stack depth. An image's runs are
    held within STACK_LIMIT bytes of stack."""
    result = run("--trace", "--json", *(["--image", image] if image else []), *args)
    if result.returncode != 0 or result.stderr:
        raise AssertionError(f"{args}: exit {result.returncode}: {result.stderr}")
    lines = []
    for line in result.stdout.splitlines():
        event = json.loads(line)
        if image and event["event"] == "exit":
            stack = event.pop("stack")
            if stack >= STACK_LIMIT:
                raise AssertionError(f"{args}: a run used {stack} bytes of stack")
        event.pop("instructions", None)
        lines.append(json.dumps(event, ensure_ascii=False))
    return lines


def shared_timeline(args, image=None):
    """The timeline of a run, as any kind of program tells it: without the lines
    that name the program (the header's, and the demo's sentence and its check
    table's first line), and with each exit told without its count of emulated
    instructions."""
    result = run(*(["--image", image] if image else []), *args)
    if result.returncode != 0 or result.stderr:
        raise AssertionError(f"{args}: exit {result.returncode}: {result.stderr}")
    return [re.sub(r"(exits with code \d+), after \d+ instructions", r"\1", line)
            for line in result.stdout.splitlines()
            if not line.lstrip().startswith(("The program: ", "The card's autorun.exe "))]


class Golden(unittest.TestCase):
    """Every platform call, its arguments and its order, and every effect, as
    the golden files have them; with AUTORUN_IMAGE set, of that image, whose
    timeline must also be the host build's, line for line. The desktop image
    plays each scenario on an x86 device, where its log and timeline must be
    the host build's."""

    def test_scenarios(self):
        update = os.environ.get("AUTORUN_UPDATE_GOLDEN") == "1"
        for name, args in SCENARIOS:
            with self.subTest(scenario=name):
                if IMAGE_ON_X86:
                    with tempfile.TemporaryDirectory() as folder:
                        x86 = x86_args(args, folder)
                        self.assertEqual(shared_log(x86, IMAGE), shared_log(x86))
                        self.assertEqual(shared_timeline(x86, IMAGE), shared_timeline(x86))
                    continue
                got = shared_log(args, IMAGE)
                path = os.path.join(GOLDEN, name + ".jsonl")
                if IMAGE:
                    self.assertEqual(shared_timeline(args, IMAGE), shared_timeline(args))
                if IMAGE and not args:
                    # The demo says what runs, and so does its check table.
                    lines = run("--image", IMAGE).stdout.splitlines()
                    self.assertEqual(lines[1], "The card's autorun.exe is the ARM image %s, given "
                                     "with --image; without it, the program compiled for this "
                                     "computer stands in for the card's empty file." % IMAGE)
                    self.assertIn("The program: the ARM image %s (--image), as the card's "
                                  "\\Storage Card\\2577\\autorun.exe." % IMAGE, lines)
                if name in MACHINE_TIMES:
                    if IMAGE:
                        self.assertEqual(got, shared_log(args))
                    continue
                if update and not IMAGE:
                    with open(path, "w", encoding="utf-8") as f:
                        f.write("\n".join(got) + "\n")
                with open(path, encoding="utf-8") as f:
                    want = f.read().splitlines()
                self.assertEqual(got, want)


# Hostile program files: the image fuzzer's seeds, and the image runner's
# table-test images as this build writes them (make_image_seeds, into the
# folder AUTORUN_CRAFTED_IMAGES names, when it is set).
IMAGE_CORPUS = os.path.join(HERE, "..", "fuzz", "image_corpus")
CRAFTED = os.environ.get("AUTORUN_CRAFTED_IMAGES")
# Processor seconds a run may take: 1, or as the build says (a sanitizer's
# build runs the emulator's hook at every instruction several times slower).
TIME_LIMIT = int(os.environ.get("AUTORUN_HOSTILE_SECONDS", "1"))
MEMORY_LIMIT = 200 * 2**20  # resident bytes a run may take
HANG = 10  # wall-clock seconds after which a run that used no processor time is a hang


def limited(args):
    """Runs autorun-sim within TIME_LIMIT processor seconds (past them the
    kernel ends it with a signal); returns its status (negative: the signal
    that ended it), standard output and error, and its peak resident bytes."""
    def limit():
        resource.setrlimit(resource.RLIMIT_CPU, (TIME_LIMIT, TIME_LIMIT + 1))

    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen([SIM, *args], stdout=out, stderr=err, preexec_fn=limit)
        timer = threading.Timer(HANG, process.kill)
        timer.start()
        _, status, usage = os.wait4(process.pid, 0)
        timer.cancel()
        process.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        err.seek(0)
        text = lambda f: f.read().decode("utf-8", "replace")
        return process.returncode, text(out), text(err), usage.ru_maxrss * 1024


class HostileImages(Case):
    """Every hostile program file, given with --image or found on a card
    copied from a folder, ends one of three ways within a second and 200 MB:
    a refusal (exit 2, one line naming the file), a crash told with its reason
    (exit 3), or a run to the end, the device's loader refusing to start it
    included (exit 0); never a signal, a hang or a sanitizer's report."""

    def images(self):
        files, seen = [], set()
        for folder in [IMAGE_CORPUS] + ([CRAFTED] if CRAFTED else []):
            for name in sorted(os.listdir(folder)):
                path = os.path.join(folder, name)
                with open(path, "rb") as f:
                    digest = hashlib.sha256(f.read()).digest()
                if digest not in seen:
                    seen.add(digest)
                    files.append(path)
        return files

    def check(self, args, named):
        status, out, err, peak = limited(args)
        self.assertGreaterEqual(status, 0, f"ended by signal {-status}: {err[-2000:]}")
        self.assertIn(status, (0, 2, 3), err[-2000:])
        self.assertNotIn("Sanitizer", err)
        self.assertNotIn("runtime error", err)
        self.assertLess(peak, MEMORY_LIMIT, f"{peak >> 20} MiB")
        if status == 2:
            self.assertEqual(len(err.splitlines()), 1, err)
            self.assertIn(named, err)
        else:
            self.assertEqual(err, "")
        if status == 3:
            self.assertRegex(out, r"The program crashes: .+")

    def test_every_hostile_image_ends_one_of_three_ways(self):
        images = self.images()
        self.assertGreater(len(images), 2)
        card = os.path.join(self.dir.name, "card")
        description = {"entries": [{"path": "\\Storage Card",
                                    "attributes": ["directory", "temporary"], "from": card}]}
        # On a card in the device whose processor runs the image's machine:
        # the desktop's on an x86 device.
        devices = {"2577": self.write("device.json", description),
                   str(X86_PROCESSOR): self.write("x86.json", dict(description,
                                                                   processor=X86_PROCESSOR))}
        for image in images:
            with self.subTest(image=os.path.basename(image), given="--image"):
                # The demo's card life, its steps given: without them, its
                # check plays the image on every device again.
                self.check(["--image", image, "insert", "menu", "remove"], image)
            with self.subTest(image=os.path.basename(image), given="on a card"):
                with open(image, "rb") as f:
                    data = f.read()
                try:
                    x86 = machine_of(image) == 0x14C
                except struct.error:
                    x86 = False
                processor = str(X86_PROCESSOR) if x86 else "2577"
                self.write(os.path.join("card", processor, "autorun.exe"), data)
                self.check(["--device", devices[processor]], devices[processor])


class UnusableInput(Case):
    def refused(self, args, *parts, stdin=None):
        result = run(*args, stdin=stdin)
        self.assertEqual(result.returncode, 2, result.stdout)
        self.assertEqual(result.stdout, "")
        self.assertEqual(result.stderr.count("\n"), 1, result.stderr)
        self.assertTrue(result.stderr.startswith("autorun-sim: "), result.stderr)
        for part in parts:
            self.assertIn(part, result.stderr)
        return result.stderr

    def refused_text(self, text, *parts):
        path = self.write("bad.json", text)
        return self.refused(["--device", path], path + ": ", *parts)

    def test_unreadable_files(self):
        missing = os.path.join(self.dir.name, "none.json")
        self.refused(["--device", missing], missing + ": cannot read: No such file")
        self.refused(["--device", self.dir.name], self.dir.name + ": cannot read")
        # A name with a line break in it is shown on one line.
        self.refused(["--device", missing + "\n\u2028x"], "none.json\\u000a\\u2028x: cannot read")
        self.refused(["--device", ""], "command line: --device was given an empty file name")
        # An image to run must be one the emulated processors run.
        text = self.write("notes.txt", "MZ, but no image")
        self.refused(["--image", missing], missing + ": cannot read: No such file")
        self.refused(["--image", text], text + ": not an image autorun-sim can run: ")
        self.refused(["--image", ""], "command line: --image was given an empty file name")
        self.refused(["--device", "-"], "standard input: line 1, column 1: ", stdin="")

    def test_size_and_nesting_limits(self):
        # Each answered at once: no input is read past 16 MiB, no nesting
        # past 10 levels, and an unknown field is refused at its name.
        big = os.path.join(self.dir.name, "big.json")
        with open(big, "wb") as f:
            f.truncate(100 * 1000 * 1000)
        limit = "larger than 16 MiB, the most a description may be"
        self.refused(["--device", big], big + ": " + limit)
        self.refused(["--device", "-"], "standard input: " + limit, stdin=b" " * (17 << 20))
        self.refused(["--device", "/dev/zero"], "/dev/zero: line 1, column 1: a NUL byte")
        deep = "[" * 200000
        self.refused_text('{"entries": ' + deep, ": entries[0][0][0][0][0][0][0][0][0]: "
                          "nested deeper than 10 levels")
        self.refused_text('{"x": ' + deep, ': x: unknown field "x"')
        self.refused_text('{"entries": [{"path": "\\\\A", "x": ' + deep,
                          ': entries[0].x: unknown field "x" (known here: path, attributes, time, '
                          'from)')

    def test_bad_json_names_line_and_column(self):
        self.refused_text('{\n  "osMajor": 4,\n  "title": }\n', ": line 3, column 12: ")
        self.refused_text('{"osMajor": 4', "line 1, column 14: ")
        self.refused_text("", "line 1, column 1: ")
        self.refused_text('{"osMajor": 1} x', "line 1, column 16: ")
        # The parser would stop at a NUL byte and take the rest for nothing.
        self.refused_text(b'{"osMajor": 4}\0garbage', "line 1, column 15: a NUL byte")
        self.refused_text(b'{\n "title": "caf\xe9"}', "line 2, column 15: byte 0xE9 is not UTF-8; "
                          "save the text as UTF-8")
        for encoding in ("utf-16", "utf-16-le", "utf-16-be", "utf-32", "utf-32-le", "utf-32-be"):
            self.refused_text('{"osMajor": 4}'.encode(encoding),
                              ": the text is %s; save it as UTF-8" % encoding[:6].upper())

    def test_unknown_fields(self):
        self.refused_text('{"platfrom": "x"}', ': platfrom: unknown field "platfrom"')
        self.refused_text('{"entries": [{"path": "\\\\A", "mode": 1}]}',
                          ': entries[0].mode: unknown field "mode"')
        self.refused_text('{"faults": {"failing": [], "delay": 1}}', ": faults.delay: unknown")
        self.refused_text('{"steps": [{"run": "\\\\a.exe", "arg": ""}]}', ": steps[0].arg: unknown")
        self.refused_text('{"plat\\nform": 1}', ": plat\\u000aform: unknown")
        # A field given twice would otherwise keep its last value silently.
        self.refused_text('{"osMajor": 2, "platform": "x", "osMajor": 4}',
                          ': osMajor: field "osMajor" given twice')
        self.refused_text('{"steps": ["menu", {"run": "\\\\a.exe", "run": "\\\\b.exe"}]}',
                          ': steps[1].run: field "run" given twice')
        self.refused(['{"run": "\\\\a", "run": "\\\\b"}'], "command line: step 1.run: ")

    def test_wrong_types(self):
        self.refused_text("[1]", ": top level: expected an object, found an array")
        self.refused_text('{"osMajor": "4"}', ": osMajor: expected a whole number, found a string")
        self.refused_text('{"osMajor": 4.0}', ": osMajor: expected a whole number")
        self.refused_text('{"osMajor": -1}', ": osMajor: must not be negative")
        self.refused_text('{"osMajor": 4294967296}',
                          ": osMajor: 4294967296 is too large (at most 4294967295)")
        # Too large is said so, wherever the number is, even past a double.
        self.refused_text('{"osMajor": 1e999}', ": osMajor: the number 1e999 is too large")
        self.refused_text('{"osMajor": -1e999}', ": osMajor: the number -1e999 is out of range")
        self.refused_text('{"osMajor": 18446744073709551616}',
                          ": osMajor: the number 18446744073709551616 is too large")
        self.refused_text('{"uninstallMs": 1e300}', ": uninstallMs: 1e+300 is too large (at most ")
        self.refused_text('{"osMajor": 1.5}', ": osMajor: expected a whole number, found a number "
                          "with a fraction")
        self.refused_text('{"entries": [{"path": "\\\\A", "time": ' + "9" * 400 + "}]}",
                          ": entries[0].time: the number 99999999999999999999... (400 characters) "
                          "is too large")
        self.refused_text('{"clock": 1e19}', ": clock: 1e+19 is too large (at most 9223372036854775807)")
        self.refused_text('{"x": 1e999}', ': x: unknown field "x"')
        self.refused(['{"run": 1e999}'], "command line: step 1.run: the number 1e999 is too large")
        self.refused_text('{"uninstallMs": null}', ": uninstallMs: expected a whole number, found null")
        self.refused_text('{"entries": {}}', ": entries: expected an array, found an object")
        self.refused_text('{"entries": [{"path": 5}]}', ": entries[0].path: expected a string")
        self.refused_text('{"entries": [{"time": 5}]}', ": entries[0]: an entry needs \"path\"")
        self.refused_text('{"entries": [{"path": "\\\\A", "attributes": "directory"}]}',
                          ": entries[0].attributes: expected an array")
        self.refused_text('{"entries": [{"path": "\\\\A", "attributes": ["dir"]}]}',
                          ': entries[0].attributes[0]: unknown attribute "dir"')
        self.refused_text('{"registry": ["SOFTWARE\\\\Apps"]}', ": registry[0]: ")
        for key in ("HKLM\\", "HKLM", "hkey_local_machine\\"):
            self.refused_text(json.dumps({"registry": [key]}), ": registry[0]: ",
                              " names HKEY_LOCAL_MACHINE itself, which always exists")
        self.refused_text('{"registry": ["HKLM\\\\A\\\\"]}', ": registry[0]: ",
                          "has an empty or unprintable key name")
        # A kind's standard keys have any of the four roots; its folders are paths.
        self.refused_text('{"standardKeys": ["SOFTWARE\\\\Apps"]}', ': standardKeys[0]: '
                          '"SOFTWARE\\Apps" does not start with a root: HKEY_LOCAL_MACHINE')
        self.refused_text('{"standardKeys": ["HKCU"]}',
                          ': standardKeys[0]: "HKCU" names a root, which always exists')
        self.refused_text('{"standardKeys": ["hku\\\\\\\\A"]}', ": standardKeys[0]: ",
                          "has an empty or unprintable key name")
        self.refused_text('{"standardFolders": ["Windows"]}',
                          ': standardFolders[0]: "Windows" is not rooted at')
        self.refused_text('{"standardFolders": "\\\\Windows"}',
                          ": standardFolders: expected an array, found a string")
        self.refused_text('{"uninstallerDepth": -2}', ": uninstallerDepth: must not be negative")
        self.refused_text('{"autoRunPolicy": 2}', ": autoRunPolicy: 2 is too large (at most 1)")
        # A standing is of a fact the description gives: its sources by id,
        # or what is assumed.
        for standing, what in (
                ({"processor": {"sources": ["S12"]}}, 'standing.processor: the description does '
                 'not give "processor", so it has no standing to give'),
                ({"platform": {"sources": ["S1"]}, "x": {}}, 'standing.x: unknown field "x"'),
                ({"platform": {}}, 'standing.platform: give its "sources", or what is "assumed"'),
                ({"platform": {"sources": ["12"]}}, 'standing.platform.sources[0]: "12" is not a '
                 "source's id"),
                ({"platform": {"sources": ["S1x"]}}, 'standing.platform.sources[0]: "S1x" is not a '
                 "source's id"),
                ({"platform": {"assumed": 1}}, "standing.platform.assumed: expected a string"),
                ({"platform": {"because": "x"}}, 'standing.platform.because: unknown field'),
                ({"platform": []}, "standing.platform: expected an object, found an array")):
            self.refused_text(json.dumps({"platform": "HPC", "standing": standing}), ": " + what)
        self.refused_text('{"platform": "Pocket\\u0000PC"}',
                          ': platform: "Pocket\\u0000PC" has a NUL character in it')
        self.refused_text('{"faults": {"appKeyDeleteFailures": true}}',
                          ": faults.appKeyDeleteFailures: expected a whole number, found a boolean")
        # The old countdown is refused with the plan entry that says the same.
        self.refused_text('{"faults": {"appKeyDeleteFailures": 3}}',
                          ': faults.appKeyDeleteFailures: is gone; a fault plan says the same: '
                          '"plan": [{"op": "RegDeleteKeyW", "match": "HKEY_LOCAL_MACHINE\\\\'
                          'SOFTWARE\\\\Apps\\\\*", "count": 3, "error": 5}]')
        # So are the program's names: the menu step needs no title, and a
        # package is a real one.
        for field, value in (("title", "Dorna & Kel"), ("appName", "Velluma Reader ZRV"),
                             ("readerPath", "\\Program Files\\r.exe")):
            self.refused_text(json.dumps({field: value}), ": " + field + ": is gone: ")
        self.refused_text(json.dumps({"title": ""}), ": title: is gone: the menu step taps the "
                          "file the card's program copied itself to in the Programs folder")
        self.refused_text(json.dumps({"appName": 5}), ": appName: is gone: a package that holds "
                          "no bytes no longer stands in for one; give the card a real package, "
                          "an entry whose \"from\" is a .cab that scripts/make-cab makes")
        for rule, what in (
                ({"match": "*"}, 'faults.plan[0]: a plan entry needs "op"'),
                ({"op": "Sleep"}, 'faults.plan[0].op: unknown operation "Sleep"'),
                ({"op": "GetVersionExW", "match": "*"},
                 "faults.plan[0].match: GetVersionExW has no path or key argument"),
                ({"op": "DeleteFileW", "match": ""}, "faults.plan[0].match: an empty pattern"),
                ({"op": "DeleteFileW", "from": 0}, "faults.plan[0].from: calls are counted from 1"),
                ({"op": "DeleteFileW", "count": 0}, "faults.plan[0].count: 0 calls fail nothing"),
                ({"op": "DeleteFileW", "error": 0}, "faults.plan[0].error: 0 is success"),
                ({"op": "DeleteFileW", "error": 2147483648}, "faults.plan[0].error: 2147483648 is "
                 "too large"),
                ({"op": "DeleteFileW", "when": 1}, 'faults.plan[0].when: unknown field "when"')):
            self.refused_text(json.dumps({"faults": {"plan": [rule]}}), ": " + what)
        self.refused_text('{"steps": [5]}', ": steps[0]: expected insert, menu, remove")

    def test_bad_times(self):
        for time in ("2027-02-29T00:00:00Z", "2026-11-02T24:00:00Z", "2026-11-02T10:00:00",
                     "2026-11-02T10:00:00.12345678Z", "2026-11-02 10:00:00Z", "1600-12-31T00:00:00Z",
                     "2026-11-02T10:00:00z", "2026-11-02T10:00:00.Z", "yesterday"):
            text = json.dumps({"entries": [{"path": "\\A", "time": time}]})
            self.refused_text(text, ": entries[0].time: ", json.dumps(time) + " is not a UTC time")
        self.refused_text('{"entries": [{"path": "\\\\A", "time": -1}]}',
                          ": entries[0].time: must not be negative")
        self.refused_text('{"entries": [{"path": "\\\\A", "time": 1.5}]}',
                          ": entries[0].time: expected a UTC time text or a tick count")

    def test_bad_paths(self):
        for path, what in (("Storage Card\\2577", "is not rooted at"),
                           ("C:\\Windows", "is not rooted at"), ("/Storage Card", "is not rooted at"),
                           ("", "is not rooted at"), ("\\", "has an empty name"),
                           ("\\A\\\\B", "has an empty name"), ("\\A\\", "has an empty name"),
                           ("\\A\\*.cab", "cannot hold: \"*.cab\""), ("\\A\\..", "cannot hold"),
                           ("\\a" * 6000, "would total more than 16777216 units")):
            self.refused_text(json.dumps({"entries": [{"path": path}]}), ": entries[0].path: ", what)
        self.refused_text(json.dumps({"steps": [{"run": "autorun.exe"}]}),
                          ": steps[0].run: \"autorun.exe\" is not rooted at")
        self.refused_text(json.dumps({"steps": [{"run": "\\a.exe", "args": "x\0y"}]}),
                          ': steps[0].args: "x\\u0000y" has a NUL character in it')
        # Names are compared as the device compares them: Ω is ω.
        self.refused_text(json.dumps({"entries": [{"path": "\\Ωmega"}, {"path": "\\ωMEGA\\x"}]}),
                          ': entries[1].path: "\\ωMEGA" is a file')
        # A file cannot hold entries, and a folder with entries cannot become a file.
        self.refused_text(json.dumps({"entries": [{"path": "\\A"}, {"path": "\\A\\B"}]}),
                          ": entries[1].path: \"\\A\" is a file")
        self.refused_text(json.dumps({"entries": [{"path": "\\Windows"}]}),
                          ": entries[0].path: \"\\Windows\" already holds entries")
        # A file takes a host file's bytes, a folder a host folder's files.
        self.refused_text(json.dumps({"entries": [{"path": "\\A", "from": "."}]}),
                          ": entries[0].from: ", '/." is not a file on this machine')

    def test_unknown_operation_and_steps(self):
        self.refused_text('{"faults": {"failing": ["FindFirstFileW", "CreateFileW"]}}',
                          ': faults.failing[1]: unknown operation "CreateFileW"')
        self.refused_text('{"steps": ["insert", "eject"]}', ': steps[1]: unknown step "eject"')
        self.refused_text('{"steps": [{"args": ""}]}', ': steps[0]: a step object needs "tap", '
                          'the file a user taps, or "run"')
        self.refused_text('{"steps": [{"tap": "\\\\a.exe", "run": "\\\\a.exe"}]}',
                          ": steps[0]: a step object is a tap or a run, not both")
        self.refused_text('{"steps": [{"tap": "\\\\a.exe", "args": "x"}]}',
                          ': steps[0].args: a tap starts a file with an empty command line')
        self.refused(['{"tap": "a.exe"}'], 'command line: step 1.tap: "a.exe" is not rooted at')
        self.refused(["insert", "eject"], 'command line: step 2: unknown step "eject"')
        self.refused(["{\"run\": 1}"], "command line: step 1.run: expected a string")
        self.refused(["{\"run\":"], "command line: step 1: not a JSON object")
        self.refused(["--devise", "x"], 'command line: unknown option "--devise"')
        # Each argument is one step, as it is written.
        self.refused(["[]"], 'command line: step 1: unknown step "[]"')
        self.refused(["insert", "[insert,menu]"], 'command line: step 2: unknown step "[insert,menu]"')
        self.refused(["{\"run\": \"\\\\a\", \"x\": [[[[]]]]}"], 'command line: step 1.x: unknown field "x"')

    def test_nothing_runs_on_bad_input(self):
        # The error is found after valid steps and entries: still no output.
        text = json.dumps({"entries": card(("R.cab", "2026-01-01T00:00:00Z")),
                           "steps": ["insert", "menu"], "osMajor": "x"})
        self.refused_text(text, ": osMajor: ")


if __name__ == "__main__":
    # With AUTORUN_SIM_EXECUTED set, autorun-sim adds what the images ran to
    # that file (for the device image's coverage report): it starts empty, so
    # that it holds this run's runs alone.
    if os.environ.get("AUTORUN_SIM_EXECUTED"):
        open(os.environ["AUTORUN_SIM_EXECUTED"], "w").close()
    unittest.main()
