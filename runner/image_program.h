// A program run on the simulated device from its PE image, in an emulated
// processor: the ARM device image or the i386 desktop image, its imports
// bound to the device's operations.
#pragma once

#include "device/device.h"
#include "device/process.h"
#include "runner/emulator.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace runner {

// Far above what the program needs for any run (tens of thousands).
constexpr std::uint64_t DefaultInstructionBudget = 50000000;

// ERROR_BAD_EXE_FORMAT: the code of a start that finds no image it can run
// in the file (empty, malformed, or for another machine).
constexpr std::uint32_t BadExeFormat = 193;

// Where the runner puts what is not the image (the image may not overlap it):
// the stack ends at StackTop, with an unmapped page below its reserve; the
// command line is at ProcessData, and the imports' thunks are at Thunks.
constexpr std::uint32_t StackTop = 0x7FF00000u;
constexpr std::uint32_t ProcessData = 0x7FF10000u;
constexpr std::uint32_t Thunks = 0x7FFE0000u;

class ImageProgram : public sim::Launcher {
  public:
    // Runs the image in file->content. A file that holds nothing, no image
    // for ARM or i386, or an ARM image that needs a later version of the
    // system than the device's, ends at once as a crash with BadExeFormat and
    // the reason; an import the runner does not know ends it as a crash with
    // sim::ProcedureNotFound before any instruction runs.
    sim::Outcome Run(sim::Device& device, const std::u16string& path, const sim::Entry* file,
                     const std::u16string& args) override;

    std::uint64_t budget = DefaultInstructionBudget;
    Emulator::ArmCore armCore = Emulator::ArmCore::StrongArm;

  private:
    // An emulator for a run: one kept from an earlier run, reset, when there
    // is one (opening an emulator costs more than most runs), else a new one.
    // A run started from within a run gets its own.
    std::unique_ptr<Emulator> Take(Emulator::Machine machine);
    void Keep(std::unique_ptr<Emulator> emulator);

    std::vector<std::unique_ptr<Emulator>> idle_;
};

} // namespace runner
