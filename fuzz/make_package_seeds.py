#!/usr/bin/env python3
"""Writes the package fuzz target's seeds into fuzz/package_corpus/, made by
scripts/make-cab from the tests' reader package: the cabinet stored (its
checksums cleared, so that changed bytes reach the setup file's reader) and
MSZIP-compressed, a package of one file, and the setup file alone.
"""
import os
import subprocess
import sys
import tempfile

FUZZ = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(FUZZ)
MAKE_CAB = os.path.join(ROOT, "scripts", "make-cab")
READER = os.path.join(ROOT, "tests", "packages", "reader.json")
HERE = os.path.join(FUZZ, "package_corpus")
ONE_FILE = ("--app-name One --provider Velluma "
            "--with 'files=[{\"folder\": \"%CE2%\", \"name\": \"a.txt\", \"text\": \"a\"}]'")

seeds = [
    ("reader.cab", "--json '%s' --no-checksums --setup-file '%s/reader.000'" % (READER, HERE)),
    ("reader-mszip.cab", "--json '%s' --zip" % READER),
    ("one-file.cab", ONE_FILE + " --no-checksums"),
]
os.makedirs(HERE, exist_ok=True)
with tempfile.NamedTemporaryFile("w", suffix=".txt") as batch:
    for name, args in seeds:
        batch.write("%s '%s'\n" % (args, os.path.join(HERE, name)))
    batch.flush()
    subprocess.run([sys.executable, MAKE_CAB, "--batch", batch.name], check=True)
print("%d seeds in %s" % (len(os.listdir(HERE)), HERE))
