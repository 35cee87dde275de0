#!/usr/bin/python3
"""End-to-end runs of autorun.exe under Wine, one scenario per call.

"prefix" creates a Wine prefix once, in its work folder; every scenario then
runs on its own copy of it, with its own Xvfb display, so that scenarios run
side by side. A scenario places the program and the stub programs where it
needs them, runs the program with its current folder on C: (the program's
paths are rooted at "\" without a drive, which Windows resolves against the
current drive), and checks what it did. The stub records every start in
C:\\started.log as "<its own path>\\t<its command line>".

Wine shows no root folder as temporary, so no storage card is ever found here:
the card search is covered by the tests on the simulated device. A folder laid
out like a card (C:\\card\\2577\\reader.cab) is put in the install scenario to
show that an ordinary folder is not taken for one.

Every wait is bounded. At the end of a scenario the wineserver is killed,
Xvfb is stopped and the copy of the prefix is removed; the screenshots, the
logs and the traces stay in the work folder.

Usage: wine_run.py --wine LOADER --work FOLDER prefix
       wine_run.py --wine LOADER --prefix FOLDER/prefix --program AUTORUN.EXE
                   --stub STUB.EXE --work FOLDER SCENARIO
Scenarios: removal, launch, install_no_card, launch_no_reader.
"""
import argparse
import glob
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import pefile

TITLE = "Dorna & Kel"
APP_NAME = "Velluma Reader ZRV"
APP_KEY = r"HKLM\SOFTWARE\Apps" + "\\" + APP_NAME
ERROR_TEXT = "Unable to find the .CAB setup program. Exiting"
ERROR_CAPTION = "Fatal Error"


# The whole run, prefix included, ends well before ctest's timeout (300 s),
# so that the clean-up below always runs.
OVERALL_LIMIT = 240


class Failure(Exception):
    pass


def stop(signum, _frame):
    raise Failure(f"stopped by signal {signum} (overall limit {OVERALL_LIMIT} s)")


def expect(condition, what):
    if not condition:
        raise Failure(what)


class Display:
    """A private Xvfb server; the display number is chosen by Xvfb itself."""

    def __init__(self, log):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=log, stderr=log)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))
            if not ready:
                self.close()
                raise Failure("Xvfb did not start within 20 s")
            chunk = os.read(read_end, 16)
            if not chunk:
                self.close()
                raise Failure("Xvfb exited at start")
            number += chunk
        os.close(read_end)
        self.name = ":" + number.decode().strip()

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Wine:
    def __init__(self, loader, work, display, log):
        self.loader = loader
        self.server = os.path.join(os.path.dirname(loader), "wineserver")
        self.prefix = os.path.join(work, "prefix")
        self.drive_c = os.path.join(self.prefix, "drive_c")
        self.log = log
        self.env = dict(os.environ,
                        WINEPREFIX=self.prefix,
                        WINEDEBUG="-all",
                        # No prompts to install Mono or Gecko into the prefix.
                        WINEDLLOVERRIDES="mscoree,mshtml=",
                        DISPLAY=display)

    def boot(self):
        started = time.monotonic()
        self.call(["wineboot", "-i"], timeout=120, what="wineboot")
        self.wait_idle()
        return time.monotonic() - started

    def copy(self, template):
        """Makes the prefix a copy of a booted one; Wine takes it as it is."""
        started = time.monotonic()
        expect(os.path.isfile(os.path.join(template, "system.reg")), f"no Wine prefix in {template}")
        try:
            subprocess.run(["cp", "-a", template, self.prefix], check=True, timeout=120,
                           stdout=self.log, stderr=self.log)
        except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as error:
            raise Failure(f"copying the prefix {template}: {error}")
        return time.monotonic() - started

    def call(self, args, timeout, what, env=None, cwd=None, capture=False):
        """Runs the loader with args; returns (exit code, output). Output is
        captured in a file, not a pipe: Wine's background processes, started
        by the first call, inherit it and would hold a pipe open until they
        end, some seconds after every call."""
        with tempfile.TemporaryFile() as output:
            try:
                done = subprocess.run([self.loader] + args, env=env or self.env,
                                      cwd=cwd or self.drive_c if os.path.isdir(self.drive_c) else None,
                                      stdout=output if capture else self.log,
                                      stderr=output if capture else self.log, timeout=timeout)
            except subprocess.TimeoutExpired:
                raise Failure(f"{what} did not finish within {timeout} s")
            output.seek(0)
            text = output.read()
        self.log.write(text)
        return done.returncode, text.decode("utf-8", "replace")

    def wait_idle(self, timeout=60):
        """Waits until every process of the prefix has ended."""
        try:
            subprocess.run([self.server, "-w"], env=self.env, timeout=timeout,
                           stdout=self.log, stderr=self.log)
        except subprocess.TimeoutExpired:
            raise Failure(f"Wine processes still running after {timeout} s")

    def kill(self):
        try:
            subprocess.run([self.server, "-k"], env=self.env, timeout=30, stdout=self.log, stderr=self.log)
        except subprocess.TimeoutExpired:
            pass

    def reg(self, *args):
        code, output = self.call(["reg"] + list(args), timeout=60, what="reg " + args[0], capture=True)
        return code, output

    def programs_folder(self):
        found = [p for p in glob.glob(os.path.join(
            self.drive_c, "users", "*", "AppData", "Roaming", "Microsoft", "Windows", "Start Menu",
            "Programs")) if os.sep + "Public" + os.sep not in p]
        expect(len(found) == 1, f"Programs folder of the prefix: {found}")
        return found[0]

    def windows_path(self, host_path):
        relative = os.path.relpath(host_path, self.drive_c)
        return "C:\\" + relative.replace("/", "\\")

    def started(self):
        """The stub's record: [(path, command line)]."""
        path = os.path.join(self.drive_c, "started.log")
        if not os.path.exists(path):
            return []
        with open(path, encoding="utf-8") as f:
            return [tuple(line.rstrip("\n").split("\t", 1)) for line in f]

    def clear_started(self):
        path = os.path.join(self.drive_c, "started.log")
        if os.path.exists(path):
            os.remove(path)


def place(source, target):
    os.makedirs(os.path.dirname(target), exist_ok=True)
    shutil.copyfile(source, target)


def run_program(wine, path, arguments, timeout=60, trace=None):
    """Runs the program to its end; returns (exit code, seconds). With trace,
    a file name, Wine's relay trace of the calls named in RELAY_CALLS goes
    there, with each process's id and the modules it loads."""
    started = time.monotonic()
    if trace is None:
        code, _ = wine.call([wine.windows_path(path)] + arguments, timeout=timeout,
                            what="autorun.exe")
    else:
        expect(wine.reg("add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude",
                        "/d", ";".join(RELAY_CALLS), "/f")[0] == 0, "setting up the relay trace")
        with open(trace, "wb") as output:
            try:
                code = subprocess.run([wine.loader, wine.windows_path(path)] + arguments,
                                      env=dict(wine.env, WINEDEBUG="+pid,+loaddll,+relay"),
                                      cwd=wine.drive_c, stdout=output, stderr=output,
                                      timeout=timeout).returncode
            except subprocess.TimeoutExpired:
                raise Failure(f"autorun.exe did not finish within {timeout} s")
    return code, time.monotonic() - started


# The calls whose use the relay trace records: the version query and the
# Configuration Manager's library, which the removal asks for first, the
# key's opening and deletion, and the pause between attempts.
RELAY_CALLS = ["GetVersionExW", "LoadLibraryW", "GetProcAddress", "FreeLibrary", "RegOpenKeyExW",
               "RegDeleteKeyW", "Sleep"]
# "<process>:<thread>:Call <module>.<function>(<arguments>) ret=<return address>"
RELAY_CALL = re.compile(r"^([0-9a-f]+):[0-9a-f]+:Call [\w.]+\.(\w+)\(.*\) ret=([0-9a-f]+)$")
# "<process>:<thread>:trace:loaddll:build_module Loaded L"<path>" at <base>: native"
LOADED = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ Loaded L"(.*)" at ([0-9a-f]+): ')


def program_calls(trace, wine, path, image):
    """The calls in a relay trace that the program's own code made, in order:
    those of the process that loaded the program from path, whose return
    address lies in its image. Wine's own processes and modules, and the
    stub, are traced too and left out."""
    size = pefile.PE(image, fast_load=True).OPTIONAL_HEADER.SizeOfImage
    with open(trace, encoding="utf-8", errors="replace") as f:
        lines = [line.rstrip("\n") for line in f]
    wanted = wine.windows_path(path).lower()
    runs = [(match.group(1), int(match.group(3), 16)) for match in map(LOADED.match, lines)
            if match and match.group(2).replace("\\\\", "\\").lower() == wanted]
    expect(len(runs) == 1, f"{len(runs)} processes loaded {wanted} (see {trace})")
    process, base = runs[0]
    calls = []
    for match in map(RELAY_CALL.match, lines):
        if match and match.group(1) == process and base <= int(match.group(3), 16) < base + size:
            calls.append(match.group(2))
    return calls


def same_started(got, want):
    """The stub's records against [(path, command line)]; paths ignore case."""
    return len(got) == len(want) and all(
        g[0].lower() == w[0].lower() and g[1] == w[1] for g, w in zip(got, want))


def wait_started(wine, count, timeout=30):
    deadline = time.monotonic() + timeout
    while len(wine.started()) < count and time.monotonic() < deadline:
        time.sleep(0.2)
    wine.wait_idle()
    return wine.started()


def scenario_removal(wine, args, report):
    windows = os.path.join(wine.drive_c, "windows")
    program = os.path.join(windows, "autorun.exe")
    place(args.program, program)
    place(args.stub, os.path.join(windows, "Unload.exe"))
    menu_copy = os.path.join(wine.programs_folder(), TITLE + ".exe")
    place(args.program, menu_copy)
    expect(wine.reg("add", APP_KEY, "/v", "Version", "/d", "1", "/f")[0] == 0, "adding the app key")
    expect(wine.reg("add", r"HKLM\SOFTWARE\Apps\Other Reader", "/f")[0] == 0, "adding another key")

    code, seconds = run_program(wine, program, ["uninstall"])
    report(f"removal run: {seconds:.1f} s")
    expect(code == 0, f"exit code {code}")
    got = wait_started(wine, 1)
    expect(same_started(got, [(r"C:\windows\Unload.exe", APP_NAME)]), f"started: {got}")
    expect(not os.path.exists(menu_copy), "the Programs-menu copy is still there")
    expect(wine.reg("query", APP_KEY)[0] != 0, "the application key is still there")
    expect(wine.reg("query", r"HKLM\SOFTWARE\Apps\Other Reader")[0] == 0, "another app's key was deleted")

    # Without "SOFTWARE\Apps" nothing is tried on the registry: no retries,
    # no pauses. The relay trace shows what the program called: the version
    # query (the desktop's is 5 or later), the Configuration Manager's
    # library, which the desktop has not, so that Unload.exe is started; then
    # the opening that failed, and neither a deletion nor a pause.
    expect(wine.reg("delete", r"HKLM\SOFTWARE\Apps", "/f")[0] == 0, "deleting SOFTWARE\\Apps")
    wine.clear_started()
    place(args.program, menu_copy)
    trace = os.path.join(args.work, "relay-trace.txt")
    code, seconds = run_program(wine, program, ["uninstall"], trace=trace)
    report(f"removal run without SOFTWARE\\Apps: {seconds:.1f} s")
    expect(code == 0, f"exit code {code}")
    calls = program_calls(trace, wine, program, args.program)
    report(f"its calls of {', '.join(RELAY_CALLS)}: {calls}")
    want = ["GetVersionExW", "LoadLibraryW", "RegOpenKeyExW"]
    expect(calls == want, f"calls {calls} (see {trace}), want {want}")
    got = wait_started(wine, 1)
    expect(same_started(got, [(r"C:\windows\Unload.exe", APP_NAME)]), f"started: {got}")
    expect(not os.path.exists(menu_copy), "the Programs-menu copy is still there")
    expect(wine.reg("query", r"HKLM\SOFTWARE\Apps")[0] != 0, "SOFTWARE\\Apps came back")


def scenario_launch(wine, args, report):
    reader = os.path.join(wine.drive_c, "Program Files", "VellumaZRV", "vellumabook.exe")
    place(args.stub, reader)
    menu_copy = os.path.join(wine.programs_folder(), TITLE + ".exe")
    place(args.program, menu_copy)

    code, seconds = run_program(wine, menu_copy, [])
    report(f"launch run: {seconds:.1f} s")
    expect(code == 0, f"exit code {code}")
    got = wait_started(wine, 1)
    expect(same_started(got, [(r"C:\Program Files\VellumaZRV\vellumabook.exe", "")]), f"started: {got}")
    expect(os.path.exists(menu_copy), "the Programs-menu copy is gone")


def dismiss_error_box(wine, program, arguments, display, work, report, timeout=60):
    """Runs the program, waits for its error box, checks it, keeps a
    screenshot, presses Enter, and returns the exit code."""
    env = dict(wine.env, WINEDEBUG="trace+msgbox")
    trace_path = os.path.join(work, "msgbox-trace.txt")
    with open(trace_path, "wb") as trace:
        process = subprocess.Popen([wine.loader, wine.windows_path(program)] + arguments,
                                   env=env, cwd=wine.drive_c, stdout=trace, stderr=trace)
        try:
            started = time.monotonic()
            window = None
            while window is None and time.monotonic() - started < timeout:
                if process.poll() is not None:
                    raise Failure(f"the program ended ({process.returncode}) without a box")
                found = subprocess.run(["xdotool", "search", "--name", f"^{ERROR_CAPTION}$"],
                                       env=dict(os.environ, DISPLAY=display),
                                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=10)
                ids = found.stdout.split()
                window = ids[0].decode() if ids else None
                if window is None:
                    time.sleep(0.2)
            expect(window is not None, f"no window titled {ERROR_CAPTION!r} within {timeout} s")
            report(f"box shown after {time.monotonic() - started:.1f} s")
            shot = os.path.join(work, "message-box.png")
            subprocess.run(["import", "-display", display, "-window", "root", shot],
                           timeout=30, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            report(f"screenshot: {shot}")
            x = dict(os.environ, DISPLAY=display)
            subprocess.run(["xdotool", "windowfocus", "--sync", window], env=x, timeout=10)
            subprocess.run(["xdotool", "key", "Return"], env=x, timeout=10)
            code = process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end after the box was dismissed")
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
    with open(trace_path, encoding="utf-8", errors="replace") as f:
        trace = f.read()
    expect(f'MSGBOX_OnInit L"{ERROR_TEXT}"' in trace, "the box does not show the error text")
    return code


def scenario_install_no_card(wine, args, report):
    # A folder laid out like a card, but an ordinary folder: not a card.
    card = os.path.join(wine.drive_c, "card")
    program = os.path.join(card, "2577", "autorun.exe")
    place(args.program, program)
    place(args.stub, os.path.join(card, "2577", "reader.cab"))
    place(args.stub, os.path.join(card, "wince", "arm", "reader.cab"))
    # An installed reader is not started without a package.
    place(args.stub, os.path.join(wine.drive_c, "Program Files", "VellumaZRV", "vellumabook.exe"))
    programs = wine.programs_folder()
    before = sorted(os.listdir(programs))

    code = dismiss_error_box(wine, program, ["install"], args.display, args.work, report)
    expect(code == 0, f"exit code {code}")
    wine.wait_idle()
    expect(wine.started() == [], f"started: {wine.started()}")
    expect(sorted(os.listdir(programs)) == before, "the Programs folder changed")


def scenario_launch_no_reader(wine, args, report):
    menu_copy = os.path.join(wine.programs_folder(), TITLE + ".exe")
    place(args.program, menu_copy)

    code = dismiss_error_box(wine, menu_copy, [], args.display, args.work, report)
    expect(code == 0, f"exit code {code}")
    wine.wait_idle()
    expect(wine.started() == [], f"started: {wine.started()}")
    expect(os.path.exists(menu_copy), "the Programs-menu copy is gone")


SCENARIOS = {
    "removal": scenario_removal,
    "launch": scenario_launch,
    "install_no_card": scenario_install_no_card,
    "launch_no_reader": scenario_launch_no_reader,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--wine", required=True)
    parser.add_argument("--prefix", help="the prefix that 'prefix' made: a scenario runs on a copy")
    parser.add_argument("--program")
    parser.add_argument("--stub")
    parser.add_argument("--work", required=True)
    parser.add_argument("scenario", choices=["prefix"] + sorted(SCENARIOS))
    args = parser.parse_args()
    making_prefix = args.scenario == "prefix"
    if not making_prefix and not (args.prefix and args.program and args.stub):
        parser.error("a scenario needs --prefix, --program and --stub")

    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    signal.signal(signal.SIGALRM, stop)
    signal.signal(signal.SIGTERM, stop)
    signal.alarm(OVERALL_LIMIT)
    started = time.monotonic()

    def report(line):
        print(f"[{time.monotonic() - started:5.1f} s] {line}", flush=True)

    with open(os.path.join(args.work, "wine.log"), "wb") as log:
        display = Display(log)
        args.display = display.name
        wine = Wine(args.wine, args.work, display.name, log)
        keep_prefix = False
        try:
            if making_prefix:
                report(f"prefix ready in {wine.boot():.1f} s: {wine.prefix}")
                keep_prefix = True
            else:
                report(f"prefix copied in {wine.copy(args.prefix):.1f} s")
                SCENARIOS[args.scenario](wine, args, report)
                wine.wait_idle()
                report("passed")
            return 0
        except Failure as failure:
            report(f"FAILED: {failure} (Wine's output: {os.path.join(args.work, 'wine.log')})")
            return 1
        finally:
            signal.alarm(0)
            wine.kill()
            display.close()
            if not keep_prefix:
                shutil.rmtree(wine.prefix, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
