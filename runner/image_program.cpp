// Loading an image into the emulated processor and running it on the device.
#include "runner/image_program.h"

#include "device/operations.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace runner {

namespace {

// The thunk of each import is one four-byte slot on the thunk page. The trap
// there makes the call; the slot's instruction then returns to the caller.
constexpr std::uint32_t ArmReturn = 0xE1A0F00Eu; // mov pc, lr (ARMv4: no BX)
constexpr std::uint32_t ArmUndefined = 0xE7F000F0u;
constexpr std::uint8_t X86ReturnPopping = 0xC2; // ret imm16
constexpr std::uint8_t X86Return = 0xC3;
constexpr std::uint8_t X86Halt = 0xF4;
constexpr std::uint32_t SlotSize = 4;
// The last slot is where the entry point returns to.
constexpr std::uint32_t ExitSlot = GuestPageSize / SlotSize - 1;
// Each run of the program leaves some 50 KB of translated code behind.
constexpr int RunsPerEmulator = 64;

std::uint32_t PagesFor(std::uint64_t bytes) {
    return static_cast<std::uint32_t>((bytes + GuestPageSize - 1) / GuestPageSize * GuestPageSize);
}

sim::Outcome Failed(std::uint32_t code, const std::string& reason, std::uint64_t address = 0) {
    sim::Outcome outcome;
    outcome.crashed = true;
    outcome.code = code;
    outcome.reason = reason;
    outcome.address = address;
    return outcome;
}

void PutSlot(std::uint8_t* page, std::uint32_t slot, std::uint16_t machine, std::uint32_t arguments,
             bool exit) {
    std::uint8_t* at = page + slot * SlotSize;
    if (machine == MachineArm) {
        std::uint32_t word = exit ? ArmUndefined : ArmReturn;
        std::memcpy(at, &word, 4);
    } else if (exit) {
        at[0] = X86Halt;
    } else if (arguments == 0) {
        at[0] = X86Return;
    } else {
        std::uint16_t popped = static_cast<std::uint16_t>(4 * arguments);
        at[0] = X86ReturnPopping;
        std::memcpy(at + 1, &popped, 2);
    }
}

// The access of each page of the image, as the device's loader gives it
// (docs/images.md): the headers readable; each section readable (the loader
// reads no flag for that), writable and executable as its flags ask; a
// section that holds a slot of the import address table and is not writable
// made writable and executable, as the loader makes it to fill the table. A
// page takes the access of the part that holds its first byte, as the loader
// pages it in, or else of the first section in it: never what two parts ask
// for together.
std::vector<std::uint32_t> PageAccess(const PeImage& image) {
    std::vector<std::uint32_t> access(image.memory.size() / GuestPageSize, 0);
    auto give = [&access](std::uint64_t start, std::uint64_t end, std::uint32_t flags) {
        for (std::uint64_t page = start / GuestPageSize; page * GuestPageSize < end; ++page) {
            if (access[page] == 0) {
                access[page] = flags;
            }
        }
    };
    give(0, image.headersSize, AccessRead);
    for (const PeSection& section : image.sections) {
        const std::uint64_t end = static_cast<std::uint64_t>(section.address) + section.size;
        const bool holdsSlot =
            std::any_of(image.imports.begin(), image.imports.end(), [&](const PeImport& import) {
                return import.slot >= section.address && import.slot < end;
            });
        std::uint32_t flags = AccessRead | (section.writable ? AccessWrite : 0u) |
                              (section.executable ? AccessExecute : 0u);
        if (holdsSlot && !section.writable) {
            flags = AccessRead | AccessWrite | AccessExecute;
        }
        give(section.address, end, flags);
    }
    return access;
}

// The union of two sorted lists of ranges.
std::vector<Emulator::Range> Merged(const std::vector<Emulator::Range>& a,
                                    const std::vector<Emulator::Range>& b) {
    std::vector<Emulator::Range> all(a.size() + b.size());
    std::merge(a.begin(), a.end(), b.begin(), b.end(), all.begin());
    std::vector<Emulator::Range> merged;
    for (const Emulator::Range& range : all) {
        if (!merged.empty() && range.first <= merged.back().second) {
            merged.back().second = std::max(merged.back().second, range.second);
        } else {
            merged.push_back(range);
        }
    }
    return merged;
}

// Hands the emulator back to the program when the run is over.
class Lease {
  public:
    Lease(std::unique_ptr<Emulator> emulator, std::function<void(std::unique_ptr<Emulator>)> keep)
        : emulator_(std::move(emulator)), keep_(std::move(keep)) {}
    ~Lease() {
        keep_(std::move(emulator_));
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Emulator& operator*() {
        return *emulator_;
    }

  private:
    std::unique_ptr<Emulator> emulator_;
    std::function<void(std::unique_ptr<Emulator>)> keep_;
};

// Where x86 code holds a far call or jump through a register (FF /3 or FF /5
// with a register operand): undefined on the processor, and an instruction
// the emulator (unicorn 2.0) aborts the whole process on when it translates
// it, instead of raising the fault. Any byte of executable code may begin an
// instruction, so every pair is looked at. Empty when there is none.
std::string UntranslatableAt(const PeImage& image) {
    for (const PeSection& section : image.sections) {
        if (!section.executable) {
            continue;
        }
        const std::uint64_t end = std::min<std::uint64_t>(
            static_cast<std::uint64_t>(section.address) + section.size, image.memory.size());
        for (std::uint64_t at = section.address; at + 1 < end; ++at) {
            const std::uint8_t modrm = image.memory[at + 1];
            const std::uint8_t reg = (modrm >> 3) & 7;
            if (image.memory[at] == 0xFF && (modrm >> 6) == 3 && (reg == 3 || reg == 5)) {
                char text[96];
                std::snprintf(text, sizeof text, "0x%08llX (FF %02X)",
                              static_cast<unsigned long long>(image.imageBase + at), modrm);
                return text;
            }
        }
    }
    return std::string();
}

} // namespace

std::unique_ptr<Emulator> ImageProgram::Take(Emulator::Machine machine) {
    for (auto it = idle_.begin(); it != idle_.end(); ++it) {
        if ((*it)->Kind() == machine && (*it)->Core() == armCore) {
            std::unique_ptr<Emulator> emulator = std::move(*it);
            idle_.erase(it);
            emulator->Reset();
            if (emulator->Error().empty()) {
                return emulator;
            }
            break;
        }
    }
    return std::make_unique<Emulator>(machine, armCore);
}

void ImageProgram::Keep(std::unique_ptr<Emulator> emulator) {
    // One a kind is enough; one that failed is not kept. Nor is one that has
    // run a while: the code it translated for earlier runs is dropped, but
    // the room it took is not given back until the emulator is closed.
    for (const std::unique_ptr<Emulator>& idle : idle_) {
        if (idle->Kind() == emulator->Kind() && idle->Core() == emulator->Core()) {
            return;
        }
    }
    if (emulator->Error().empty() && emulator->Runs() < RunsPerEmulator) {
        idle_.push_back(std::move(emulator));
    }
}

sim::Outcome ImageProgram::Run(sim::Device& device, const std::u16string& path,
                               const sim::Entry* file, const std::u16string& args) {
    Loaded program;
    std::string refusal = Load(device, path, file, args, program);
    if (refusal.empty()) {
        refusal = Bind(device, program);
    }
    if (!refusal.empty()) {
        return sim::NotStarted(refusal, program.refused);
    }
    const PeImage& image = program.image;
    Lease lease(Take(image.machine == MachineArm ? Emulator::Machine::Arm : Emulator::Machine::X86),
                [this](std::unique_ptr<Emulator> used) { Keep(std::move(used)); });
    Emulator& cpu = *lease;
    sim::Process running;
    running.path = path;
    running.args = args;
    running.instance = image.imageBase;
    // LoadStringW reads the image's string table when it is called.
    running.loadString = [&image](platform::UINT id, std::u16string& text) {
        return ReadImageString(image, id, text);
    };
    sim::Device::Use use(device, running);
    sim::Outcome crash;
    std::uint8_t* thunks = nullptr;
    if (!Map(cpu, program, crash, thunks)) {
        return crash;
    }
    return Execute(cpu, program, thunks);
}

std::string ImageProgram::Load(const sim::Device& device, const std::u16string& path,
                               const sim::Entry* file, const std::u16string& args,
                               Loaded& program) const {
    if (file == nullptr || !file->content || file->content->empty()) {
        return sim::Loader::EmptyFile();
    }
    PeImage& image = program.image;
    std::string error;
    if (!ReadPeImage(*file->content, image, error)) {
        return "not a runnable image: " + error;
    }
    sim::LoadDecision decision = device.TheLoader().Decide(
        {image.machine, image.subsystem, image.subsystemMajor, image.subsystemMinor});
    if (!decision.refusal.empty()) {
        program.refused = std::move(decision.facts);
        return decision.refusal;
    }

    // What this runner cannot lay out or emulate.
    if (image.machine != MachineArm && image.machine != MachineI386) {
        return "it is " + MachineName(image.machine) +
               " code, and the emulator runs ARM and i386 code only";
    }
    const std::string untranslatable =
        image.machine == MachineI386 ? UntranslatableAt(image) : std::string();
    if (!untranslatable.empty()) {
        return "its code holds at " + untranslatable +
               " a far call or jump through a register, which the emulator cannot run";
    }
    const std::uint64_t imageEnd =
        static_cast<std::uint64_t>(image.imageBase) + image.memory.size();
    if (imageEnd > StackTop - PagesFor(image.stackReserve) - GuestPageSize &&
        image.imageBase < 0x80000000u) {
        return "the image lies where the runner puts its stack";
    }
    if (image.imports.size() >= ExitSlot) {
        return "too many imports";
    }
    // The command line: without the program's name on the device (WinMain's
    // argument); on the desktop, as a shell builds it.
    program.commandLine = image.machine == MachineArm
                              ? args
                              : u"\"" + path + u"\"" + (args.empty() ? u"" : u" " + args);
    if (program.commandLine.size() > MaxCommandLine) {
        return "its command line is longer than " + std::to_string(MaxCommandLine) + " units";
    }
    return std::string();
}

std::string ImageProgram::Bind(const sim::Device& device, Loaded& program) const {
    // Every import is bound before anything runs, as the device's loader does.
    const PeImage& image = program.image;
    program.bindings.resize(image.imports.size());
    for (std::size_t i = 0; i < image.imports.size(); ++i) {
        const PeImport& import = image.imports[i];
        std::string why;
        if (!FindBinding(device.TheLoader(), image.machine, import, program.bindings[i], why)) {
            return "it imports " + ImportName(import) + ", and " + why;
        }
    }
    return std::string();
}

bool ImageProgram::Map(Emulator& cpu, const Loaded& program, sim::Outcome& crash,
                       std::uint8_t*& thunks) const {
    const PeImage& image = program.image;
    const std::u16string& line = program.commandLine;
    const std::uint32_t stackSize = PagesFor(image.stackReserve);
    const std::uint32_t stackLow = StackTop - stackSize;
    std::uint8_t* memory = cpu.Map(image.imageBase, PageAccess(image));
    thunks = cpu.Map(Thunks, GuestPageSize, AccessRead | AccessExecute);
    std::uint8_t* data =
        cpu.Map(ProcessData, PagesFor((line.size() + 1) * 2), AccessRead | AccessWrite);
    bool mapped = memory != nullptr && thunks != nullptr && data != nullptr &&
                  cpu.Map(stackLow, stackSize, AccessRead | AccessWrite) != nullptr;
    if (!mapped || !cpu.Error().empty()) {
        crash = Failed(sim::AccessViolation,
                       cpu.Error().empty() ? "cannot map the image" : cpu.Error());
        return false;
    }
    std::memcpy(memory, image.memory.data(), image.memory.size());
    std::memcpy(data, line.data(), line.size() * 2);
    for (std::size_t i = 0; i < program.bindings.size(); ++i) {
        std::uint32_t slot = static_cast<std::uint32_t>(i);
        std::uint32_t address = Thunks + slot * SlotSize;
        std::memcpy(memory + image.imports[i].slot, &address, 4);
        PutSlot(thunks, slot, image.machine, program.bindings[i].arguments, false);
    }
    PutSlot(thunks, ExitSlot, image.machine, 0, true);
    cpu.SetStack(stackLow, StackTop);
    cpu.Record(image.imageBase, static_cast<std::uint32_t>(image.memory.size()));
    return true;
}

sim::Outcome ImageProgram::Execute(Emulator& cpu, const Loaded& program, std::uint8_t* thunks) {
    const PeImage& image = program.image;
    const std::vector<Binding>& bindings = program.bindings;
    ImageProcess process{cpu, image.machine, image.imageBase, ProcessData, 0, copyBound, {}, {}};
    // The exports whose addresses GetProcAddressW gave: export i has the slot
    // below the exit's by i + 1, under which the imports' slots end.
    std::vector<std::pair<platform::FARPROC, Binding>> exported;
    process.exportAddress = [&](platform::FARPROC host, const Binding& binding) {
        std::size_t i = 0;
        while (i < exported.size() && exported[i].first != host) {
            ++i;
        }
        const std::uint32_t slot = ExitSlot - 1 - static_cast<std::uint32_t>(i);
        if (i == exported.size()) {
            if (slot < bindings.size()) {
                cpu.Crash(sim::QuotaExceeded, "no room for the address of another export",
                          cpu.ReturnAddress());
                return std::uint32_t{0};
            }
            exported.emplace_back(host, binding);
            PutSlot(thunks, slot, image.machine, binding.arguments, false);
        }
        return Thunks + slot * SlotSize;
    };
    std::uint32_t heapEnd = Heap;
    process.allocate = [&](std::uint32_t bytes) {
        const std::uint32_t size = PagesFor(bytes);
        if (size > Thunks - heapEnd ||
            cpu.Map(heapEnd, size, AccessRead | AccessWrite) == nullptr) {
            cpu.Crash(sim::QuotaExceeded,
                      "what the device hands the program does not fit in its heap",
                      cpu.ReturnAddress());
            return std::uint32_t{0};
        }
        heapEnd += size;
        return heapEnd - size;
    };
    std::uint32_t calls = 0;
    cpu.SetTraps(Thunks, GuestPageSize, [&](std::uint32_t address) {
        const std::uint32_t slot = (address - Thunks) / SlotSize;
        const std::uint32_t below = ExitSlot - 1 - slot; // an export's number, for its slot
        const Binding* bound = nullptr;
        if (address % SlotSize == 0 && slot < bindings.size()) {
            bound = &bindings[slot];
        } else if (address % SlotSize == 0 && slot < ExitSlot && below < exported.size()) {
            bound = &exported[below].second;
        }
        if (slot == ExitSlot) {
            cpu.Finish(cpu.Result()); // the entry point returned
        } else if (bound != nullptr && calls == callBound) {
            cpu.Crash(sim::QuotaExceeded,
                      "more than " + std::to_string(callBound) + " calls to the platform",
                      cpu.ReturnAddress());
        } else if (bound != nullptr) {
            ++calls;
            try {
                cpu.SetResult(bound->call(process));
            } catch (const CopyBoundExceeded&) {
                cpu.Crash(sim::QuotaExceeded,
                          "more than " + std::to_string(copyBound) +
                              " bytes copied between the program and the platform",
                          cpu.ReturnAddress());
            }
        } else {
            cpu.Crash(sim::AccessViolation,
                      "a call into the thunks at an address that no import and no "
                      "GetProcAddressW gave",
                      address);
        }
    });
    std::vector<std::uint32_t> arguments;
    if (image.machine == MachineArm) {
        // The device's loader calls the entry point as WinMain.
        arguments = {image.imageBase, 0, ProcessData,
                     static_cast<std::uint32_t>(platform::SwShowNormal)};
    }
    sim::Outcome outcome = cpu.Run(image.imageBase + image.entryPoint, arguments,
                                   Thunks + ExitSlot * SlotSize, budget);
    outcome.instructions = cpu.Instructions();
    outcome.stack = cpu.StackDepth();
    executed_[image.machine] = Merged(executed_[image.machine], cpu.Executed());
    return outcome;
}

std::vector<Emulator::Range> ImageProgram::Executed(std::uint16_t machine) const {
    auto found = executed_.find(machine);
    return found != executed_.end() ? found->second : std::vector<Emulator::Range>();
}

} // namespace runner
