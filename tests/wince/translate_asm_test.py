#!/usr/bin/python3
"""The translation of GCC's ELF assembly into the PE assembler's form: what
each kind of line becomes, and the lines it refuses."""
import pathlib
import subprocess
import sys
import tempfile
import unittest

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "cmake" / "wince" / "translate_asm.py"
sys.path.insert(0, str(SCRIPT.parent))
import translate_asm  # noqa: E402

# (what, GCC's lines, the translation)
TRANSLATED = [
    ("an inline constexpr array: its COMDAT group becomes a linkonce section in .rdata, and the "
     "symbol is global, not weak and not local", [
        "\t.weak\tAppName",
        '\t.section\t.rodata.AppName,"aG",%progbits,AppName,comdat',
        "\t.align\t1",
        "\t.type\tAppName, %object",
        "\t.size\tAppName, 4",
        "AppName:",
        '\t.ascii\t"A\\000\\000\\000"',
    ], [
        '\t.section\t.rdata$AppName,"dr"',
        "\t.linkonce\tdiscard",
        "\t.global\tAppName",
        "\t.align\t1",
        "AppName:",
        '\t.ascii\t"A\\000\\000\\000"',
    ]),
    ("a function: its section stays, ELF bookkeeping goes, code and comments pass", [
        "\t.eabi_attribute 20, 1",
        '\t.file\t"text.cpp"',
        '\t.section\t.text._Z1fv,"ax",%progbits',
        "\t.global\t_Z1fv",
        "\t.syntax unified",
        "\t.arm",
        "\t.type\t_Z1fv, %function",
        "_Z1fv:",
        "\t@ Function supports interworking.",
        "\tldr\tr0, .L3",
        "\tbx\tlr",
        ".L3:",
        "\t.word\tAppName",
        "\t.size\t_Z1fv, .-_Z1fv",
        '\t.ident\t"GCC: 12.2.1"',
    ], [
        '\t.file\t"text.cpp"',
        '\t.section\t.text._Z1fv,"x"',
        "\t.global\t_Z1fv",
        "\t.syntax unified",
        "\t.arm",
        "_Z1fv:",
        "\t@ Function supports interworking.",
        "\tldr\tr0, .L3",
        "\tbx\tlr",
        ".L3:",
        "\t.word\tAppName",
    ]),
    ("a function's string literals join .rdata", [
        '\t.section\t.rodata._Z1fv.str2.2,"aMS",%progbits,2',
        ".LC0:",
        '\t.ascii\t"x\\000\\000\\000"',
    ], [
        '\t.section\t.rdata$_Z1fv.str2.2,"dr"',
        ".LC0:",
        '\t.ascii\t"x\\000\\000\\000"',
    ]),
]

# (what, GCC's lines, the error's start)
REFUSED = [
    ("an unknown directive, named with its line",
     ["\t.arm", "\t.p2align\t2"], "line 2: unknown directive .p2align"),
    (".weak of a symbol that keys no COMDAT group: a PE image has no weak symbols",
     ["\t.weak\tHook"], "line 1: .weak Hook keys no COMDAT group"),
    ("a section of a kind the translation does not know",
     ["\t.arm", '\t.section\t.init_array,"aw",%init_array'], "line 2: unknown section form"),
    ("writable data: the program has none",
     ['\t.section\t.data.Count,"aw",%progbits'], "line 1: unknown section .data.Count"),
]


class TranslateAsm(unittest.TestCase):
    def test_translated(self):
        for what, lines, want in TRANSLATED:
            with self.subTest(what):
                self.assertEqual(translate_asm.translate([line + "\n" for line in lines]), want)

    def test_refused(self):
        for what, lines, want in REFUSED:
            with self.subTest(what):
                with self.assertRaises(translate_asm.TranslationError) as raised:
                    translate_asm.translate(lines)
                self.assertTrue(str(raised.exception).startswith(want), str(raised.exception))

    def test_refusal_fails_the_build_naming_file_and_line(self):
        with tempfile.TemporaryDirectory() as work:
            source, target = pathlib.Path(work, "a.elf.s"), pathlib.Path(work, "a.s")
            source.write_text("\t.arm\n\t.cfi_startproc\n")
            run = subprocess.run([sys.executable, str(SCRIPT), str(source), str(target)],
                                 capture_output=True, text=True)
            self.assertNotEqual(run.returncode, 0)
            self.assertIn(f"{source}:2: unknown directive .cfi_startproc", run.stderr)
            self.assertFalse(target.exists())


if __name__ == "__main__":
    unittest.main()
