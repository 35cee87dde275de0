"""Makes the manual page autorun-sim(1) from the command's own help: help2man
reads `autorun-sim --help` and `--version`, and the section on the check is
made here from `autorun-sim check --help`, so that the page says what the
command says. Written compressed (gzip -9, no name or time), as Debian keeps
manual pages.

Usage: man_page.py --help2man HELP2MAN AUTORUN-SIM OUTPUT.1.gz
"""
import argparse
import gzip
import os
import re
import subprocess
import sys
import tempfile

NAME = "play a storage card's auto-run program on simulated Windows CE devices"


def roff(text):
    """Text as roff shows it: backslashes and hyphens literal, no line read
    as a request."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return re.sub(r"^([.'])", r"\\&\1", text, flags=re.M)


def check_section(program):
    """The check's help as a help2man include: its description, usage,
    arguments and options, and the paragraphs after them."""
    help_text = subprocess.run([program, "check", "--help"], check=True, stdout=subprocess.PIPE,
                               text=True).stdout
    blocks = help_text.strip("\n").split("\n\n")
    description, usage = blocks[0].split("\nUsage: ", 1)
    lines = ["[CHECKING A CARD]", ".B " + roff(usage.strip()), ".PP", roff(description)]
    for block in blocks[1:]:
        heading, _, rest = block.partition("\n")
        if heading in ("Positionals:", "Options:"):
            # "  --name VALUE   what it does": the columns two or more spaces
            # apart; a line indented further goes on with the one before.
            entries = []
            for line in rest.splitlines():
                if line.startswith("   ") and entries:
                    entries[-1][1] += " " + line.strip()
                else:
                    entries.append((re.split(r"\s{2,}", line.strip(), maxsplit=1) + [""])[:2])
            for name, what in entries:
                flag, _, value = name.partition(" ")
                value = " \\fI" + roff(value) + "\\fR" if value else ""
                lines += [".TP", "\\fB" + roff(flag) + "\\fR" + value, roff(what)]
        else:
            lines += [".PP", roff(block)]
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--help2man", required=True)
    parser.add_argument("program")
    parser.add_argument("output")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        include = os.path.join(work, "check.h2m")
        with open(include, "w") as f:
            f.write(check_section(args.program))
            f.write("[SEE ALSO]\nThe manual, docs/autorun\\-sim.md in the source, tells the "
                    "device description, the timeline, the event log and each judgement.\n")
        page = os.path.join(work, "autorun-sim.1")
        subprocess.run([args.help2man, "--no-info", "--no-discard-stderr", "--section=1",
                        "--name=" + NAME, "--include=" + include, "--output=" + page,
                        args.program], check=True)
        with open(page, "rb") as f:
            text = f.read()
    with open(args.output, "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", fileobj=raw, compresslevel=9, mtime=0) as f:
            f.write(text)


if __name__ == "__main__":
    sys.exit(main())
