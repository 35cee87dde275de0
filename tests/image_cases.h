// Tiny hand-made images and how their runs must end: the image runner's
// table test runs them, and the image fuzzer's seed maker writes them out.
#pragma once

#include "device/process.h"
#include "runner/emulator.h"
#include "runner/image_program.h"
#include "runner/pe_image.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

namespace cases {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t X86Base = 0x400000;
constexpr std::uint32_t ArmBase = 0x10000;
// Where the tiny image keeps things, relative to its base.
constexpr std::uint32_t Code = 0x1000;
constexpr std::uint32_t Slots = 0x2100;     // import i's address table entry: Slots + 8 * i
constexpr std::uint32_t Resources = 0x2300; // the resource directory, when there is one
constexpr std::uint32_t Data = 0x3000;      // a writable page
// Where the headers keep the data directories and the section table.
constexpr std::size_t Optional = 0x58;
constexpr std::size_t Directories = Optional + 96;
constexpr std::size_t SectionTable = 0x138;

inline void Put16(Bytes& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void Put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, value >> 16);
}

inline void PutSection(Bytes& bytes, std::size_t at, const char* name, std::uint32_t address,
                       std::uint32_t size, std::uint32_t rawOffset, std::uint32_t rawSize,
                       std::uint32_t flags) {
    std::memcpy(&bytes[at], name, std::strlen(name));
    Put32(bytes, at + 8, size);
    Put32(bytes, at + 12, address);
    Put32(bytes, at + 16, rawSize);
    Put32(bytes, at + 20, rawOffset);
    Put32(bytes, at + 36, flags);
}

// A PE32 image: code at Code (the entry point), one import directory entry
// for each "DLL!name" or "DLL#ordinal" (at most four), a zeroed writable page
// at Data, a 64 KB stack.
inline Bytes TinyImage(std::uint16_t machine, const Bytes& code,
                       const std::vector<std::string>& imports = {}) {
    Bytes bytes(0x800, 0);
    const std::uint32_t base = machine == runner::MachineArm ? ArmBase : X86Base;
    bytes[0] = 'M';
    bytes[1] = 'Z';
    Put32(bytes, 0x3C, 0x40);
    std::memcpy(&bytes[0x40], "PE\0\0", 4);
    Put16(bytes, 0x44, machine);
    Put16(bytes, 0x46, 3);     // sections
    Put16(bytes, 0x54, 0xE0);  // optional header size
    Put16(bytes, 0x56, 0x102); // executable, 32-bit
    const std::size_t opt = Optional;
    Put16(bytes, opt, 0x10B);
    Put32(bytes, opt + 16, Code);
    Put32(bytes, opt + 28, base);
    Put32(bytes, opt + 32, 0x1000); // section alignment
    Put32(bytes, opt + 36, 0x200);  // file alignment
    Put32(bytes, opt + 56, 0x4000); // image size
    Put32(bytes, opt + 60, 0x200);  // headers size
    Put16(bytes, opt + 68, 2);      // GUI
    Put32(bytes, opt + 72, 0x10000);
    Put32(bytes, opt + 76, 0x1000);
    Put32(bytes, opt + 92, 16);
    Put32(bytes, Directories + 8, 0x2000); // imports
    Put32(bytes, Directories + 12, 20 * static_cast<std::uint32_t>(imports.size() + 1));
    PutSection(bytes, SectionTable, ".text", Code, 0x200, 0x200, 0x200, 0x60000020);
    PutSection(bytes, SectionTable + 40, ".idata", 0x2000, 0x400, 0x400, 0x400, 0xC0000040);
    PutSection(bytes, SectionTable + 80, ".bss", Data, 0x1000, 0, 0, 0xC0000080);
    std::memcpy(&bytes[0x200], code.data(), code.size());
    for (std::size_t i = 0; i < imports.size(); ++i) {
        const std::size_t mark = imports[i].find_first_of("!#");
        const std::string dll = imports[i].substr(0, mark);
        const std::string name = imports[i].substr(mark + 1);
        const std::uint32_t slot = Slots + 8 * static_cast<std::uint32_t>(i);
        const std::uint32_t lookup = 0x2180 + 8 * static_cast<std::uint32_t>(i);
        const std::uint32_t names = 0x2200 + 64 * static_cast<std::uint32_t>(i);
        const std::size_t descriptor = 0x400 + 20 * i;
        const std::uint32_t entry = imports[i][mark] == '#'
                                        ? 0x80000000u | static_cast<std::uint32_t>(std::stoul(name))
                                        : names;
        Put32(bytes, descriptor, lookup);
        Put32(bytes, descriptor + 12, names + 40);
        Put32(bytes, descriptor + 16, slot);
        Put32(bytes, 0x400 + (lookup - 0x2000), entry);
        Put32(bytes, 0x400 + (slot - 0x2000), entry);
        if (imports[i][mark] == '!') {
            std::memcpy(&bytes[0x400 + (names - 0x2000) + 2], name.data(), name.size());
        }
        std::memcpy(&bytes[0x400 + (names - 0x2000) + 40], dll.data(), dll.size());
    }
    return bytes;
}

// The image with a string table of one block (strings 0 to 15) whose data is
// block, at most 0xA8 bytes: resource type 6, block 1, one language.
inline Bytes WithStrings(Bytes image, const Bytes& block) {
    const std::size_t root = 0x400 + (Resources - 0x2000); // in the file
    auto directory = [&](std::size_t at, std::uint32_t id, std::uint32_t offset) {
        Put16(image, root + at + 14, 1); // one entry, by number
        Put32(image, root + at + 16, id);
        Put32(image, root + at + 20, offset);
    };
    directory(0x00, 6, 0x80000018); // string tables
    directory(0x18, 1, 0x80000030); // block 1
    directory(0x30, 0x409, 0x48);   // its one language
    Put32(image, root + 0x48, Resources + 0x58);
    Put32(image, root + 0x4C, static_cast<std::uint32_t>(block.size()));
    std::copy(block.begin(), block.end(), image.begin() + static_cast<long>(root + 0x58));
    Put32(image, Directories + 16, Resources);
    Put32(image, Directories + 20, 0x58 + static_cast<std::uint32_t>(block.size()));
    return image;
}

inline Bytes Le32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

inline Bytes Arm(std::initializer_list<std::uint32_t> words) {
    Bytes code;
    for (std::uint32_t word : words) {
        Bytes le = Le32(word);
        code.insert(code.end(), le.begin(), le.end());
    }
    return code;
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// UTF-16 units, little-endian, as a string table holds them.
inline Bytes Units(std::initializer_list<std::uint16_t> units) {
    Bytes bytes;
    for (std::uint16_t unit : units) {
        bytes.push_back(static_cast<std::uint8_t>(unit));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

// x86: call dword [import i's slot]
inline Bytes CallImport(int i) {
    return Join({{0xFF, 0x15}, Le32(X86Base + Slots + 8 * i)});
}

inline Bytes Push(std::uint32_t value) {
    return Join({{0x68}, Le32(value)});
}

// ARM: WinMain calls import 0 as GetModuleFileNameW(0, Data, 260) and
// returns what it answers.
inline Bytes ArmModuleFileName() {
    return Arm({0xE1A0400E, // mov r4, lr
                0xE3A00000, // mov r0, #0
                0xE59F1010, // ldr r1, =ArmBase + Data
                0xE3A02F41, // mov r2, #260
                0xE59FC00C, // ldr r12, =the slot
                0xE1A0E00F, // mov lr, pc
                0xE59CF000, // ldr pc, [r12]
                0xE1A0F004, // mov pc, r4
                ArmBase + Data, ArmBase + Slots});
}

// Code, then from offset 0x100 of the code section on, data it reads.
inline Bytes WithData(Bytes code, const Bytes& data) {
    code.resize(0x100, 0xCC);
    return Join({code, data});
}

// UTF-16 or 8-bit text with its terminator, as bytes.
inline Bytes WideText(const std::string& text) {
    Bytes bytes;
    for (char c : text + '\0') {
        bytes.push_back(static_cast<std::uint8_t>(c));
        bytes.push_back(0);
    }
    return bytes;
}
inline Bytes NarrowText(const std::string& text) {
    return Bytes(text.c_str(), text.c_str() + text.size() + 1);
}

// x86: loads COREDLL (imports 0 to 2: LoadLibraryW, GetProcAddress,
// FreeLibrary), calls its export GetModuleFileNameW(0, Data, 260) through the
// address GetProcAddress gives, stdcall, frees the library and returns what
// the export answered.
inline Bytes X86CallsAnExport(const std::string& name) {
    const std::uint32_t data = X86Base + Code + 0x100;
    return WithData(Join({Push(data),
                          CallImport(0), // LoadLibraryW(L"coredll")
                          {0x89, 0xC6},  // mov esi, eax
                          Push(data + 16),
                          {0x56},
                          CallImport(1), // GetProcAddress(esi, name)
                          Push(260),
                          Push(X86Base + Data),
                          {0x6A, 0},
                          {0xFF, 0xD0},         // call eax
                          {0x89, 0xC7, 0x56},   // mov edi, eax; push esi
                          CallImport(2),        // FreeLibrary(esi)
                          {0x89, 0xF8, 0xC3}}), // mov eax, edi; ret
                    Join({WideText("coredll"), NarrowText(name)}));
}

// ARM: the same, through LoadLibraryW, GetProcAddressW and FreeLibrary.
inline Bytes ArmCallsAnExport() {
    const std::uint32_t data = ArmBase + Code + 0x100;
    const Bytes code = Arm({0xE1A0400E,   // mov r4, lr
                            0xE59F0050,   // ldr r0, =L"coredll"
                            0xE59FC050,   // ldr r12, =slot 0
                            0xE1A0E00F,   // mov lr, pc
                            0xE59CF000,   // ldr pc, [r12]      LoadLibraryW
                            0xE1A05000,   // mov r5, r0
                            0xE59F1044,   // ldr r1, =L"GetModuleFileNameW"
                            0xE59FC044,   // ldr r12, =slot 1
                            0xE1A0E00F,   // mov lr, pc
                            0xE59CF000,   // ldr pc, [r12]      GetProcAddressW
                            0xE1A03000,   // mov r3, r0
                            0xE3A00000,   // mov r0, #0
                            0xE59F1034,   // ldr r1, =Data
                            0xE3A02F41,   // mov r2, #260
                            0xE1A0E00F,   // mov lr, pc
                            0xE1A0F003,   // mov pc, r3         the export
                            0xE1A06000,   // mov r6, r0
                            0xE1A00005,   // mov r0, r5
                            0xE59FC020,   // ldr r12, =slot 2
                            0xE1A0E00F,   // mov lr, pc
                            0xE59CF000,   // ldr pc, [r12]      FreeLibrary
                            0xE1A00006,   // mov r0, r6
                            0xE1A0F004}); // mov pc, r4
    const Bytes literals = Arm({data, ArmBase + Slots, data + 16, ArmBase + Slots + 8,
                                ArmBase + Data, ArmBase + Slots + 16});
    return WithData(Join({code, literals}),
                    Join({WideText("coredll"), WideText("GetModuleFileNameW")}));
}

// x86: the entry point returns what LoadStringW(base, id, Data, 260) answers.
inline Bytes X86LoadString(std::uint32_t id) {
    return Join({Push(260), Push(X86Base + Data), Push(id), Push(X86Base), CallImport(0), {0xC3}});
}

inline Bytes WithBytes(Bytes image, std::size_t at, std::initializer_list<std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<long>(at));
    return image;
}

// The image with the subsystem version it needs: the version of the system.
// The loader reads it only of an image for Windows CE's GUI (subsystem 9).
inline Bytes Needing(Bytes image, std::uint8_t major, std::uint8_t minor,
                     std::uint8_t subsystem = 9) {
    return WithBytes(WithBytes(std::move(image), Optional + 48, {major, 0, minor, 0}),
                     Optional + 68, {subsystem, 0});
}

// The image with section i's flags (its characteristics) set to flags.
inline Bytes WithSectionFlags(Bytes image, std::size_t i, std::uint32_t flags) {
    Put32(image, SectionTable + 40 * i + 36, flags);
    return image;
}

// The image with section i at address (relative to the base).
inline Bytes WithSectionAt(Bytes image, std::size_t i, std::uint32_t address) {
    Put32(image, SectionTable + 40 * i + 12, address);
    return image;
}

constexpr std::uint32_t CodeOnly = 0x60000020;     // code, readable and executable
constexpr std::uint32_t WritableCode = 0xE0000020; // code, also writable

// x86: writes one byte into its own code, the operand of an instruction that
// has not run yet, and runs that instruction; then writes that byte again 15
// times, counting down, while only code translated before runs. It returns
// the first byte written, 16. From the tenth write to a page of translated
// code on, the emulator keeps a bitmap of the page's code, which it frees when
// code is translated there again, and never when it is closed.
inline Bytes X86PatchesItsCode() {
    Bytes code = Join({{0xB9, 16, 0, 0, 0},         // mov ecx, 16
                       {0x88, 0x0D},                // again: mov [the operand], cl
                       Le32(X86Base + Code + 0x21), //
                       {0x83, 0xF9, 16, 0x75, 5},   // cmp ecx, 16; jne next
                       {0xE8, 0x0B, 0, 0, 0},       // call patched
                       {0x49, 0x74, 0x18},          // next: dec ecx; jz done
                       {0xEB, 0xEB}});              // jmp again
    code.resize(0x20, 0xCC);
    code = Join({code, {0xB0, 0x55, 0x0F, 0xB6, 0xC0, 0xEB, 0x09}}); // patched: mov al, 0x55;
    code.resize(0x30, 0xCC);                                         // movzx eax, al; jmp done
    code.push_back(0xC3);                                            // done: ret
    return code;
}

inline Bytes Shortened(Bytes image, std::size_t by) {
    image.resize(image.size() - by);
    return image;
}

// How a run ends: the program exits, it crashes, or the device does not
// start it.
enum Ending { Exits, Crashes, Refused };

struct RunCase {
    const char* name;
    Bytes image;
    std::u16string args;
    Ending ends;
    std::uint32_t code;       // for a refusal, sim::BadExeFormat
    std::string reason;       // contained in the outcome's; "" for none
    std::uint64_t address;    // checked for crashes
    std::uint64_t budget = 0; // 0: the default
    runner::Emulator::ArmCore core = runner::Emulator::ArmCore::StrongArm;
    std::string violation = ""; // the misuse the device records; "" for none
    std::uint32_t osMajor = 4;  // the device's version
    std::uint32_t osMinor = 0;
    std::uint32_t processor = 0; // the device's; 0: one that runs the image's machine
};

inline std::ostream& operator<<(std::ostream& out, const RunCase& c) {
    return out << c.name;
}

// The processor of a device that runs the image's machine: an x86 one for an
// i386 image, else a StrongARM one.
inline std::uint32_t ProcessorFor(const Bytes& image) {
    const bool x86 = image.size() > 0x46 && image[0x44] == (runner::MachineI386 & 0xFF) &&
                     image[0x45] == (runner::MachineI386 >> 8);
    return x86 ? 586 : 2577;
}

constexpr std::uint16_t X86 = runner::MachineI386;
constexpr std::uint16_t ArmMachine = runner::MachineArm;
constexpr std::uint32_t StackLow = runner::StackTop - 0x10000;
// "\Windows\tiny.exe", where the table test puts each image.
constexpr std::uint32_t TinyPathLength = 17;

// An instruction only the kernel may run, at offset at of the code.
struct Privileged {
    const char* name;
    Bytes code;
    std::uint32_t at;
};

// x86, each after a nop or a set-up, so that the address is the instruction's.
inline const std::vector<Privileged>& X86PrivilegedCases() {
    static const std::vector<Privileged> cases = {
        // Port input and output.
        {"X86InAlDx", {0xEC}, 0},
        {"X86InPort", {0x90, 0xE5, 0x10}, 1},
        {"X86OutDxAl", {0x90, 0xEE}, 1},
        {"X86OutPort", {0x90, 0xE6, 0x10}, 1},
        {"X86InsbToNowhere", {0x90, 0x6C}, 1},
        {"X86RepOutsd", Join({{0xBE}, Le32(X86Base + Data), {0xB9, 1, 0, 0, 0, 0xF3, 0x6F}}), 10},
        {"X86OutswFromNowhere", {0x90, 0x66, 0x6F}, 1},
        // Halting, and the interrupt flag.
        {"X86Hlt", {0x90, 0xF4}, 1},
        {"X86Cli", {0x90, 0xFA}, 1},
        {"X86Sti", {0x90, 0xFB}, 1},
        // Descriptor tables and the task register.
        {"X86Lgdt", {0x90, 0x0F, 0x01, 0x10}, 1},
        {"X86Lidt", {0x90, 0x0F, 0x01, 0x18}, 1},
        {"X86Lldt", {0x90, 0x0F, 0x00, 0xD0}, 1},
        {"X86Ltr", {0x90, 0x0F, 0x00, 0xD8}, 1},
        {"X86Lmsw", {0x90, 0x0F, 0x01, 0xF0}, 1},
        // Control and debug registers.
        {"X86MovToCr0", {0x90, 0x0F, 0x22, 0xC0}, 1},
        {"X86MovFromCr0", {0x90, 0x0F, 0x20, 0xC0}, 1},
        {"X86MovFromDr7", {0x90, 0x0F, 0x21, 0xF8}, 1},
        {"X86MovToDr0", {0x90, 0x0F, 0x23, 0xC0}, 1},
        {"X86Clts", {0x90, 0x0F, 0x06}, 1},
        // Caches and pages.
        {"X86Invd", {0x90, 0x0F, 0x08}, 1},
        {"X86Wbinvd", {0x90, 0x0F, 0x09}, 1},
        {"X86Invlpg", {0x90, 0x0F, 0x01, 0x38}, 1},
        // Model-specific and performance registers.
        {"X86Wrmsr", {0x90, 0x0F, 0x30}, 1},
        {"X86Rdmsr", {0x90, 0x0F, 0x32}, 1},
        {"X86Rdpmc", {0x90, 0x0F, 0x33}, 1},
        // System calls: the device offers none.
        {"X86Sysenter", {0x90, 0x0F, 0x34}, 1},
        {"X86Syscall", {0x90, 0x0F, 0x05}, 1},
    };
    return cases;
}

// ARM, each after mov r0, #5.
inline const std::vector<Privileged>& ArmPrivilegedCases() {
    static const std::vector<Privileged> cases = {
        // The system coprocessors.
        {"ArmMcrCp15", Arm({0xE3A00005, 0xEE010F10}), 4},
        {"ArmMrcCp15", Arm({0xE3A00005, 0xEE100F10}), 4},
        {"ArmMrcCp14", Arm({0xE3A00005, 0xEE100E10}), 4},
        {"ArmCdpCp15", Arm({0xE3A00005, 0xEE000F00}), 4},
        {"ArmLdcCp15", Arm({0xE3A00005, 0xED900F00}), 4},
        // The mode and interrupt bits of cpsr, and spsr.
        {"ArmMsrCpsrControl", Arm({0xE3A00005, 0xE321F0D3}), 4},
        {"ArmMsrCpsrControlFromRegister", Arm({0xE3A00005, 0xE121F000}), 4},
        {"ArmMrsSpsr", Arm({0xE3A00005, 0xE14F0000}), 4},
        {"ArmMsrSpsr", Arm({0xE3A00005, 0xE161F000}), 4},
        // The user registers from another mode, and returns from exceptions.
        {"ArmLdmUserRegisters", Arm({0xE3A00005, 0xE8D10001}), 4},
        {"ArmStmUserRegisters", Arm({0xE3A00005, 0xE8C10001}), 4},
        {"ArmMovsPcLr", Arm({0xE3A00005, 0xE1B0F00E}), 4},
        {"ArmSubsPcLr", Arm({0xE3A00005, 0xE25EF004}), 4},
        // A system call: the device offers none through swi.
        {"ArmSwi", Arm({0xE3A00005, 0xEF000123}), 4},
    };
    return cases;
}

inline const std::vector<RunCase>& Cases() {
    using runner::Emulator;
    static const std::vector<RunCase> cases = [] {
        std::vector<RunCase> all = {
            // How a run ends well: the entry point returns, or the process exits.
            RunCase{"X86Returns", TinyImage(X86, {0xB8, 7, 0, 0, 0, 0xC3}), u"", Exits, 7, "", 0},
            RunCase{"X86ExitProcess",
                    TinyImage(X86, Join({{0x6A, 3}, CallImport(0)}), {"KERNEL32.dll!ExitProcess"}),
                    u"", Exits, 3, "", 0},
            // The desktop command line as a shell builds it: the quoted path first.
            RunCase{"X86CommandLine",
                    TinyImage(X86, Join({CallImport(0), {0x0F, 0xB7, 0x40, 0x02, 0xC3}}),
                              {"KERNEL32.dll!GetCommandLineW"}),
                    u"install", Exits, u'\\', "", 0},
            // WinMain(instance, 0, command line, SW_SHOWNORMAL) on the device.
            RunCase{"ArmInstance", TinyImage(ArmMachine, Arm({0xE1A0F00E})), u"", Exits, ArmBase,
                    "", 0},
            RunCase{"ArmCommandLine", TinyImage(ArmMachine, Arm({0xE1D200B0, 0xE1A0F00E})),
                    u"install", Exits, u'i', "", 0},
            RunCase{"ArmShow", TinyImage(ArmMachine, Arm({0xE1A00003, 0xE1A0F00E})), u"", Exits, 1,
                    "", 0},
            // StrongARM is ARMv4: BX is undefined there, and runs on a later core.
            RunCase{"ArmBxOnStrongArm", TinyImage(ArmMachine, Arm({0xE12FFF1E})), u"", Crashes,
                    sim::IllegalInstruction, "undefined instruction", ArmBase + Code},
            RunCase{"ArmBxOnArm926", TinyImage(ArmMachine, Arm({0xE12FFF1E})), u"", Exits, ArmBase,
                    "", 0, 0, Emulator::ArmCore::Arm926},
            // What the device writes lands in the guest's own pages.
            RunCase{"DeviceWritesIntoData",
                    TinyImage(X86,
                              Join({Push(260),
                                    Push(X86Base + Data),
                                    {0x6A, 0},
                                    CallImport(0),
                                    {0x0F, 0xB7, 0x05},
                                    Le32(X86Base + Data),
                                    {0xC3}}),
                              {"KERNEL32.dll!GetModuleFileNameW"}),
                    u"", Exits, u'\\', "", 0},

            // A path is handed over as the guest holds it, without a terminator
            // within 260 units too (300 units of 'A' here).
            RunCase{"PathWithoutTerminator",
                    TinyImage(X86,
                              Join({{0xBF},
                                    Le32(X86Base + Data),
                                    {0xB9},
                                    Le32(300),
                                    {0x66, 0xB8, 0x41, 0x00, 0xF3, 0x66, 0xAB},
                                    Push(X86Base + Data),
                                    CallImport(0),
                                    {0xC3}}),
                              {"KERNEL32.dll!DeleteFileW"}),
                    u"", Exits, 0, "", 0, 0, Emulator::ArmCore::StrongArm,
                    "without a terminator within 260 units"},

            // COREDLL's imports are bound through its export table, by ordinal
            // (537: GetModuleFileNameW) or by name, to the same operation.
            RunCase{"ArmImportByOrdinal",
                    TinyImage(ArmMachine, ArmModuleFileName(), {"COREDLL.dll#537"}), u"", Exits,
                    TinyPathLength, "", 0},
            RunCase{"ArmImportByName",
                    TinyImage(ArmMachine, ArmModuleFileName(), {"coredll.dll!GetModuleFileNameW"}),
                    u"", Exits, TinyPathLength, "", 0},
            // What the table does not hold keeps the image from starting.
            RunCase{"ArmUnknownOrdinal",
                    TinyImage(ArmMachine, Arm({0xE1A0F00E}), {"COREDLL.dll#999"}), u"", Refused,
                    sim::BadExeFormat,
                    "it imports COREDLL.dll ordinal 999, and COREDLL exports no ordinal 999", 0},
            RunCase{"ArmUnknownName",
                    TinyImage(ArmMachine, Arm({0xE1A0F00E}),
                              {"COREDLL.dll!Sleep", "COREDLL.dll!CreateFileW"}),
                    u"", Refused, sim::BadExeFormat, "COREDLL exports no CreateFileW", 0},
            RunCase{"ArmImportFromAnotherDll",
                    TinyImage(ArmMachine, Arm({0xE1A0F00E}), {"KERNEL32.dll!Sleep"}), u"", Refused,
                    sim::BadExeFormat,
                    "it imports KERNEL32.dll!Sleep, and the device has no DLL KERNEL32.dll", 0},
            RunCase{"X86UnknownName", TinyImage(X86, {0xC3}, {"USER32.dll!DrawTextW"}), u"",
                    Refused, sim::BadExeFormat,
                    "it imports USER32.dll!DrawTextW, and USER32.dll exports no DrawTextW", 0},
            RunCase{"X86UnknownDll", TinyImage(X86, {0xC3}, {"GDI32.dll!TextOutW"}), u"", Refused,
                    sim::BadExeFormat, "the device has no DLL GDI32.dll", 0},
            // A desktop DLL's ordinals are not stable: none is bound.
            RunCase{"X86ImportByOrdinal", TinyImage(X86, {0xC3}, {"KERNEL32.dll#496"}), u"",
                    Refused, sim::BadExeFormat, "KERNEL32.dll ordinal 496 is not bound", 0},

            // The string table is read when LoadStringW asks for a string: string
            // 1 here, after an empty string 0.
            RunCase{"StringReadWhenAskedFor",
                    WithStrings(TinyImage(X86, X86LoadString(1), {"USER32.dll!LoadStringW"}),
                                Units({0, 2, 'O', 'K'})),
                    u"", Exits, 2, "", 0},
            // A malformed table does not keep the image from starting: the
            // strings it cannot hold are not there. Block 1 ends within string 1
            // here; string 2 cannot be reached; string 17 is in no block.
            RunCase{"StringTableCutShort",
                    WithStrings(TinyImage(X86, X86LoadString(1), {"USER32.dll!LoadStringW"}),
                                Units({0, 5, 'O', 'K'})),
                    u"", Exits, 0, "", 0},
            RunCase{"StringPastACutShortOne",
                    WithStrings(TinyImage(X86, X86LoadString(2), {"USER32.dll!LoadStringW"}),
                                Units({0, 5, 'O', 'K'})),
                    u"", Exits, 0, "", 0},
            RunCase{"StringInNoBlock",
                    WithStrings(TinyImage(X86, X86LoadString(17), {"USER32.dll!LoadStringW"}),
                                Units({0, 2, 'O', 'K'})),
                    u"", Exits, 0, "", 0},
            // A block of two strings, the second empty: string 1 is not there.
            RunCase{"StringOneEmpty",
                    WithStrings(TinyImage(X86, X86LoadString(1), {"USER32.dll!LoadStringW"}),
                                Units({0, 0})),
                    u"", Exits, 0, "", 0},
            RunCase{"StringTableOfNothing",
                    WithStrings(TinyImage(X86, X86LoadString(1), {"USER32.dll!LoadStringW"}), {}),
                    u"", Exits, 0, "", 0},
            RunCase{
                "StringTableDirectoryBroken",
                WithBytes(WithStrings(TinyImage(X86, X86LoadString(1), {"USER32.dll!LoadStringW"}),
                                      Units({0, 2, 'O', 'K'})),
                          0x700 + 14, {0xFF, 0xFF}),
                u"", Exits, 0, "", 0},

            // Crashes, with the address.
            RunCase{"ReadOfUnmapped", TinyImage(X86, {0xA1, 0x34, 0x12, 0, 0}), u"", Crashes,
                    sim::AccessViolation, "read of unmapped memory", 0x1234},
            RunCase{"WriteToCode", TinyImage(X86, Join({{0xA3}, Le32(X86Base + Code)})), u"",
                    Crashes, sim::AccessViolation, "write to protected memory", X86Base + Code},
            // Code that writes into its own code section: an access violation in
            // a section the device maps without write access; a run to the end
            // in one whose flags ask for it.
            RunCase{"X86PatchesCodeOnlySection",
                    WithSectionFlags(TinyImage(X86, X86PatchesItsCode()), 0, CodeOnly), u"",
                    Crashes, sim::AccessViolation, "write to protected memory",
                    X86Base + Code + 0x21},
            RunCase{"X86PatchesWritableCode",
                    WithSectionFlags(TinyImage(X86, X86PatchesItsCode()), 0, WritableCode), u"",
                    Exits, 16, "", 0},
            // The access the device's loader gives: a page shared by two sections
            // has that of the one holding its first byte (here the code's, not
            // the imports' after it); a section is readable whatever its flags
            // say; one that holds import slots is made writable to fill them.
            RunCase{"PageSharedWithCode",
                    WithSectionAt(TinyImage(X86, Join({{0xA3}, Le32(X86Base + 0x1200), {0xC3}})), 1,
                                  0x1200),
                    u"", Crashes, sim::AccessViolation, "write to protected memory",
                    X86Base + 0x1200},
            RunCase{"DataWithoutTheReadFlag",
                    WithSectionFlags(TinyImage(X86, Join({{0xA1}, Le32(X86Base + Data), {0xC3}})),
                                     2, 0x00000080),
                    u"", Exits, 0, "", 0},
            RunCase{
                "ImportSlotsInReadOnlySection",
                WithSectionFlags(
                    TinyImage(X86, Join({{0xA3}, Le32(X86Base + Slots), {0xB8, 7, 0, 0, 0, 0xC3}}),
                              {"KERNEL32.dll!Sleep"}),
                    1, 0x40000040),
                u"", Exits, 7, "", 0},
            // An ARM core cannot forbid executing what may be read: code put
            // into data runs (mov pc, lr, stored there and jumped to).
            RunCase{"ArmExecutionOfData",
                    TinyImage(ArmMachine, Arm({0xE59F1008, // ldr r1, =ArmBase + Data
                                               0xE59F2008, // ldr r2, =mov pc, lr
                                               0xE5812000, // str r2, [r1]
                                               0xE1A0F001, // mov pc, r1
                                               ArmBase + Data, 0xE1A0F00E})),
                    u"", Exits, ArmBase, "", 0},
            RunCase{"ExecutionOfData",
                    TinyImage(X86, Join({{0xB8}, Le32(X86Base + Data), {0xFF, 0xE0}})), u"",
                    Crashes, sim::AccessViolation, "execution of protected memory", X86Base + Data},
            RunCase{"ArmReadOfUnmapped", TinyImage(ArmMachine, Arm({0xE3A00C12, 0xE5900000})), u"",
                    Crashes, sim::AccessViolation, "read of unmapped memory", 0x1200},
            RunCase{
                "DeviceGivenUnmappedPath",
                TinyImage(X86, Join({Push(0x1234), CallImport(0)}), {"KERNEL32.dll!DeleteFileW"}),
                u"", Crashes, sim::AccessViolation, "read of unmapped memory", 0x1234},
            RunCase{
                "DeviceWritesToCode",
                TinyImage(X86, Join({Push(260), Push(X86Base + Code), {0x6A, 0}, CallImport(0)}),
                          {"KERNEL32.dll!GetModuleFileNameW"}),
                u"", Crashes, sim::AccessViolation, "write to protected memory", X86Base + Code},
            RunCase{"StackOverflow", TinyImage(X86, {0xE8, 0xFB, 0xFF, 0xFF, 0xFF}), u"", Crashes,
                    sim::StackOverflow, "stack overflow", StackLow - 4},
            RunCase{"ArmStackOverflow", TinyImage(ArmMachine, Arm({0xE52DE004, 0xEAFFFFFD})), u"",
                    Crashes, sim::StackOverflow, "stack overflow", StackLow - 4},
            RunCase{"Budget", TinyImage(X86, {0xEB, 0xFE}), u"", Crashes, sim::BudgetExhausted,
                    "budget of 1000 instructions", X86Base + Code, 1000},
            RunCase{"ArmBudget", TinyImage(ArmMachine, Arm({0xEAFFFFFE})), u"", Crashes,
                    sim::BudgetExhausted, "budget of 1000 instructions", ArmBase + Code, 1000},
            RunCase{"UndefinedInstruction", TinyImage(X86, {0x0F, 0x0B}), u"", Crashes,
                    sim::IllegalInstruction, "undefined instruction", X86Base + Code},
            // A run that calls the platform in a loop ends, at the call past the
            // bound, where it would have returned to.
            RunCase{"CallsPastTheBound",
                    TinyImage(X86, Join({{0x6A, 0}, CallImport(0), {0xEB, 0xF6}}),
                              {"KERNEL32.dll!Sleep"}),
                    u"", Crashes, sim::QuotaExceeded, "more than 10000 calls to the platform",
                    X86Base + Code + 8},
            RunCase{"ArmCallsPastTheBound",
                    TinyImage(ArmMachine,
                              Arm({0xE59FC00C, // ldr r12, =the slot
                                   0xE3A00000, // loop: mov r0, #0
                                   0xE1A0E00F, // mov lr, pc
                                   0xE59CF000, // ldr pc, [r12]
                                   0xEAFFFFFB, // b loop
                                   ArmBase + Slots}),
                              {"COREDLL.dll#496"}),
                    u"", Crashes, sim::QuotaExceeded, "more than 10000 calls to the platform",
                    ArmBase + Code + 0x10},
            // So does one that hands the platform more than a megabyte of text:
            // a message box of 2047 units, over and over.
            RunCase{"CopiesPastTheBound",
                    TinyImage(X86,
                              Join({{0xBF},
                                    Le32(X86Base + Data),
                                    {0xB9},
                                    Le32(2047),
                                    {0x66, 0xB8, 0x41, 0x00, 0xF3, 0x66, 0xAB},
                                    Push(0),
                                    Push(X86Base + Data),
                                    Push(X86Base + Data),
                                    Push(0),
                                    CallImport(0),
                                    {0xEB, 0xE4}}),
                              {"USER32.dll!MessageBoxW"}),
                    u"", Crashes, sim::QuotaExceeded,
                    "more than 1048576 bytes copied between the program and the platform",
                    X86Base + Code + 0x2B},

            // Files that hold no image the device can run.
            RunCase{"Empty", Bytes(), u"", Refused, sim::BadExeFormat,
                    "the file is empty, so it is not a valid application here", 0},
            // An address GetProcAddressW gives is bound to the export, and
            // calling it runs the device's operation with the image's
            // calling convention (stdcall on x86: the callee pops).
            RunCase{"X86CallsAnExport",
                    TinyImage(X86, X86CallsAnExport("GetModuleFileNameW"),
                              {"KERNEL32.dll!LoadLibraryW", "KERNEL32.dll!GetProcAddress",
                               "KERNEL32.dll!FreeLibrary"}),
                    u"", Exits, TinyPathLength, "", 0},
            RunCase{"ArmCallsAnExport",
                    TinyImage(ArmMachine, ArmCallsAnExport(),
                              {"COREDLL.dll#528", "COREDLL.dll#530", "COREDLL.dll#529"}),
                    u"", Exits, TinyPathLength, "", 0},
            // An export the library has not: no address, and a call through
            // the null it gives is a crash at 0.
            RunCase{"X86CallsAMissingExport",
                    TinyImage(X86, X86CallsAnExport("CreateFileW"),
                              {"KERNEL32.dll!LoadLibraryW", "KERNEL32.dll!GetProcAddress",
                               "KERNEL32.dll!FreeLibrary"}),
                    u"", Crashes, sim::AccessViolation, "execution of unmapped memory", 0, 0,
                    runner::Emulator::ArmCore::StrongArm, "a library was left loaded"},
            // A call to an address among the thunks that nothing gave.
            RunCase{"CallIntoTheThunks",
                    TinyImage(X86, Join({{0xB8}, Le32(runner::Thunks + 0x100), {0xFF, 0xD0}})), u"",
                    Crashes, sim::AccessViolation,
                    "an address that no import and no GetProcAddressW gave",
                    runner::Thunks + 0x100},

            // A far jump through a register, reached by a jump into the middle of
            // another instruction: the emulator would abort the process on it.
            RunCase{"X86FarJumpThroughARegister", TinyImage(X86, {0xEB, 0xFF, 0xEF, 0xC3}), u"",
                    Refused, sim::BadExeFormat, "a far call or jump through a register", 0},
            RunCase{"X86FarCallThroughARegister", TinyImage(X86, {0xFF, 0xD8, 0xC3}), u"", Refused,
                    sim::BadExeFormat, "(FF D8)", 0},
            RunCase{"NotAnImage", Bytes{'h', 'e', 'l', 'l', 'o'}, u"", Refused, sim::BadExeFormat,
                    "no MZ header", 0},
            RunCase{"Truncated", Shortened(TinyImage(X86, {0xC3}), 1), u"", Refused,
                    sim::BadExeFormat, "past the end of the file", 0},
            // The loader refuses an image needing a later system than the
            // device's, and compares the major version before the minor one.
            RunCase{"ArmNeedsLaterSystem", Needing(TinyImage(ArmMachine, Arm({0xE1A0F00E})), 5, 0),
                    u"", Refused, sim::BadExeFormat,
                    "it needs Windows CE 5.0 and the device has 4.20, so it is not a valid "
                    "application here",
                    0, 0, runner::Emulator::ArmCore::StrongArm, "", 4, 20},
            RunCase{"ArmNeedsNewerMajor", Needing(TinyImage(ArmMachine, Arm({0xE1A0F00E})), 3, 0),
                    u"", Refused, sim::BadExeFormat, "needs Windows CE 3.0 and the device has 2.11",
                    0, 0, runner::Emulator::ArmCore::StrongArm, "", 2, 11},
            RunCase{"ArmNeedsThisSystem", Needing(TinyImage(ArmMachine, Arm({0xE1A0F00E})), 4, 20),
                    u"", Exits, ArmBase, "", 0, 0, runner::Emulator::ArmCore::StrongArm, "", 4, 20},
            RunCase{"ArmNeedsOlderSystem", Needing(TinyImage(ArmMachine, Arm({0xE1A0F00E})), 4, 21),
                    u"", Exits, ArmBase, "", 0, 0, runner::Emulator::ArmCore::StrongArm, "", 5, 1},
            // An image of another subsystem (2, the desktop's GUI) counts as
            // needing 1.0, whatever version it names, as the kernel's loader
            // has it.
            RunCase{"ArmOfAnotherSubsystemNeedsOneZero",
                    Needing(TinyImage(ArmMachine, Arm({0xE1A0F00E})), 5, 0, 2), u"", Exits, ArmBase,
                    "", 0, 0, runner::Emulator::ArmCore::StrongArm, "", 2, 11},
            RunCase{"OtherMachine", WithBytes(TinyImage(X86, {0xC3}), 0x44, {0xF0, 0x01}), u"",
                    Refused, sim::BadExeFormat,
                    "it is an image for machine 0x1F0, and this device's processor, 2577 "
                    "(StrongARM), runs ARM images",
                    0},
            // The loader runs images for its processor's machine only: the
            // desktop's on an ARM device, the device's on an x86 one, are not
            // valid applications there.
            RunCase{"X86OnArmDevice", TinyImage(X86, {0xC3}), u"", Refused, sim::BadExeFormat,
                    "it is an i386 image, and this device's processor, 2577 (StrongARM), runs ARM "
                    "images, so it is not a valid application here",
                    0, 0, runner::Emulator::ArmCore::StrongArm, "", 4, 0, 2577},
            RunCase{"ArmOnX86Device", TinyImage(ArmMachine, Arm({0xE1A0F00E})), u"", Refused,
                    sim::BadExeFormat,
                    "it is an ARM image, and this device's processor, 586 (Pentium), runs i386 "
                    "images",
                    0, 0, runner::Emulator::ArmCore::StrongArm, "", 4, 0, 586},
            RunCase{"ArmOnXScale", TinyImage(ArmMachine, Arm({0xE1A0F00E})), u"", Exits, ArmBase,
                    "", 0, 0, runner::Emulator::ArmCore::StrongArm, "", 4, 0, 1824},
            RunCase{"MipsOnMipsDevice", WithBytes(TinyImage(X86, {0xC3}), 0x44, {0x66, 0x01}), u"",
                    Refused, sim::BadExeFormat,
                    "it is MIPS code, and the emulator runs ARM and i386 code only", 0, 0,
                    runner::Emulator::ArmCore::StrongArm, "", 4, 0, 4000},
            RunCase{"UnknownProcessor", TinyImage(ArmMachine, Arm({0xE1A0F00E})), u"", Refused,
                    sim::BadExeFormat,
                    "this device's processor, 1, runs no kind of image the loader knows", 0, 0,
                    runner::Emulator::ArmCore::StrongArm, "", 4, 0, 1},
            // A processor winnt.h names, whose images no loader here runs.
            RunCase{"PowerPcProcessor", TinyImage(ArmMachine, Arm({0xE1A0F00E})), u"", Refused,
                    sim::BadExeFormat,
                    "this device's processor, 601 (PowerPC 601), runs no kind of image the "
                    "loader knows",
                    0, 0, runner::Emulator::ArmCore::StrongArm, "", 4, 0, 601},
            RunCase{"SectionPastImage", WithBytes(TinyImage(X86, {0xC3}), Optional + 57, {0x20}),
                    u"", Refused, sim::BadExeFormat, "extends past the image size", 0},
            // Only 0x200 of .text's raw data are loaded (its size in memory), but
            // all of them must be in the file.
            RunCase{"RawSizePastTheFile",
                    WithBytes(TinyImage(X86, {0xC3}), SectionTable + 16, {0x00, 0xFE, 0xFF, 0xFF}),
                    u"", Refused, sim::BadExeFormat,
                    "section 1 (.text) has its data past the end of the file", 0},

            // What user mode may do: the flags of cpsr, a privileged instruction
            // whose condition fails, popf (which leaves the interrupt flag).
            RunCase{"ArmMsrCpsrFlags", TinyImage(ArmMachine, Arm({0xE328F4F0, 0xE1A0F00E})), u"",
                    Exits, ArmBase, "", 0},
            RunCase{"ArmMcrNotTaken",
                    TinyImage(ArmMachine, Arm({0xE1500000, 0x1E010F10, 0xE1A0F00E})), u"", Exits,
                    ArmBase, "", 0},
            RunCase{"ArmSwiNotTaken",
                    TinyImage(ArmMachine, Arm({0xE1500000, 0x1F000123, 0xE1A0F00E})), u"", Exits,
                    ArmBase, "", 0},
            RunCase{"X86Popf", TinyImage(X86, Join({Push(0x3200), {0x9D, 0xB8, 7, 0, 0, 0, 0xC3}})),
                    u"", Exits, 7, "", 0},
            // Not privileged, and not runnable: another coprocessor, which the
            // device has not; a segment the program may not load; a breakpoint.
            RunCase{"ArmOtherCoprocessor", TinyImage(ArmMachine, Arm({0xE3A00005, 0xEE000710})),
                    u"", Crashes, sim::IllegalInstruction, "undefined instruction",
                    ArmBase + Code + 4},
            RunCase{"X86KernelSegment", TinyImage(X86, {0xB9, 8, 0, 0, 0, 0x8E, 0xD9}), u"",
                    Crashes, sim::IllegalInstruction, "unhandled processor exception 13",
                    X86Base + Code + 5},
            RunCase{"X86Breakpoint", TinyImage(X86, {0x90, 0xCC}), u"", Crashes,
                    sim::IllegalInstruction, "unhandled processor exception 3",
                    X86Base + Code + 2}};
        for (const Privileged& p : X86PrivilegedCases()) {
            all.push_back(RunCase{p.name, TinyImage(X86, p.code), u"", Crashes,
                                  sim::PrivilegedInstruction, "privileged instruction",
                                  X86Base + Code + p.at});
        }
        for (const Privileged& p : ArmPrivilegedCases()) {
            all.push_back(RunCase{p.name, TinyImage(ArmMachine, p.code), u"", Crashes,
                                  sim::PrivilegedInstruction, "privileged instruction",
                                  ArmBase + Code + p.at});
        }
        return all;
    }();
    return cases;
}

} // namespace cases
