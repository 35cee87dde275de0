// The image runner on tiny hand-made images (tests/image_cases.h): how runs
// end (exit codes, the loader's arguments, crashes and their addresses), how
// imports are bound, and how malformed files are refused.
#include "device/device.h"
#include "runner/image_program.h"
#include "runner/pe_image.h"
#include "tests/image_cases.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using cases::Bytes;
using cases::RunCase;

class ImageRuns : public testing::TestWithParam<RunCase> {};

void ExpectRun(runner::ImageProgram& program, const RunCase& c) {
    sim::Config kind;
    kind.osMajor = c.osMajor;
    kind.osMinor = c.osMinor;
    kind.processor = c.processor != 0 ? c.processor : cases::ProcessorFor(c.image);
    sim::Device device(kind);
    program.armCore = c.core;
    program.budget = c.budget != 0 ? c.budget : runner::DefaultInstructionBudget;
    sim::Entry file{u"\\Windows\\tiny.exe", sim::AttrArchive, sim::DefaultEntryTime,
                    std::make_shared<const Bytes>(c.image)};
    device.Put(file);
    const sim::Outcome outcome = program.Run(device, file.path, &file, c.args);
    EXPECT_EQ(outcome.started, c.ends != cases::Refused) << outcome.reason;
    EXPECT_EQ(outcome.crashed, c.ends == cases::Crashes) << outcome.reason;
    EXPECT_EQ(outcome.code, c.code) << outcome.reason;
    EXPECT_NE(outcome.reason.find(c.reason), std::string::npos) << outcome.reason;
    if (c.ends == cases::Crashes) {
        EXPECT_EQ(outcome.address, c.address) << std::hex << outcome.address;
    } else if (c.ends == cases::Exits) {
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

INSTANTIATE_TEST_SUITE_P(Tiny, ImageRuns, testing::ValuesIn(cases::Cases()),
                         [](const testing::TestParamInfo<RunCase>& info) {
                             return std::string(info.param.name);
                         });

sim::Outcome RunTiny(runner::ImageProgram& program, const Bytes& image,
                     const std::u16string& args = u"") {
    sim::Config kind;
    kind.processor = cases::ProcessorFor(image);
    sim::Device device(kind);
    sim::Entry file{u"\\Windows\\tiny.exe", sim::AttrArchive, sim::DefaultEntryTime,
                    std::make_shared<const Bytes>(image)};
    device.Put(file);
    return program.Run(device, file.path, &file, args);
}

// The deepest the stack pointer went in a run, at any instruction: within a
// block too (the frame below is taken and given back without a branch), and
// with the return address the loader pushes for x86. A stack pointer moved
// out of the stack does not count.
TEST(ImageProgram, RecordsTheDeepestStack) {
    runner::ImageProgram program;
    struct Depth {
        const char* what;
        Bytes image;
        std::uint64_t stack;
    };
    const Depth depths[] = {
        {"ARM frame",
         cases::TinyImage(cases::ArmMachine,
                          cases::Arm({0xE92D4FF0,    // stmfd sp!, {r4-r11, lr}
                                      0xE24DDC01,    // sub sp, sp, #256
                                      0xE28DDC01,    // add sp, sp, #256
                                      0xE8BD8FF0})), // ldmfd sp!, {r4-r11, pc}
         36 + 256},
        {"ARM leaf", cases::TinyImage(cases::ArmMachine, cases::Arm({0xE1A0F00E})), 0},
        {"x86 frame",
         cases::TinyImage(cases::X86, {0x81, 0xEC, 0, 1, 0, 0, 0x81, 0xC4, 0, 1, 0, 0, 0xC3}),
         4 + 256},
        {"x86 stack moved to data",
         cases::TinyImage(cases::X86,
                          cases::Join({{0x89, 0xE0, 0xBC},
                                       cases::Le32(cases::X86Base + cases::Data + 0x800),
                                       {0x6A, 1, 0x89, 0xC4, 0xC3}})),
         4},
    };
    for (const Depth& depth : depths) {
        const sim::Outcome outcome = RunTiny(program, depth.image);
        EXPECT_FALSE(outcome.crashed) << depth.what << ": " << outcome.reason;
        EXPECT_EQ(outcome.stack, depth.stack) << depth.what;
    }
}

// Which instructions ran, relative to the image base, gathered over runs:
// the branch skips an instruction when the command line is empty, and the
// second run takes it. x86 instructions are whole, whatever their length.
TEST(ImageProgram, RecordsWhichInstructionsRan) {
    using Ranges = std::vector<runner::Emulator::Range>;
    runner::ImageProgram program;
    const Bytes arm = cases::TinyImage(cases::ArmMachine,
                                       cases::Arm({0xE1D210B0,    // ldrh r1, [r2]
                                                   0xE3510000,    // cmp r1, #0
                                                   0x0A000000,    // beq done
                                                   0xE3A00001,    // mov r0, #1
                                                   0xE1A0F00E})); // done: mov pc, lr
    EXPECT_EQ(program.Executed(cases::ArmMachine), Ranges());
    RunTiny(program, arm);
    EXPECT_EQ(program.Executed(cases::ArmMachine), (Ranges{{0x1000, 0x100C}, {0x1010, 0x1014}}));
    EXPECT_EQ(RunTiny(program, arm, u"x").code, 1u);
    EXPECT_EQ(program.Executed(cases::ArmMachine), (Ranges{{0x1000, 0x1014}}));

    // mov eax, 7; jmp over the nop; nop; ret
    RunTiny(program, cases::TinyImage(cases::X86, {0xB8, 7, 0, 0, 0, 0xEB, 0x01, 0x90, 0xC3}));
    EXPECT_EQ(program.Executed(cases::X86), (Ranges{{0x1000, 0x1007}, {0x1008, 0x1009}}));
    EXPECT_EQ(program.Executed(cases::ArmMachine), (Ranges{{0x1000, 0x1014}}));
}

// A string is read from the image when asked for, with its own length.
TEST(PeImage, StringsAreReadWhenAskedFor) {
    const Bytes bytes = cases::WithStrings(cases::TinyImage(cases::X86, {0xC3}),
                                           cases::Units({0, 2, 'O', 'K', 3, 'a', 'b', 'c', 4}));
    runner::PeImage image;
    std::string error;
    ASSERT_TRUE(runner::ReadPeImage(bytes, image, error)) << error;
    std::u16string text = u"left over";
    EXPECT_TRUE(runner::ReadImageString(image, 1, text));
    EXPECT_EQ(text, u"OK");
    EXPECT_TRUE(runner::ReadImageString(image, 2, text));
    EXPECT_EQ(text, u"abc");
    for (std::uint32_t none : {0u, 3u, 4u, 16u, 0x10001u}) {
        text = u"left over";
        EXPECT_FALSE(runner::ReadImageString(image, none, text)) << none;
        EXPECT_EQ(text, u"") << none;
    }
}

// Damaged images are read or refused with a reason, and never read outside
// their bytes (the sanitizer builds catch that); strings are read from what
// was accepted, or found missing.
TEST(PeImage, DamagedImagesAreReadOrRefused) {
    const Bytes original = cases::WithStrings(
        cases::TinyImage(cases::X86, {0xC3}, {"KERNEL32.dll!Sleep", "USER32.dll!MessageBoxW"}),
        cases::Units({0, 2, 'O', 'K'}));
    std::mt19937 random(2577);
    int refused = 0;
    for (int round = 0; round < 4000; ++round) {
        Bytes bytes = original;
        if (round < 0x800) {
            bytes.resize(round); // every truncation
        } else {
            for (int flips = 0; flips < 4; ++flips) {
                bytes[random() % 0x800] = static_cast<std::uint8_t>(random());
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
        std::u16string text;
        if (runner::ReadImageString(image, 1, text)) {
            EXPECT_FALSE(text.empty());
        }
    }
    EXPECT_GT(refused, 0x800 - 1);
}

} // namespace
