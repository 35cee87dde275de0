"""Walks the ARM code of an image the way the processor would reach it, and
finds any instruction beyond ARMv4, which StrongARM (processor type 2577)
implements: no Thumb, so no BX, BLX, CLZ, LDRD/STRD and the like.

A linear disassembly of .text would read the literal pools between functions
as instructions (the address 0x000110D0 decodes as ldrd), so the walk starts
at the entry point and follows every direct branch and call instead. The
words that `ldr rX, [pc, #n]` loads are data. A path ends at a return
(`mov pc, lr`, or a pop or ldm into pc), an unconditional branch, or a jump
through an import slot (the import library's thunk: `ldr ip, [pc]` then
`ldr pc, [ip]`). A call through a register (`mov lr, pc` then `mov pc, rX`)
goes to an address the program was given at run time, an export's from
GetProcAddressW, outside the image: the path goes on after it. Anything else
that writes the pc is an indirect branch the walk cannot follow: a failure,
since the code behind it would go unchecked.

Also a failure: a literal that is 0 (a reference the linker resolved to
address 0, as a discarded duplicate of a COMDAT symbol would be).
"""
import struct

import capstone
from capstone import arm

# ARMv4 in ARM state, as capstone names the instructions (with its aliases
# push, pop, lsl, lsr, asr, ror, rrx and adr).
ARMV4 = {getattr(arm, "ARM_INS_" + name) for name in """
    ADC ADD ADR AND ASR B BIC BL CMN CMP EOR LDM LDMDA LDMDB LDMIB LDR LDRB LDRBT LDRH
    LDRSB LDRSH LDRT LSL LSR MLA MOV MRS MSR MUL MVN ORR POP PUSH ROR RRX RSB RSC SBC SMLAL
    SMULL STM STMDA STMDB STMIB STR STRB STRBT STRH STRT SUB SVC SWP SWPB TEQ TST UMLAL UMULL
    CDP LDC STC MCR MRC""".split()}

UNCONDITIONAL = (arm.ARM_CC_AL, arm.ARM_CC_INVALID)


def walk(code, base, entry, imports):
    """Walks code (the bytes of .text, at address base) from entry.

    imports maps each import slot's address to its name. Returns the
    addresses of the instructions walked (a set), the names of the imports
    that the code jumps through, and a list of failures (empty when all is
    well).
    """
    disassembler = capstone.Cs(capstone.CS_ARCH_ARM, capstone.CS_MODE_ARM)
    disassembler.detail = True
    end = base + len(code)
    failures, literals, walked, reached = [], set(), set(), set()
    # (address, the literal loaded into ip just before, whether the
    # instruction before set lr to return to this address's successor)
    pending = [(entry, None, False)]

    def word(address):
        return struct.unpack_from("<I", code, address - base)[0]

    while pending:
        address, ip_value, linked = pending.pop()
        if address in walked:
            continue
        if not base <= address <= end - 4 or address % 4:
            failures.append(f"{address:#x}: a branch leads outside the code")
            continue
        walked.add(address)
        insn = next(disassembler.disasm(code[address - base : address - base + 4], address), None)
        if insn is None:
            failures.append(f"{address:#x}: {word(address):#010x} is no instruction")
            continue
        text = f"{address:#x}: {insn.mnemonic} {insn.op_str}".rstrip()
        if insn.id not in ARMV4:
            failures.append(f"{text}: not an ARMv4 instruction")
            continue
        ops = insn.operands
        last = insn.cc in UNCONDITIONAL  # does this path end here, if it branches?
        loaded_ip = None

        # A literal: ldr rX, [pc, #n] reads the word at pc + 8 + n.
        if insn.id == arm.ARM_INS_LDR and ops[1].mem.base == arm.ARM_REG_PC:
            if ops[1].mem.index:
                failures.append(f"{text}: indirect branch through a table, cannot follow it")
                continue
            at = address + 8 + ops[1].mem.disp
            if not base <= at <= end - 4:
                failures.append(f"{text}: literal outside the code")
                continue
            literals.add(at)
            if word(at) == 0:
                failures.append(f"{text}: the literal at {at:#x} is 0, a reference resolved "
                                "to address 0")
            if ops[0].reg == arm.ARM_REG_IP:
                loaded_ip = word(at)

        if arm.ARM_REG_PC not in insn.regs_access()[1]:
            links = (insn.id == arm.ARM_INS_MOV and ops[0].reg == arm.ARM_REG_LR
                     and ops[1].type == arm.ARM_OP_REG and ops[1].reg == arm.ARM_REG_PC)
            pending.append((address + 4, loaded_ip, links))
            continue

        # The instruction writes the pc.
        if insn.id in (arm.ARM_INS_B, arm.ARM_INS_BL):
            pending.append((ops[0].imm, None, False))
            if insn.id == arm.ARM_INS_BL or not last:
                pending.append((address + 4, None, False))
        elif (insn.id in (arm.ARM_INS_POP, arm.ARM_INS_LDM, arm.ARM_INS_LDMDA, arm.ARM_INS_LDMDB,
                          arm.ARM_INS_LDMIB)
              or (insn.id == arm.ARM_INS_MOV and ops[1].reg == arm.ARM_REG_LR)):
            if not last:  # a return
                pending.append((address + 4, None, False))
        elif (insn.id == arm.ARM_INS_LDR and ops[1].mem.base == arm.ARM_REG_IP
              and ops[1].mem.disp == 0 and ip_value in imports):
            reached.add(imports[ip_value])
        elif (linked and insn.id == arm.ARM_INS_MOV and ops[1].type == arm.ARM_OP_REG
              and ops[1].reg != arm.ARM_REG_LR):
            pending.append((address + 4, None, False))  # a call through a register
        else:
            failures.append(f"{text}: indirect branch, cannot follow it")

    for at in sorted(literals & walked):
        failures.append(f"{at:#x}: reached as code and loaded as a literal")
    return walked, reached, failures
