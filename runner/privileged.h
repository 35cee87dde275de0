// The instructions a program in user mode may not run, told from their
// bytes: a device's kernel ends a program that tries one with
// STATUS_PRIVILEGED_INSTRUCTION.
#pragma once

#include <cstddef>
#include <cstdint>

namespace runner {

// x86, at the first of size bytes: port input and output (in, out, ins,
// outs), hlt, cli and sti, loading the descriptor tables and the task
// register (lgdt, lidt, lldt, ltr, lmsw), moves to and from control, debug
// and test registers, clts, invd, wbinvd, invlpg, wrmsr, rdmsr, rdpmc,
// sysexit, sysret, xsetbv and swapgs. Prefixes are skipped.
bool X86Privileged(const std::uint8_t* code, std::size_t size);

// ARM (a 32-bit ARM-state instruction): coprocessor instructions for the
// system coprocessors (14 and 15), msr to the control bits of cpsr and any
// access to spsr, ldm and stm of the user registers or with the mode
// restored (^), data processing that restores the mode as it sets pc
// (movs pc, lr), and swi: the device offers no system call through it.
bool ArmPrivileged(std::uint32_t word);
bool ArmSystemCall(std::uint32_t word);

// Whether an ARM instruction runs with the flags of cpsr: its condition
// holds. Condition 15, never on ARMv4, does not.
bool ArmConditionHolds(std::uint32_t word, std::uint32_t cpsr);

} // namespace runner
