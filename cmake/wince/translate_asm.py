#!/usr/bin/python3
"""Turns GCC's ARM assembly, written for ELF, into the PE assembler's form.

Usage: translate_asm.py INPUT.s OUTPUT.s

Instructions, labels and comments pass through unchanged; only directives
differ. Each directive GCC emits for this code is known, and any other fails
the translation, naming its line: a directive passed on blindly could build
an image that is silently wrong.

- ELF-only bookkeeping (.eabi_attribute, .type, .size, .ident) is dropped.
- Sections: code stays .text.NAME; read-only data .rodata.NAME goes to
  .rdata$NAME, which the layout (cmake/wince.ld) puts with the code in .text,
  a section never writable (each output section costs at least a 512-byte
  file block).
- A COMDAT group (an inline variable or function) becomes a `.linkonce
  discard` section whose symbol is global. Left local, the references in an
  object whose copy the linker discards would resolve to address 0, silently.
"""
import re
import sys

# Directives that mean the same to both assemblers.
KEPT = {".arch", ".fpu", ".syntax", ".arm", ".text", ".file", ".global", ".align",
        ".ascii", ".word", ".space"}
# ELF symbol and file bookkeeping that a PE object has no place for.
DROPPED = {".eabi_attribute", ".type", ".size", ".ident"}

SECTION = re.compile(
    r'\.section\s+(?P<name>[^\s,]+)\s*,\s*"(?P<flags>[^"]*)"\s*,\s*%progbits'
    r'(?:\s*,\s*(?P<entsize>\d+))?(?:\s*,\s*(?P<group>[^\s,]+)\s*,\s*comdat)?\s*$')


class TranslationError(Exception):
    def __init__(self, line, message):
        super().__init__(f"line {line}: {message}")
        self.line, self.message = line, message


def code_of(line):
    return line.split("@", 1)[0].strip()


def directive(line):
    """The directive that starts a line, or None for instructions, labels,
    comments and blank lines."""
    match = re.match(r"(\.[A-Za-z_][\w.]*)(?=\s|$)", code_of(line))
    return match.group(1) if match else None


def under(name, prefix):
    return name == prefix or name.startswith(prefix + ".")


def pe_section(number, line):
    """The PE form of a .section line, and the COMDAT symbol it keys (or None)."""
    match = SECTION.match(code_of(line))
    if not match:
        raise TranslationError(number, f"unknown section form: {code_of(line)}")
    name, flags, group = match["name"], match["flags"], match["group"]
    known = set(flags) <= set("axMSG") and "a" in flags and ("G" in flags) == (group is not None)
    if known and "x" in flags and under(name, ".text"):
        pe = f'{name},"x"'
    elif known and "x" not in flags and under(name, ".rodata"):
        pe = ".rdata" + name[len(".rodata"):].replace(".", "$", 1) + ',"dr"'
    else:
        raise TranslationError(number, f"unknown section {name} with flags {flags!r}")
    if group is None:
        return [f"\t.section\t{pe}"], None
    return [f"\t.section\t{pe}", "\t.linkonce\tdiscard", f"\t.global\t{group}"], group


def translate(lines):
    """The translated lines (without line ends) of the given assembly lines."""
    # A COMDAT symbol's .weak comes before its section, so the groups are
    # gathered first.
    groups = set()
    for number, line in enumerate(lines, 1):
        if directive(line) == ".section":
            groups.add(pe_section(number, line)[1])
    groups.discard(None)

    out = []
    for number, line in enumerate(lines, 1):
        line = line.rstrip("\n")
        name = directive(line)
        if name is None or name in KEPT:
            out.append(line)
        elif name in DROPPED:
            continue
        elif name == ".section":
            out += pe_section(number, line)[0]
        elif name == ".weak":
            symbol = code_of(line).split(None, 1)[-1]
            if symbol not in groups:
                raise TranslationError(number, f".weak {symbol} keys no COMDAT group, and a PE "
                                       "image has no weak symbols")
            # Its section line makes it global.
        else:
            raise TranslationError(number, f"unknown directive {name}: {code_of(line)}")
    return out


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    source, target = sys.argv[1:]
    with open(source, encoding="utf-8") as f:
        lines = f.readlines()
    try:
        out = translate(lines)
    except TranslationError as error:
        sys.exit(f"{source}:{error.line}: {error.message}")
    with open(target, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
