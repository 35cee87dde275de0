// The emulated processor: unicorn, with the runner's memory, traps,
// instruction count, stack depth and record of what ran; the program in user
// mode.
#include "runner/emulator.h"

#include "device/process.h"
#include "runner/privileged.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <sys/mman.h>

namespace runner {

namespace {

// Opening an emulator reserves this much address space for the code unicorn
// translates. And unicorn's allocator answers null when memory runs out,
// which unicorn does not check: the call that needed the memory crashes the
// process. So before each call that opens an emulator, maps or unmaps
// memory, the emulator makes sure there is address space to spare, and fails
// with a reason when there is not.
constexpr std::size_t TranslatorReserve = std::size_t{1} << 30;
constexpr std::size_t Headroom = std::size_t{64} << 20;

bool AddressSpaceFree(std::size_t bytes) {
    void* probe =
        ::mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (probe == MAP_FAILED) {
        return false;
    }
    ::munmap(probe, bytes);
    return true;
}

const char* const OutOfMemory = "the simulator is out of memory";

constexpr std::uint32_t ArmModeMask = 0x1F;
constexpr std::uint32_t ArmUserMode = 0x10;
constexpr std::uint32_t ArmThumb = 0x20;
// The exception numbers unicorn reports: QEMU's for a system call on ARM,
// and the general protection fault on x86.
constexpr std::uint32_t ArmSoftwareInterrupt = 2;
constexpr std::uint32_t X86GeneralProtection = 13;

// x86: flat 4 GB segments (base 0, 32-bit, page granular, accessed), for
// the kernel and for user mode, in a descriptor table on the system page.
std::uint64_t FlatSegment(bool code, std::uint32_t level) {
    std::uint64_t type = code ? 0xB : 0x3; // execute/read or read/write, accessed
    return 0xFFFFull | (0x90ull | level << 5 | type) << 40 | 0xCFull << 48;
}
constexpr std::uint16_t KernelCode = 0x08;
constexpr std::uint16_t KernelData = 0x10;
constexpr std::uint16_t UserCode = 0x18 | 3;
constexpr std::uint16_t UserData = 0x20 | 3;
constexpr std::uint32_t FrameOffset = 0x100; // what iret pops
constexpr std::uint32_t IretOffset = 0x200;
constexpr std::uint32_t LandingOffset = 0x300;

} // namespace

Emulator::Emulator(Machine machine, ArmCore core)
    : machine_(machine), core_(core),
      result_(machine == Machine::Arm ? static_cast<int>(UC_ARM_REG_R0)
                                      : static_cast<int>(UC_X86_REG_EAX)),
      pc_(machine == Machine::Arm ? static_cast<int>(UC_ARM_REG_PC)
                                  : static_cast<int>(UC_X86_REG_EIP)),
      sp_(machine == Machine::Arm ? static_cast<int>(UC_ARM_REG_SP)
                                  : static_cast<int>(UC_X86_REG_ESP)) {
    if (!AddressSpaceFree(TranslatorReserve + Headroom)) {
        error_ = std::string("cannot open the emulator: ") + OutOfMemory;
        return;
    }
    uc_err err = machine == Machine::Arm ? uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc_)
                                         : uc_open(UC_ARCH_X86, UC_MODE_32, &uc_);
    if (err != UC_ERR_OK) {
        uc_ = nullptr;
        error_ = std::string("cannot open the emulator: ") + uc_strerror(err);
        return;
    }
    if (machine == Machine::Arm) {
        int model = core == ArmCore::StrongArm ? UC_CPU_ARM_SA1110 : UC_CPU_ARM_926;
        err = uc_ctl_set_cpu_model(uc_, model);
    }
    if (err == UC_ERR_OK && !EnterUserMode()) {
        error_ = "cannot set up the emulator: user mode";
        return;
    }
    // One hook at every instruction counts it, records it and the stack
    // pointer, and on ARM stops the privileged instructions user mode would
    // run as no-ops. The others catch bad accesses, exceptions and, on x86,
    // port input and output, which unicorn does not check the privilege of,
    // and system calls.
    uc_hook hook;
    if (err == UC_ERR_OK) {
        err = uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(&OnInstruction), this,
                          1, 0);
    }
    if (err == UC_ERR_OK) {
        err = uc_hook_add(uc_, &hook, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(&OnBadAccess),
                          this, 1, 0);
    }
    if (err == UC_ERR_OK) {
        err = uc_hook_add(uc_, &hook, UC_HOOK_INTR, reinterpret_cast<void*>(&OnInterrupt), this, 1,
                          0);
    }
    if (err == UC_ERR_OK && machine == Machine::X86) {
        err = uc_hook_add(uc_, &hook, UC_HOOK_INSN, reinterpret_cast<void*>(&OnPortIn), this, 1, 0,
                          UC_X86_INS_IN);
    }
    if (err == UC_ERR_OK && machine == Machine::X86) {
        err = uc_hook_add(uc_, &hook, UC_HOOK_INSN, reinterpret_cast<void*>(&OnPortOut), this, 1, 0,
                          UC_X86_INS_OUT);
    }
    for (int instruction : {UC_X86_INS_SYSCALL, UC_X86_INS_SYSENTER}) {
        if (err == UC_ERR_OK && machine == Machine::X86) {
            err = uc_hook_add(uc_, &hook, UC_HOOK_INSN, reinterpret_cast<void*>(&OnSystemCall),
                              this, 1, 0, instruction);
        }
    }
    if (err == UC_ERR_OK) {
        err = uc_context_alloc(uc_, &start_);
    }
    if (err == UC_ERR_OK) {
        err = uc_context_save(uc_, start_);
    }
    if (err != UC_ERR_OK) {
        error_ = std::string("cannot set up the emulator: ") + uc_strerror(err);
    }
}

Emulator::~Emulator() {
    if (start_ != nullptr) {
        uc_context_free(start_);
    }
    if (uc_ != nullptr) {
        uc_close(uc_);
    }
}

// Unicorn starts an ARM core in supervisor mode, and an x86 one at the
// kernel's privilege: the program is to run in user mode. ARM gets there by
// its mode bits; x86 by returning (iret) to a user code segment, as a kernel
// starts a process, from a trampoline on the system page, which then stays
// mapped, readable only, for the segments' descriptors.
bool Emulator::EnterUserMode() {
    if (machine_ == Machine::Arm) {
        std::uint32_t cpsr = (Register(UC_ARM_REG_CPSR) & ~ArmModeMask) | ArmUserMode;
        SetRegister(UC_ARM_REG_CPSR, cpsr);
        return (Register(UC_ARM_REG_CPSR) & ArmModeMask) == ArmUserMode;
    }
    const std::uint64_t table[] = {0, FlatSegment(true, 0), FlatSegment(false, 0),
                                   FlatSegment(true, 3), FlatSegment(false, 3)};
    const std::uint32_t frame[] = {SystemPage + LandingOffset, UserCode, 0x202,
                                   SystemPage + FrameOffset, UserData};
    const std::uint8_t iret = 0xCF;
    uc_x86_mmr descriptors = {};
    descriptors.base = SystemPage;
    descriptors.limit = sizeof table - 1;
    const std::uint16_t kernelCode = KernelCode;
    const std::uint16_t kernelData = KernelData;
    const std::uint16_t userData = UserData;
    const std::uint32_t stack = SystemPage + FrameOffset;
    bool entered =
        uc_mem_map(uc_, SystemPage, GuestPageSize, UC_PROT_READ | UC_PROT_EXEC) == UC_ERR_OK &&
        uc_mem_write(uc_, SystemPage, table, sizeof table) == UC_ERR_OK &&
        uc_mem_write(uc_, SystemPage + FrameOffset, frame, sizeof frame) == UC_ERR_OK &&
        uc_mem_write(uc_, SystemPage + IretOffset, &iret, 1) == UC_ERR_OK &&
        uc_reg_write(uc_, UC_X86_REG_GDTR, &descriptors) == UC_ERR_OK &&
        uc_reg_write(uc_, UC_X86_REG_SS, &kernelData) == UC_ERR_OK &&
        uc_reg_write(uc_, UC_X86_REG_CS, &kernelCode) == UC_ERR_OK &&
        uc_reg_write(uc_, UC_X86_REG_DS, &userData) == UC_ERR_OK &&
        uc_reg_write(uc_, UC_X86_REG_ES, &userData) == UC_ERR_OK &&
        uc_reg_write(uc_, UC_X86_REG_ESP, &stack) == UC_ERR_OK &&
        uc_emu_start(uc_, SystemPage + IretOffset, SystemPage + LandingOffset, 0, 0) == UC_ERR_OK &&
        uc_mem_protect(uc_, SystemPage, GuestPageSize, UC_PROT_READ) == UC_ERR_OK &&
        uc_ctl_remove_cache(uc_, SystemPage, SystemPage + GuestPageSize) == UC_ERR_OK;
    return entered && Register(UC_X86_REG_CS) == UserCode && Register(UC_X86_REG_SS) == UserData;
}

std::size_t Emulator::Fetch(std::uint32_t address, std::uint8_t* out, std::size_t size) const {
    const Region* region = RegionOf(address);
    if (region == nullptr) {
        return 0;
    }
    std::size_t offset = address - region->base;
    std::size_t available = region->size - offset < size ? region->size - offset : size;
    std::memcpy(out, region->bytes + offset, available);
    return available;
}

void Emulator::Record(std::uint32_t base, std::uint32_t size) {
    recordBase_ = base;
    recordSize_ = size;
    executed_.assign((static_cast<std::size_t>(size) + 7) / 8, 0);
}

std::vector<Emulator::Range> Emulator::Executed() const {
    std::vector<Range> ranges;
    auto ran = [&](std::uint32_t offset) { return (executed_[offset / 8] >> (offset % 8)) & 1; };
    for (std::uint32_t offset = 0; offset < recordSize_;) {
        if (executed_[offset / 8] == 0 && offset % 8 == 0) {
            offset += 8;
            continue;
        }
        if (!ran(offset)) {
            ++offset;
            continue;
        }
        std::uint32_t start = offset;
        while (offset < recordSize_ && ran(offset)) {
            ++offset;
        }
        ranges.emplace_back(start, offset);
    }
    return ranges;
}

void Emulator::Reset() {
    if (!error_.empty()) {
        return;
    }
    if (!AddressSpaceFree(Headroom)) {
        error_ = std::string("cannot reset the emulator: ") + OutOfMemory;
        return;
    }
    uc_err err = UC_ERR_OK;
    for (const Region& region : regions_) {
        // Code translated from these pages goes first: a run that maps others
        // at the same addresses would otherwise run it. Unicorn drops it for
        // one of its mappings at a time, and from executable pages only.
        for (std::size_t first = 0, last = 0; first < region.access.size(); first = last) {
            while (last < region.access.size() && region.access[last] == region.access[first]) {
                ++last;
            }
            std::uint64_t from = region.base + static_cast<std::uint64_t>(first) * GuestPageSize;
            std::uint64_t to = region.base + static_cast<std::uint64_t>(last) * GuestPageSize;
            if (err == UC_ERR_OK && (region.access[first] & AccessExecute) != 0) {
                err = uc_ctl_remove_cache(uc_, from, to);
            }
        }
        if (err == UC_ERR_OK) {
            err = uc_mem_unmap(uc_, region.base, region.size);
        }
    }
    regions_.clear();
    storage_.clear();
    if (err == UC_ERR_OK) {
        err = uc_context_restore(uc_, start_);
    }
    if (err != UC_ERR_OK) {
        error_ = std::string("cannot reset the emulator: ") + uc_strerror(err);
    }
    stackLow_ = stackTop_ = 0;
    trap_ = nullptr;
    instructions_ = 0;
    current_ = 0;
    lowestSp_ = 0;
    recordBase_ = recordSize_ = 0;
    executed_.clear();
    budget_ = 0;
    ended_ = false;
    budgetSpent_ = false;
    budgetAddress_ = 0;
    ending_ = Ending();
    badType_ = -1;
    badAddress_ = 0;
}

std::uint8_t* Emulator::Map(std::uint32_t address, std::vector<std::uint32_t> pageAccess) {
    const std::uint64_t size = pageAccess.size() * static_cast<std::uint64_t>(GuestPageSize);
    // The device's ARM cores (ARMv4 and ARMv5) have no way to forbid the
    // execution of a page that may be read.
    for (std::uint32_t& access : pageAccess) {
        if (machine_ == Machine::Arm && (access & AccessRead) != 0) {
            access |= AccessExecute;
        }
    }
    if (uc_ == nullptr || size == 0 || address % GuestPageSize != 0 ||
        address + size > 1ull << 32) {
        return nullptr;
    }
    if (!AddressSpaceFree(Headroom + size)) {
        error_ = std::string("cannot map memory: ") + OutOfMemory;
        return nullptr;
    }
    for (const Region& region : regions_) {
        if (address < region.base + static_cast<std::uint64_t>(region.size) &&
            region.base < address + size) {
            return nullptr;
        }
    }
    auto* bytes = static_cast<std::uint8_t*>(std::aligned_alloc(GuestPageSize, size));
    if (bytes == nullptr) {
        return nullptr;
    }
    storage_.emplace_back(bytes, &std::free);
    std::memset(bytes, 0, size);
    // Each run of pages with the same access is one mapping of unicorn's, all
    // on the same host bytes.
    for (std::size_t first = 0, last = 0; first < pageAccess.size(); first = last) {
        while (last < pageAccess.size() && pageAccess[last] == pageAccess[first]) {
            ++last;
        }
        std::uint32_t at = address + static_cast<std::uint32_t>(first) * GuestPageSize;
        std::size_t length = (last - first) * GuestPageSize;
        if (uc_mem_map_ptr(uc_, at, length, pageAccess[first], bytes + (at - address)) !=
            UC_ERR_OK) {
            return nullptr;
        }
    }
    regions_.push_back({address, static_cast<std::uint32_t>(size), bytes,
                        std::vector<std::uint8_t>(pageAccess.begin(), pageAccess.end())});
    return bytes;
}

const Emulator::Region* Emulator::RegionOf(std::uint32_t address) const {
    for (const Region& region : regions_) {
        if (address >= region.base && address - region.base < region.size) {
            return &region;
        }
    }
    return nullptr;
}

bool Emulator::Reachable(std::uint32_t address, std::uint32_t access) const {
    const Region* region = RegionOf(address);
    return region != nullptr &&
           (region->access[(address - region->base) / GuestPageSize] & access) == access;
}

std::size_t Emulator::Readable(std::uint32_t address, std::size_t limit) const {
    std::size_t readable = 0;
    while (readable < limit) {
        std::uint64_t at = static_cast<std::uint64_t>(address) + readable;
        if (at > 0xFFFFFFFFull || !Reachable(static_cast<std::uint32_t>(at), AccessRead)) {
            break;
        }
        // The rest of this page is readable too.
        std::size_t page = GuestPageSize - at % GuestPageSize;
        readable += page < limit - readable ? page : limit - readable;
    }
    return readable;
}

void Emulator::Read(std::uint32_t address, void* out, std::size_t size) const {
    std::size_t readable = Readable(address, size);
    if (readable < size) {
        throw GuestFault{static_cast<std::uint32_t>(address + readable), false};
    }
    auto* to = static_cast<std::uint8_t*>(out);
    while (size > 0) {
        const Region* region = RegionOf(address);
        std::size_t offset = address - region->base;
        std::size_t chunk = region->size - offset < size ? region->size - offset : size;
        std::memcpy(to, region->bytes + offset, chunk);
        to += chunk;
        address += static_cast<std::uint32_t>(chunk);
        size -= chunk;
    }
}

void Emulator::Write(std::uint32_t address, const void* data, std::size_t size) {
    const auto* from = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        std::uint64_t at = static_cast<std::uint64_t>(address) + i;
        if (at > 0xFFFFFFFFull || !Reachable(static_cast<std::uint32_t>(at), AccessWrite)) {
            throw GuestFault{static_cast<std::uint32_t>(at), true};
        }
        const Region* region = RegionOf(static_cast<std::uint32_t>(at));
        region->bytes[at - region->base] = from[i];
    }
}

std::uint32_t Emulator::Read32(std::uint32_t address) const {
    std::uint8_t bytes[4];
    Read(address, bytes, 4);
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint32_t Emulator::Register(int id) const {
    std::uint32_t value = 0;
    uc_reg_read(uc_, id, &value);
    return value;
}

void Emulator::SetRegister(int id, std::uint32_t value) {
    uc_reg_write(uc_, id, &value);
}

void Emulator::SetTraps(std::uint32_t base, std::uint32_t size,
                        std::function<void(std::uint32_t)> trap) {
    trap_ = std::move(trap);
    if (uc_ == nullptr || (trapHook_ != 0 && base == trapBase_ && size == trapSize_)) {
        return;
    }
    if (trapHook_ != 0) {
        uc_hook_del(uc_, trapHook_);
        trapHook_ = 0;
    }
    trapBase_ = base;
    trapSize_ = size;
    uc_hook hook;
    if (uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(&OnTrap), this, base,
                    base + static_cast<std::uint64_t>(size) - 1) != UC_ERR_OK) {
        error_ = "cannot set the emulator's traps";
        return;
    }
    trapHook_ = hook;
}

std::uint32_t Emulator::Argument(int index) const {
    if (machine_ == Machine::Arm) {
        if (index < 4) {
            return Register(UC_ARM_REG_R0 + index);
        }
        return Read32(Register(UC_ARM_REG_SP) + 4 * (index - 4));
    }
    // stdcall: the return address, then the arguments.
    return Read32(Register(UC_X86_REG_ESP) + 4 + 4 * index);
}

std::uint32_t Emulator::ReturnAddress() const {
    return machine_ == Machine::Arm ? Register(UC_ARM_REG_LR) : Read32(Register(UC_X86_REG_ESP));
}

std::uint32_t Emulator::Result() const {
    return Register(result_);
}

void Emulator::SetResult(std::uint32_t value) {
    SetRegister(result_, value);
}

void Emulator::Finish(std::uint32_t code) {
    if (!ended_) {
        ended_ = true;
        ending_ = Ending{false, code, std::string(), 0};
    }
    uc_emu_stop(uc_);
}

void Emulator::Crash(std::uint32_t code, const std::string& reason, std::uint32_t address) {
    if (!ended_) {
        ended_ = true;
        ending_ = Ending{true, code, reason, address};
    }
    uc_emu_stop(uc_);
}

Ending Emulator::Run(std::uint32_t entry, const std::vector<std::uint32_t>& arguments,
                     std::uint32_t returnAddress, std::uint64_t budget) {
    if (!error_.empty()) {
        return Ending{true, sim::AccessViolation, error_, entry};
    }
    budget_ = budget;
    ++runs_;
    try {
        if (machine_ == Machine::Arm) {
            for (std::size_t i = 0; i < arguments.size() && i < 4; ++i) {
                SetRegister(UC_ARM_REG_R0 + static_cast<int>(i), arguments[i]);
            }
            SetRegister(UC_ARM_REG_SP, stackTop_);
            SetRegister(UC_ARM_REG_LR, returnAddress);
        } else {
            std::uint32_t sp = stackTop_ - 4 * static_cast<std::uint32_t>(arguments.size() + 1);
            Write(sp, &returnAddress, 4);
            for (std::size_t i = 0; i < arguments.size(); ++i) {
                Write(sp + 4 + 4 * static_cast<std::uint32_t>(i), &arguments[i], 4);
            }
            SetRegister(UC_X86_REG_ESP, sp);
        }
    } catch (const GuestFault& fault) {
        return Fault(fault.address, "write to");
    }
    lowestSp_ = Register(sp_);
    // The run ends only by a trap, a crash or the budget: no address stops it.
    uc_err err = uc_emu_start(uc_, entry, 0xFFFFFFFFull, 0, 0);
    if (ended_) {
        return ending_;
    }
    return Classify(err);
}

Ending Emulator::Fault(std::uint32_t address, const char* access) const {
    bool mapped = RegionOf(address) != nullptr;
    if (!mapped && std::strcmp(access, "write to") == 0 && address < stackLow_ &&
        stackLow_ - address <= GuestPageSize) {
        return Ending{true, sim::StackOverflow, "stack overflow", address};
    }
    return Ending{true, sim::AccessViolation,
                  std::string(access) + (mapped ? " protected memory" : " unmapped memory"),
                  address};
}

Ending Emulator::Classify(int error) {
    const std::uint32_t pc = Register(pc_);
    if (budgetSpent_) {
        return Ending{true, sim::BudgetExhausted,
                      "ran past its budget of " + std::to_string(budget_) + " instructions",
                      budgetAddress_};
    }
    switch (error) {
    case UC_ERR_READ_UNMAPPED:
    case UC_ERR_WRITE_UNMAPPED:
    case UC_ERR_FETCH_UNMAPPED:
    case UC_ERR_READ_PROT:
    case UC_ERR_WRITE_PROT:
    case UC_ERR_FETCH_PROT: {
        // x86 checks the privilege of port input and output before the
        // memory ins and outs reach, where unicorn first moves the data.
        if (machine_ == Machine::X86 && Privileged(current_)) {
            return Ending{true, sim::PrivilegedInstruction, "privileged instruction", current_};
        }
        bool write = badType_ == UC_MEM_WRITE_UNMAPPED || badType_ == UC_MEM_WRITE_PROT;
        bool fetch = badType_ == UC_MEM_FETCH_UNMAPPED || badType_ == UC_MEM_FETCH_PROT;
        return Fault(badAddress_, fetch ? "execution of" : write ? "write to" : "read of");
    }
    case UC_ERR_INSN_INVALID:
        // An x86 instruction that needs a feature the core lacks is undefined
        // to it; the kernel may still tell it as privileged.
        if (Privileged(pc)) {
            return Ending{true, sim::PrivilegedInstruction, "privileged instruction", pc};
        }
        return Ending{true, sim::IllegalInstruction, "undefined instruction", pc};
    case UC_ERR_EXCEPTION:
        return Ending{true, sim::IllegalInstruction, "unhandled processor exception", pc};
    case UC_ERR_OK:
        // Nothing ends a run without a trap, a crash or the budget.
        return Ending{true, sim::IllegalInstruction, "the processor stopped", pc};
    default:
        return Ending{true, sim::AccessViolation,
                      std::string("emulator error: ") + uc_strerror(static_cast<uc_err>(error)),
                      pc};
    }
}

bool Emulator::Privileged(std::uint32_t address) const {
    std::uint8_t code[16];
    std::size_t size = Fetch(address, code, sizeof code);
    if (machine_ == Machine::X86) {
        return X86Privileged(code, size);
    }
    std::uint32_t word = 0;
    std::memcpy(&word, code, size < 4 ? size : 4);
    return size >= 4 && (Register(UC_ARM_REG_CPSR) & ArmThumb) == 0 && ArmPrivileged(word);
}

void Emulator::OnInstruction(uc_struct* uc, std::uint64_t address, std::uint32_t size, void* self) {
    auto* emulator = static_cast<Emulator*>(self);
    if (emulator->ended_) {
        uc_emu_stop(uc); // a port hook ended the run within a block
        return;
    }
    if (emulator->instructions_ >= emulator->budget_) {
        emulator->budgetSpent_ = true;
        emulator->budgetAddress_ = static_cast<std::uint32_t>(address);
        uc_emu_stop(uc);
        return;
    }
    ++emulator->instructions_;
    emulator->current_ = static_cast<std::uint32_t>(address);
    std::uint32_t sp = emulator->Register(emulator->sp_);
    if (sp < emulator->lowestSp_ && sp >= emulator->stackLow_) {
        emulator->lowestSp_ = sp;
    }
    // The instruction's bytes, a byte of bits at a time.
    const std::uint64_t offset = address - emulator->recordBase_;
    const std::uint64_t end = std::min<std::uint64_t>(offset + size, emulator->recordSize_);
    for (std::uint64_t at = offset; at < end;) {
        const std::uint64_t bits = std::min<std::uint64_t>(8 - at % 8, end - at);
        emulator->executed_[at / 8] |= static_cast<std::uint8_t>(((1u << bits) - 1) << (at % 8));
        at += bits;
    }
    // In user mode an ARM core ignores an msr to cpsr's control bits, and
    // unicorn lets some coprocessor reads through: they, and every other
    // privileged instruction, are stopped before they run.
    std::uint8_t bytes[4];
    if (emulator->machine_ == Machine::Arm && size == 4 &&
        emulator->Fetch(static_cast<std::uint32_t>(address), bytes, 4) == 4) {
        std::uint32_t word = 0;
        std::memcpy(&word, bytes, 4);
        if (ArmPrivileged(word) && ArmConditionHolds(word, emulator->Register(UC_ARM_REG_CPSR))) {
            emulator->Crash(sim::PrivilegedInstruction,
                            ArmSystemCall(word)
                                ? "privileged instruction: a system call the device does not offer"
                                : "privileged instruction",
                            static_cast<std::uint32_t>(address));
        }
    }
}

void Emulator::OnTrap(uc_struct*, std::uint64_t address, std::uint32_t, void* self) {
    auto* emulator = static_cast<Emulator*>(self);
    if (emulator->ended_ || emulator->budgetSpent_) {
        return;
    }
    // Nothing may unwind through the emulator.
    try {
        emulator->trap_(static_cast<std::uint32_t>(address));
    } catch (const GuestFault& fault) {
        Ending ending = emulator->Fault(fault.address, fault.write ? "write to" : "read of");
        emulator->Crash(ending.code, ending.reason, ending.address);
    } catch (const std::exception& e) {
        emulator->Crash(sim::AccessViolation, std::string("runner failure: ") + e.what(),
                        static_cast<std::uint32_t>(address));
    }
}

bool Emulator::OnBadAccess(uc_struct*, int type, std::uint64_t address, int, std::int64_t,
                           void* self) {
    auto* emulator = static_cast<Emulator*>(self);
    emulator->badType_ = type;
    emulator->badAddress_ = static_cast<std::uint32_t>(address);
    return false;
}

// An exception the processor raised. A user-mode x86 core raises a general
// protection fault for a privileged instruction, which the kernel tells by
// decoding it; an ARM one a software interrupt for swi (in Thumb state: ARM
// state stops swi before it runs), with the address after it.
void Emulator::OnInterrupt(uc_struct*, std::uint32_t number, void* self) {
    auto* emulator = static_cast<Emulator*>(self);
    std::uint32_t pc = emulator->Register(emulator->pc_);
    if (emulator->machine_ == Machine::Arm && number == ArmSoftwareInterrupt) {
        bool thumb = (emulator->Register(UC_ARM_REG_CPSR) & ArmThumb) != 0;
        emulator->Crash(sim::PrivilegedInstruction,
                        "privileged instruction: a system call the device does not offer",
                        pc - (thumb ? 2 : 4));
    } else if (emulator->machine_ == Machine::X86 && number == X86GeneralProtection &&
               emulator->Privileged(pc)) {
        emulator->Crash(sim::PrivilegedInstruction, "privileged instruction", pc);
    } else {
        emulator->Crash(sim::IllegalInstruction,
                        "unhandled processor exception " + std::to_string(number), pc);
    }
}

// Port input and output, which unicorn lets a user-mode program make.
std::uint32_t Emulator::OnPortIn(uc_struct*, std::uint32_t, int, void* self) {
    auto* emulator = static_cast<Emulator*>(self);
    emulator->Crash(sim::PrivilegedInstruction, "privileged instruction: port input",
                    emulator->current_);
    return 0;
}

void Emulator::OnPortOut(uc_struct*, std::uint32_t, int, std::uint32_t, void* self) {
    auto* emulator = static_cast<Emulator*>(self);
    emulator->Crash(sim::PrivilegedInstruction, "privileged instruction: port output",
                    emulator->current_);
}

// syscall and sysenter: as swi on ARM, the device offers no system call.
void Emulator::OnSystemCall(uc_struct*, void* self) {
    auto* emulator = static_cast<Emulator*>(self);
    emulator->Crash(sim::PrivilegedInstruction,
                    "privileged instruction: a system call the device does not offer",
                    emulator->current_);
}

} // namespace runner
