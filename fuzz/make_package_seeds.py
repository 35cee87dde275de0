#!/usr/bin/env python3
"""Writes the package fuzz target's seeds into fuzz/package_corpus/, made by
scripts/make-cab from the tests' packages: the reader package as the format
document shows one and the package shaped as CabWiz writes one, each stored
(its checksums cleared, so that changed bytes reach the setup file's reader)
and MSZIP-compressed, with its setup file alone; a package of one file; and
CabWiz's other shapes: a link in base without its closing 0, an install
directory of %CE2%, and a setup DLL.
"""
import os
import subprocess
import sys
import tempfile

FUZZ = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(FUZZ)
MAKE_CAB = os.path.join(ROOT, "scripts", "make-cab")
READER = os.path.join(ROOT, "tests", "packages", "reader.json")
CABWIZ = os.path.join(ROOT, "tests", "packages", "cabwiz.json")
HERE = os.path.join(FUZZ, "package_corpus")
ONE_FILE = ("--app-name One --provider Velluma "
            "--with 'files=[{\"folder\": \"%CE2%\", \"name\": \"a.txt\", \"text\": \"a\"}]'")

seeds = [
    ("reader.cab", "--json '%s' --no-checksums --setup-file '%s/reader.000'" % (READER, HERE)),
    ("reader-mszip.cab", "--json '%s' --zip" % READER),
    ("one-file.cab", ONE_FILE + " --no-checksums"),
    ("cabwiz.cab", "--json '%s' --no-checksums --setup-file '%s/cabwiz.000'" % (CABWIZ, HERE)),
    ("cabwiz-mszip.cab", "--json '%s' --zip" % CABWIZ),
    ("cabwiz-shapes.cab", "--json '%s' --no-checksums --with 'installDir=\"%%CE2%%\"' "
     "--with 'setupDll=\"Setup.dll\"' --with 'links=[{\"name\": \"App.lnk\", "
     "\"file\": \"App.exe\", \"in\": \"%%CE11%%\", \"terminated\": false}]'" % CABWIZ),
]
os.makedirs(HERE, exist_ok=True)
with tempfile.NamedTemporaryFile("w", suffix=".txt") as batch:
    for name, args in seeds:
        batch.write("%s '%s'\n" % (args, os.path.join(HERE, name)))
    batch.flush()
    subprocess.run([sys.executable, MAKE_CAB, "--batch", batch.name], check=True)
print("%d seeds in %s" % (len(os.listdir(HERE)), HERE))
