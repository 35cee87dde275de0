#!/usr/bin/python3
"""The import definitions made from a table of operations: what a table
becomes, and the tables refused, with the fault named."""
import pathlib
import subprocess
import sys
import tempfile
import unittest

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "cmake" / "wince" / "make_def.py"

ROW_SLEEP = "    X(Sleep, 496, KERNEL32, Sleep, 1, 0, AccessDenied, none, Sleep)"
ROW_SHELL = "    X(ShellExecuteEx, 480, SHELL32, ShellExecuteExW, 1, 1, FileNotFound, file, Launch) \\"


def header(*rows):
    return "\n".join(["#pragma once", "#define AUTORUN_OPERATIONS(X) \\", *rows, ""])


# (what, the header, the definitions' entries, or the failure expected)
ROWS = [
    ("each row by its ordinal alone, in the table's order, under its device name",
     header(ROW_SHELL, ROW_SLEEP),
     ["ShellExecuteEx @480 NONAME", "Sleep @496 NONAME"]),
    ("a row that does not read as one", header("    X(Sleep, 496, KERNEL32, Sleep, 1) \\", ROW_SLEEP),
     "operations.h:3: not a row of the table: X(Sleep, 496, KERNEL32, Sleep, 1)"),
    ("an ordinal in two rows", header(ROW_SHELL.replace("480", "496"), ROW_SLEEP),
     "the same ordinal in two rows: [496]"),
    ("a name in two rows", header(ROW_SLEEP + " \\", ROW_SLEEP), "the same name in two rows: ['Sleep']"),
    ("an ordinal beyond 16 bits", header(ROW_SLEEP.replace("496", "65536")),
     "ordinal out of 1..65535 for ['Sleep']"),
    ("no table", "#pragma once\n", "no #define AUTORUN_OPERATIONS(X)"),
    ("a table without rows", header(""), "the table has no rows"),
]


class MakeDef(unittest.TestCase):
    def test_rows(self):
        with tempfile.TemporaryDirectory() as folder:
            source, made = pathlib.Path(folder) / "operations.h", pathlib.Path(folder) / "coredll.def"
            for what, text, expected in ROWS:
                with self.subTest(what):
                    source.write_text(text)
                    made.unlink(missing_ok=True)
                    result = subprocess.run([sys.executable, str(SCRIPT), str(source), str(made)],
                                            capture_output=True, text=True)
                    if isinstance(expected, str):
                        self.assertNotEqual(result.returncode, 0)
                        self.assertIn(expected, result.stderr)
                        self.assertFalse(made.exists())
                    else:
                        self.assertEqual(result.returncode, 0, result.stderr)
                        lines = made.read_text().splitlines()
                        self.assertIn("LIBRARY COREDLL.dll", lines)
                        self.assertEqual(lines[lines.index("EXPORTS") + 1 :], expected)


if __name__ == "__main__":
    unittest.main()
