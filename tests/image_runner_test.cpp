// The image runner on tiny hand-made images: how runs end (exit codes, the
// loader's arguments, crashes and their addresses) and how malformed files are
// refused.
#include "device/device.h"
#include "runner/image_program.h"
#include "runner/pe_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t X86Base = 0x400000;
constexpr std::uint32_t ArmBase = 0x10000;
// Where the tiny image keeps things, relative to its base.
constexpr std::uint32_t Code = 0x1000;
constexpr std::uint32_t Slots = 0x2100; // import i's address table entry: Slots + 8 * i
constexpr std::uint32_t Data = 0x3000;  // a writable page

void Put16(Bytes& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, value >> 16);
}

void PutSection(Bytes& bytes, std::size_t at, const char* name, std::uint32_t address,
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
// for each "DLL!name", a zeroed writable page at Data, a 64 KB stack.
Bytes TinyImage(std::uint16_t machine, const Bytes& code,
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
    const std::size_t opt = 0x58;
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
    Put32(bytes, opt + 96 + 8, 0x2000); // import directory
    Put32(bytes, opt + 96 + 12, 20 * static_cast<std::uint32_t>(imports.size() + 1));
    PutSection(bytes, 0x138, ".text", Code, 0x200, 0x200, 0x200, 0x60000020);
    PutSection(bytes, 0x160, ".idata", 0x2000, 0x400, 0x400, 0x400, 0xC0000040);
    PutSection(bytes, 0x188, ".bss", Data, 0x1000, 0, 0, 0xC0000080);
    std::memcpy(&bytes[0x200], code.data(), code.size());
    for (std::size_t i = 0; i < imports.size(); ++i) {
        const std::size_t bang = imports[i].find('!');
        const std::string dll = imports[i].substr(0, bang);
        const std::string name = imports[i].substr(bang + 1);
        const std::uint32_t slot = Slots + 8 * static_cast<std::uint32_t>(i);
        const std::uint32_t lookup = 0x2180 + 8 * static_cast<std::uint32_t>(i);
        const std::uint32_t names = 0x2200 + 64 * static_cast<std::uint32_t>(i);
        const std::size_t descriptor = 0x400 + 20 * i;
        Put32(bytes, descriptor, lookup);
        Put32(bytes, descriptor + 12, names + 40);
        Put32(bytes, descriptor + 16, slot);
        Put32(bytes, 0x400 + (lookup - 0x2000), names);
        Put32(bytes, 0x400 + (slot - 0x2000), names);
        std::memcpy(&bytes[0x400 + (names - 0x2000) + 2], name.data(), name.size());
        std::memcpy(&bytes[0x400 + (names - 0x2000) + 40], dll.data(), dll.size());
    }
    return bytes;
}

Bytes Le32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

Bytes Arm(std::initializer_list<std::uint32_t> words) {
    Bytes code;
    for (std::uint32_t word : words) {
        Bytes le = Le32(word);
        code.insert(code.end(), le.begin(), le.end());
    }
    return code;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// x86: call dword [import i's slot]
Bytes CallImport(int i) {
    return Join({{0xFF, 0x15}, Le32(X86Base + Slots + 8 * i)});
}

Bytes Push(std::uint32_t value) {
    return Join({{0x68}, Le32(value)});
}

struct RunCase {
    const char* name;
    Bytes image;
    std::u16string args;
    bool crashed;
    std::uint32_t code;
    std::string reason;       // contained in the outcome's; "" for none
    std::uint64_t address;    // checked for crashes
    std::uint64_t budget = 0; // 0: the default
    runner::Emulator::ArmCore core = runner::Emulator::ArmCore::StrongArm;
    std::string violation = ""; // the misuse the device records; "" for none
    std::uint32_t osMajor = 4;  // the device's version
    std::uint32_t osMinor = 0;
};

std::ostream& operator<<(std::ostream& out, const RunCase& c) {
    return out << c.name;
}

class ImageRuns : public testing::TestWithParam<RunCase> {};

void ExpectRun(runner::ImageProgram& program, const RunCase& c) {
    sim::Config kind;
    kind.osMajor = c.osMajor;
    kind.osMinor = c.osMinor;
    sim::Device device(kind);
    program.armCore = c.core;
    program.budget = c.budget != 0 ? c.budget : runner::DefaultInstructionBudget;
    sim::Entry file{u"\\Windows\\tiny.exe", sim::AttrArchive, sim::DefaultEntryTime,
                    std::make_shared<const Bytes>(c.image)};
    device.Put(file);
    const sim::Outcome outcome = program.Run(device, file.path, &file, c.args);
    EXPECT_EQ(outcome.crashed, c.crashed) << outcome.reason;
    EXPECT_EQ(outcome.code, c.code) << outcome.reason;
    EXPECT_NE(outcome.reason.find(c.reason), std::string::npos) << outcome.reason;
    if (c.crashed) {
        EXPECT_EQ(outcome.address, c.address) << std::hex << outcome.address;
    } else {
        EXPECT_GT(outcome.instructions, 0u);
    }
    if (c.violation.empty()) {
        EXPECT_TRUE(device.Violations().empty()) << device.Violations()[0];
    } else {
        ASSERT_EQ(device.Violations().size(), 1u);
        EXPECT_NE(device.Violations()[0].find(c.violation), std::string::npos)
            << device.Violations()[0];
    }
}

// The cases run one after another on one program, which keeps its emulators
// from run to run: each ends as it would alone, so nothing of a run (its code,
// its memory, how it ended) is left for the next at the same addresses.
TEST_P(ImageRuns, EndAsExpected) {
    static runner::ImageProgram program;
    ExpectRun(program, GetParam());
}

const std::uint16_t X86 = runner::MachineI386;
const std::uint16_t ArmMachine = runner::MachineArm;
const std::uint32_t StackLow = runner::StackTop - 0x10000;

Bytes WithBytes(Bytes image, std::size_t at, std::initializer_list<std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<long>(at));
    return image;
}

// The image with the subsystem version it needs: the version of the system.
Bytes Needing(Bytes image, std::uint8_t major, std::uint8_t minor) {
    return WithBytes(std::move(image), 0x58 + 48, {major, 0, minor, 0});
}

Bytes Shortened(Bytes image, std::size_t by) {
    image.resize(image.size() - by);
    return image;
}

const std::vector<RunCase>& Cases() {
    static const std::vector<RunCase> cases = {
        // How a run ends well: the entry point returns, or the process exits.
        RunCase{"X86Returns", TinyImage(X86, {0xB8, 7, 0, 0, 0, 0xC3}), u"", false, 7, "", 0},
        RunCase{"X86ExitProcess",
                TinyImage(X86, Join({{0x6A, 3}, CallImport(0)}), {"KERNEL32.dll!ExitProcess"}), u"",
                false, 3, "", 0},
        // The desktop command line as a shell builds it: the quoted path first.
        RunCase{"X86CommandLine",
                TinyImage(X86, Join({CallImport(0), {0x0F, 0xB7, 0x40, 0x02, 0xC3}}),
                          {"KERNEL32.dll!GetCommandLineW"}),
                u"install", false, u'\\', "", 0},
        // WinMain(instance, 0, command line, SW_SHOWNORMAL) on the device.
        RunCase{"ArmInstance", TinyImage(ArmMachine, Arm({0xE1A0F00E})), u"", false, ArmBase, "",
                0},
        RunCase{"ArmCommandLine", TinyImage(ArmMachine, Arm({0xE1D200B0, 0xE1A0F00E})), u"install",
                false, u'i', "", 0},
        RunCase{"ArmShow", TinyImage(ArmMachine, Arm({0xE1A00003, 0xE1A0F00E})), u"", false, 1, "",
                0},
        // StrongARM is ARMv4: BX is undefined there, and runs on a later core.
        RunCase{"ArmBxOnStrongArm", TinyImage(ArmMachine, Arm({0xE12FFF1E})), u"", true,
                sim::IllegalInstruction, "undefined instruction", ArmBase + Code},
        RunCase{"ArmBxOnArm926", TinyImage(ArmMachine, Arm({0xE12FFF1E})), u"", false, ArmBase, "",
                0, 0, runner::Emulator::ArmCore::Arm926},
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
                u"", false, u'\\', "", 0},

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
                u"", false, 0, "", 0, 0, runner::Emulator::ArmCore::StrongArm,
                "without a terminator within 260 units"},

        // Crashes, with the address.
        RunCase{"ReadOfUnmapped", TinyImage(X86, {0xA1, 0x34, 0x12, 0, 0}), u"", true,
                sim::AccessViolation, "read of unmapped memory", 0x1234},
        RunCase{"WriteToCode", TinyImage(X86, Join({{0xA3}, Le32(X86Base + Code)})), u"", true,
                sim::AccessViolation, "write to protected memory", X86Base + Code},
        RunCase{"ExecutionOfData",
                TinyImage(X86, Join({{0xB8}, Le32(X86Base + Data), {0xFF, 0xE0}})), u"", true,
                sim::AccessViolation, "execution of protected memory", X86Base + Data},
        RunCase{"ArmReadOfUnmapped", TinyImage(ArmMachine, Arm({0xE3A00C12, 0xE5900000})), u"",
                true, sim::AccessViolation, "read of unmapped memory", 0x1200},
        RunCase{"DeviceGivenUnmappedPath",
                TinyImage(X86, Join({Push(0x1234), CallImport(0)}), {"KERNEL32.dll!DeleteFileW"}),
                u"", true, sim::AccessViolation, "read of unmapped memory", 0x1234},
        RunCase{"DeviceWritesToCode",
                TinyImage(X86, Join({Push(260), Push(X86Base + Code), {0x6A, 0}, CallImport(0)}),
                          {"KERNEL32.dll!GetModuleFileNameW"}),
                u"", true, sim::AccessViolation, "write to protected memory", X86Base + Code},
        RunCase{"StackOverflow", TinyImage(X86, {0xE8, 0xFB, 0xFF, 0xFF, 0xFF}), u"", true,
                sim::StackOverflow, "stack overflow", StackLow - 4},
        RunCase{"ArmStackOverflow", TinyImage(ArmMachine, Arm({0xE52DE004, 0xEAFFFFFD})), u"", true,
                sim::StackOverflow, "stack overflow", StackLow - 4},
        RunCase{"Budget", TinyImage(X86, {0xEB, 0xFE}), u"", true, sim::BudgetExhausted,
                "budget of 1000 instructions", X86Base + Code, 1000},
        RunCase{"ArmBudget", TinyImage(ArmMachine, Arm({0xEAFFFFFE})), u"", true,
                sim::BudgetExhausted, "budget of 1000 instructions", ArmBase + Code, 1000},
        RunCase{"UndefinedInstruction", TinyImage(X86, {0x0F, 0x0B}), u"", true,
                sim::IllegalInstruction, "undefined instruction", X86Base + Code},
        RunCase{"UnknownImport", TinyImage(X86, {0xC3}, {"USER32.dll!DrawTextW"}), u"", true,
                sim::ProcedureNotFound, "unknown import USER32.dll!DrawTextW", X86Base + Slots},
        RunCase{"ImportFromAnotherSystem",
                TinyImage(ArmMachine, Arm({0xE1A0F00E}), {"KERNEL32.dll!Sleep"}), u"", true,
                sim::ProcedureNotFound, "unknown import KERNEL32.dll!Sleep", ArmBase + Slots},

        // Files that hold no image the device can run.
        RunCase{"Empty", Bytes(), u"", true, runner::BadExeFormat, "no image", 0},
        RunCase{"NotAnImage", Bytes{'h', 'e', 'l', 'l', 'o'}, u"", true, runner::BadExeFormat,
                "no MZ header", 0},
        RunCase{"Truncated", Shortened(TinyImage(X86, {0xC3}), 1), u"", true, runner::BadExeFormat,
                "past the end of the file", 0},
        // The loader refuses an image needing a later system than the
        // device's, and compares the major version before the minor one.
        RunCase{"ArmNeedsLaterSystem", Needing(TinyImage(ArmMachine, Arm({0xE1A0F00E})), 5, 0), u"",
                true, runner::BadExeFormat,
                "it needs Windows CE 5.0 and the device has 4.20, so it is not a valid "
                "application here",
                0, 0, runner::Emulator::ArmCore::StrongArm, "", 4, 20},
        RunCase{"ArmNeedsNewerMajor", Needing(TinyImage(ArmMachine, Arm({0xE1A0F00E})), 3, 0), u"",
                true, runner::BadExeFormat, "needs Windows CE 3.0 and the device has 2.11", 0, 0,
                runner::Emulator::ArmCore::StrongArm, "", 2, 11},
        RunCase{"ArmNeedsThisSystem", Needing(TinyImage(ArmMachine, Arm({0xE1A0F00E})), 4, 20), u"",
                false, ArmBase, "", 0, 0, runner::Emulator::ArmCore::StrongArm, "", 4, 20},
        RunCase{"ArmNeedsOlderSystem", Needing(TinyImage(ArmMachine, Arm({0xE1A0F00E})), 4, 21),
                u"", false, ArmBase, "", 0, 0, runner::Emulator::ArmCore::StrongArm, "", 5, 1},
        RunCase{"OtherMachine", WithBytes(TinyImage(X86, {0xC3}), 0x44, {0xF0, 0x01}), u"", true,
                runner::BadExeFormat, "machine 0x1F0", 0},
        RunCase{"ImportByOrdinal",
                WithBytes(TinyImage(X86, {0xC3}, {"KERNEL32.dll!Sleep"}), 0x583, {0x80}), u"", true,
                runner::BadExeFormat, "import by ordinal", 0},
        RunCase{"SectionPastImage", WithBytes(TinyImage(X86, {0xC3}), 0x58 + 57, {0x20}), u"", true,
                runner::BadExeFormat, "extends past the image size", 0}};
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Tiny, ImageRuns, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<RunCase>& info) {
                             return std::string(info.param.name);
                         });

// Damaged images are read or refused with a reason, and never read outside
// their bytes (the sanitizer builds catch that).
TEST(PeImage, DamagedImagesAreReadOrRefused) {
    const Bytes original = TinyImage(X86, {0xC3}, {"KERNEL32.dll!Sleep", "USER32.dll!MessageBoxW"});
    std::mt19937 random(2577);
    int refused = 0;
    for (int round = 0; round < 4000; ++round) {
        Bytes bytes = original;
        if (round < 0x800) {
            bytes.resize(round); // every truncation
        } else {
            for (int flips = 0; flips < 4; ++flips) {
                bytes[random() % 0x600] = static_cast<std::uint8_t>(random());
            }
        }
        runner::PeImage image;
        std::string error;
        if (!runner::ReadPeImage(bytes, image, error)) {
            EXPECT_FALSE(error.empty());
            ++refused;
            continue;
        }
        for (const runner::PeImport& import : image.imports) {
            EXPECT_LE(import.slot + 4ull, image.memory.size());
        }
    }
    EXPECT_GT(refused, 0x800 - 1);
}

} // namespace
