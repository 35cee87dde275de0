// An emulated 32-bit processor (unicorn) for one run of an image: memory
// mapped by the runner, the calling convention of the machine, traps where
// the program calls out, and how the run ends.
#pragma once

#include "device/process.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct uc_struct;
struct uc_context;

namespace runner {

// Page access, as unicorn numbers it.
constexpr std::uint32_t AccessRead = 1;
constexpr std::uint32_t AccessWrite = 2;
constexpr std::uint32_t AccessExecute = 4;

constexpr std::uint32_t GuestPageSize = 0x1000;

// The page an x86 emulator keeps for itself: the descriptor table by which
// the program runs in user mode. Nothing else may be mapped there.
constexpr std::uint32_t SystemPage = 0x7FFF0000u;

// A guest address the runner could not read or write on the program's
// behalf: the program crashes there, as it would had it made the access.
struct GuestFault {
    std::uint32_t address;
    bool write;
};

// How a run ended: the program's exit code, or a crash with its exception
// code, a few words on what happened and the address.
using Ending = sim::Outcome;

// A program runs in user mode, as on the device: an instruction only the
// kernel may run ends the run as a crash with sim::PrivilegedInstruction.
class Emulator {
  public:
    enum class Machine { Arm, X86 };
    // [start, end), relative to a base.
    using Range = std::pair<std::uint32_t, std::uint32_t>;
    // The processor the ARM images run on: the device's StrongARM, which has
    // no BX (ARMv4), or a later core for images that need ARMv4T or ARMv5.
    enum class ArmCore { StrongArm, Arm926 };

    Emulator(Machine machine, ArmCore core = ArmCore::StrongArm);
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // Makes the emulator as new for another run, which is much cheaper than
    // opening another: memory unmapped with the code translated from it,
    // registers as at the start, nothing counted.
    void Reset();
    Machine Kind() const {
        return machine_;
    }
    ArmCore Core() const {
        return core_;
    }

    // Maps whole pages from address on, zeroed, each with its access (one
    // entry a page; on ARM, a readable page is executable too); returns their
    // bytes on the host side. Null when they cannot be mapped (unicorn
    // refused, or they overlap a mapping).
    std::uint8_t* Map(std::uint32_t address, std::vector<std::uint32_t> pageAccess);
    std::uint8_t* Map(std::uint32_t address, std::uint32_t size, std::uint32_t access) {
        return Map(address, std::vector<std::uint32_t>(size / GuestPageSize, access));
    }

    // Guest memory as the program would reach it; a GuestFault at the first
    // address that is not mapped with the access.
    void Read(std::uint32_t address, void* out, std::size_t size) const;
    void Write(std::uint32_t address, const void* data, std::size_t size);
    std::uint32_t Read32(std::uint32_t address) const;
    // How many bytes from address on are readable, counting at most limit.
    std::size_t Readable(std::uint32_t address, std::size_t limit) const;

    // The stack is [low, top); the page below it is left unmapped, and a write
    // there is a stack overflow.
    void SetStack(std::uint32_t low, std::uint32_t top) {
        stackLow_ = low;
        stackTop_ = top;
    }

    // Execution reaching an address in [base, base + size) calls trap with
    // that address before the instruction there runs.
    void SetTraps(std::uint32_t base, std::uint32_t size, std::function<void(std::uint32_t)> trap);

    // The call a trap was reached by: its arguments, and its result.
    std::uint32_t Argument(int index) const;
    std::uint32_t Result() const;
    void SetResult(std::uint32_t value);
    // Where the call returns to: lr on ARM, the word on top of the stack on
    // x86 (a GuestFault when it cannot be read).
    std::uint32_t ReturnAddress() const;

    // Ends the run, from within a trap: with an exit code, or in a crash.
    void Finish(std::uint32_t code);
    void Crash(std::uint32_t code, const std::string& reason, std::uint32_t address);

    // Calls entry with up to four arguments, returning to returnAddress, on
    // the stack set before; runs until a trap ends the run, the program
    // crashes or budget instructions have run.
    Ending Run(std::uint32_t entry, const std::vector<std::uint32_t>& arguments,
               std::uint32_t returnAddress, std::uint64_t budget);

    // Runs made since the emulator was opened.
    int Runs() const {
        return runs_;
    }
    // Instructions emulated so far.
    std::uint64_t Instructions() const {
        return instructions_;
    }
    // How far below the stack's top the stack pointer has been, in bytes: as
    // each instruction found it, within the stack.
    std::uint32_t StackDepth() const {
        return stackTop_ - lowestSp_;
    }
    // From now on, which instructions in [base, base + size) run: Executed
    // gives them as sorted ranges relative to base, whole instructions each.
    void Record(std::uint32_t base, std::uint32_t size);
    std::vector<Range> Executed() const;
    // Why the emulator could not be opened or set up; empty when it could.
    const std::string& Error() const {
        return error_;
    }

  private:
    struct Region {
        std::uint32_t base;
        std::uint32_t size;
        std::uint8_t* bytes;
        std::vector<std::uint8_t> access; // per page
    };
    const Region* RegionOf(std::uint32_t address) const;
    // Up to size bytes of what is mapped from address on, whatever the
    // program may do with them; how many there were.
    std::size_t Fetch(std::uint32_t address, std::uint8_t* out, std::size_t size) const;
    bool EnterUserMode();
    bool Reachable(std::uint32_t address, std::uint32_t access) const;
    std::uint32_t Register(int id) const;
    void SetRegister(int id, std::uint32_t value);
    // A crash at an address the program could not reach as it meant to
    // ("read of", "write to" or "execution of").
    Ending Fault(std::uint32_t address, const char* access) const;
    Ending Classify(int error);

    bool Privileged(std::uint32_t address) const;

    static void OnInstruction(uc_struct* uc, std::uint64_t address, std::uint32_t size, void* self);
    static void OnTrap(uc_struct* uc, std::uint64_t address, std::uint32_t size, void* self);
    static bool OnBadAccess(uc_struct* uc, int type, std::uint64_t address, int size,
                            std::int64_t value, void* self);
    static void OnInterrupt(uc_struct* uc, std::uint32_t number, void* self);
    static std::uint32_t OnPortIn(uc_struct* uc, std::uint32_t port, int size, void* self);
    static void OnPortOut(uc_struct* uc, std::uint32_t port, int size, std::uint32_t value,
                          void* self);
    static void OnSystemCall(uc_struct* uc, void* self);

    Machine machine_;
    ArmCore core_;
    int result_; // the register a call's result is in
    int pc_;
    int sp_;
    uc_struct* uc_ = nullptr;
    uc_context* start_ = nullptr; // the registers as they were when opened
    std::uintptr_t trapHook_ = 0;
    std::string error_;
    std::vector<Region> regions_;
    std::vector<std::unique_ptr<std::uint8_t, void (*)(void*)>> storage_;
    std::uint32_t stackLow_ = 0;
    std::uint32_t stackTop_ = 0;
    std::uint32_t trapBase_ = 0;
    std::uint32_t trapSize_ = 0;
    std::function<void(std::uint32_t)> trap_;
    std::uint64_t instructions_ = 0;
    std::uint32_t current_ = 0; // the instruction that runs
    std::uint32_t lowestSp_ = 0;
    std::uint32_t recordBase_ = 0;
    std::uint32_t recordSize_ = 0;
    std::vector<std::uint8_t> executed_; // a bit for each byte recorded: part of one that ran
    int runs_ = 0;
    std::uint64_t budget_ = 0;
    bool ended_ = false;
    bool budgetSpent_ = false;
    std::uint32_t budgetAddress_ = 0;
    Ending ending_;
    int badType_ = -1;
    std::uint32_t badAddress_ = 0;
};

} // namespace runner
