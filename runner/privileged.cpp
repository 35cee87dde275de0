// Telling privileged instructions from their encodings.
#include "runner/privileged.h"

namespace runner {

namespace {

bool X86Prefix(std::uint8_t byte) {
    switch (byte) {
    case 0x26: // segment overrides
    case 0x2E:
    case 0x36:
    case 0x3E:
    case 0x64:
    case 0x65:
    case 0x66: // operand and address size
    case 0x67:
    case 0xF0: // lock, repeats
    case 0xF2:
    case 0xF3:
        return true;
    default:
        return false;
    }
}

// The two-byte opcodes 0F xx that only the kernel may run; groups 6 and 7
// (0F 00, 0F 01) are told by their ModR/M byte.
bool X86PrivilegedTwoByte(std::uint8_t op, const std::uint8_t* modrm) {
    switch (op) {
    case 0x06: // clts
    case 0x07: // sysret
    case 0x08: // invd
    case 0x09: // wbinvd
    case 0x20: // mov to and from control, debug and test registers
    case 0x21:
    case 0x22:
    case 0x23:
    case 0x24:
    case 0x26:
    case 0x30: // wrmsr
    case 0x32: // rdmsr
    case 0x33: // rdpmc
    case 0x35: // sysexit
        return true;
    case 0x00: { // lldt, ltr
        if (modrm == nullptr) {
            return false;
        }
        int reg = (*modrm >> 3) & 7;
        return reg == 2 || reg == 3;
    }
    case 0x01: { // lgdt, lidt, lmsw, invlpg; xsetbv, swapgs
        if (modrm == nullptr) {
            return false;
        }
        int reg = (*modrm >> 3) & 7;
        if ((*modrm >> 6) != 3) {
            return reg == 2 || reg == 3 || reg == 6 || reg == 7;
        }
        return reg == 6 || *modrm == 0xD1 || *modrm == 0xF8;
    }
    default:
        return false;
    }
}

bool ArmCoprocessor(std::uint32_t word) {
    bool transfer = (word & 0x0F000010u) == 0x0E000010u;  // mcr, mrc
    bool operation = (word & 0x0F000010u) == 0x0E000000u; // cdp
    bool memory = (word & 0x0E000000u) == 0x0C000000u;    // ldc, stc, mcrr, mrrc
    std::uint32_t coprocessor = (word >> 8) & 0xF;
    return (transfer || operation || memory) && (coprocessor == 14 || coprocessor == 15);
}

// msr, from a register or an immediate, to the control field of cpsr or to
// any field of spsr; mrs from spsr.
bool ArmStatusAccess(std::uint32_t word) {
    bool msr = (word & 0x0FB000F0u) == 0x01200000u || (word & 0x0FB00000u) == 0x03200000u;
    bool spsr = (word & (1u << 22)) != 0;
    bool control = (word & (1u << 16)) != 0;
    bool mrsSpsr = (word & 0x0FFF0FFFu) == 0x014F0000u;
    return (msr && (spsr || control)) || mrsSpsr;
}

bool ArmUserRegisters(std::uint32_t word) {
    return (word & 0x0E400000u) == 0x08400000u; // ldm, stm with ^
}

// Data processing with S and pc as its destination: cpsr is restored from
// spsr, which user mode has none of. Multiplies and the halfword loads and
// stores share the encoding space and are not this.
bool ArmExceptionReturn(std::uint32_t word) {
    bool dataProcessing = (word & 0x0C10F000u) == 0x0010F000u;
    bool multiplyOrExtra = (word & (1u << 25)) == 0 && (word & 0x90u) == 0x90u;
    return dataProcessing && !multiplyOrExtra;
}

} // namespace

bool X86Privileged(const std::uint8_t* code, std::size_t size) {
    std::size_t at = 0;
    while (at < size && at < 14 && X86Prefix(code[at])) {
        ++at;
    }
    if (at >= size) {
        return false;
    }
    switch (code[at]) {
    case 0x6C: // ins, outs
    case 0x6D:
    case 0x6E:
    case 0x6F:
    case 0xE4: // in, out
    case 0xE5:
    case 0xE6:
    case 0xE7:
    case 0xEC:
    case 0xED:
    case 0xEE:
    case 0xEF:
    case 0xF4: // hlt
    case 0xFA: // cli
    case 0xFB: // sti
        return true;
    case 0x0F:
        return at + 1 < size &&
               X86PrivilegedTwoByte(code[at + 1], at + 2 < size ? &code[at + 2] : nullptr);
    default:
        return false;
    }
}

bool ArmPrivileged(std::uint32_t word) {
    return ArmCoprocessor(word) || ArmStatusAccess(word) || ArmUserRegisters(word) ||
           ArmExceptionReturn(word) || ArmSystemCall(word);
}

bool ArmSystemCall(std::uint32_t word) {
    return (word & 0x0F000000u) == 0x0F000000u;
}

bool ArmConditionHolds(std::uint32_t word, std::uint32_t cpsr) {
    const bool n = (cpsr >> 31) & 1;
    const bool z = (cpsr >> 30) & 1;
    const bool c = (cpsr >> 29) & 1;
    const bool v = (cpsr >> 28) & 1;
    switch (word >> 28) {
    case 0x0:
        return z;
    case 0x1:
        return !z;
    case 0x2:
        return c;
    case 0x3:
        return !c;
    case 0x4:
        return n;
    case 0x5:
        return !n;
    case 0x6:
        return v;
    case 0x7:
        return !v;
    case 0x8:
        return c && !z;
    case 0x9:
        return !c || z;
    case 0xA:
        return n == v;
    case 0xB:
        return n != v;
    case 0xC:
        return !z && n == v;
    case 0xD:
        return z || n != v;
    case 0xE:
        return true;
    default:
        return false;
    }
}

} // namespace runner
