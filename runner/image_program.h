// A program run on the simulated device from its PE image, in an emulated
// processor: the ARM device image or the i386 desktop image, its imports
// bound to the device's operations.
#pragma once

#include "device/device.h"
#include "device/process.h"
#include "runner/emulator.h"
#include "runner/image_calls.h"
#include "runner/pe_image.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace runner {

// Far above what the program needs for any run (at most some 12 000), and
// few enough that a program caught in a loop ends within a fraction of a
// second (each instruction is counted, recorded and checked as it runs).
constexpr std::uint64_t DefaultInstructionBudget = 5000000;
// Far above the calls to the platform the program makes in a run (about 50)
// and the bytes of strings and records copied through them (a few
// thousand): a run past either ends as a crash, so that a program that calls
// in a loop cannot pile up the device's events without end.
constexpr std::uint32_t DefaultCallBound = 10000;
constexpr std::uint64_t DefaultCopyBound = 1u << 20;

// Where the runner puts what is not the image (the image may not overlap it):
// the stack ends at StackTop, with an unmapped page below its reserve; the
// command line is at ProcessData, what the device hands the program (a
// document it answers with) in the heap from Heap on, and the thunks of the
// imports, and of the exports whose addresses GetProcAddressW gives, at
// Thunks; the emulator's SystemPage is above them.
constexpr std::uint32_t StackTop = 0x7FF00000u;
constexpr std::uint32_t ProcessData = 0x7FF10000u;
constexpr std::uint32_t Heap = 0x7FF20000u;
constexpr std::uint32_t Thunks = 0x7FFE0000u;

class ImageProgram : public sim::Launcher {
  public:
    // Runs the image in file->content: loads it, binds its imports, maps it
    // into an emulated processor and runs it. A file that holds nothing or
    // no image, an image the device's loader refuses (another machine, a
    // later version of the system, an import the device does not export),
    // or one this runner cannot lay out or emulate is not started, with the
    // reason. A call to the platform past callBound, or one that copies more
    // than copyBound bytes in the run, ends it as a crash with
    // sim::QuotaExceeded at the address the call would return to.
    sim::Outcome Run(sim::Device& device, const std::u16string& path, const sim::Entry* file,
                     const std::u16string& args) override;

    // The instructions that have run in the images of a machine (MachineArm,
    // MachineI386) over every run so far: sorted ranges relative to the
    // image's base.
    std::vector<Emulator::Range> Executed(std::uint16_t machine) const;

    std::uint64_t budget = DefaultInstructionBudget;
    std::uint32_t callBound = DefaultCallBound;
    std::uint64_t copyBound = DefaultCopyBound;
    Emulator::ArmCore armCore = Emulator::ArmCore::StrongArm;

  private:
    // An image loaded for a run: read, its imports bound, its command line.
    struct Loaded {
        PeImage image;
        std::vector<Binding> bindings; // in the order of image.imports
        std::u16string commandLine;
        // The device's facts the loader's refusal rested on.
        std::vector<std::u16string> refused;
    };
    // Each step says why the image is not started, or nothing.
    std::string Load(const sim::Device& device, const std::u16string& path, const sim::Entry* file,
                     const std::u16string& args, Loaded& program) const;
    std::string Bind(const sim::Device& device, Loaded& program) const;
    // Lays the image, its import thunks, its command line and its stack out
    // in the emulator's memory, with the thunks' page on the host side; false,
    // with the crash, when it cannot.
    bool Map(Emulator& cpu, const Loaded& program, sim::Outcome& crash,
             std::uint8_t*& thunks) const;
    sim::Outcome Execute(Emulator& cpu, const Loaded& program, std::uint8_t* thunks);

    // An emulator for a run: one kept from an earlier run, reset, when there
    // is one (opening an emulator costs more than most runs), else a new one.
    // A run started from within a run gets its own.
    std::unique_ptr<Emulator> Take(Emulator::Machine machine);
    void Keep(std::unique_ptr<Emulator> emulator);

    std::vector<std::unique_ptr<Emulator>> idle_;
    std::map<std::uint16_t, std::vector<Emulator::Range>> executed_;
};

} // namespace runner
