// The device's loader: whether it starts an image (the machine it is for,
// the version of the system it needs, what it imports), which of the
// device's exports each import names, and what a running program's module
// answers: its path (GetModuleFileName) and its string table (LoadString).
// Whatever runs programs (runner/) asks it and obeys.
#pragma once

#include "device/answer.h"
#include "device/config.h"
#include "device/operations.h"
#include "device/process.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Machines, as an image's header numbers them.
constexpr std::uint16_t MachineI386 = 0x14C;
constexpr std::uint16_t MachineMips = 0x166; // MIPS R4000, little-endian
constexpr std::uint16_t MachineSh3 = 0x1A2;
constexpr std::uint16_t MachineSh3e = 0x1A4;
constexpr std::uint16_t MachineSh4 = 0x1A6;
constexpr std::uint16_t MachineArm = 0x1C0;
// "ARM", "i386", "MIPS", "SH3", "SH3E", "SH4", or the number in hexadecimal.
std::string MachineName(std::uint16_t machine);
// "an ARM image", "a MIPS image", "an image for machine 0x1F0".
std::string ImageFor(std::uint16_t machine);

// The subsystem of an image built for Windows CE's GUI.
constexpr std::uint16_t SubsystemWindowsCeGui = 9;

// What the loader reads of an image before it starts it.
struct ImageFacts {
    std::uint16_t machine = 0;
    std::uint16_t subsystem = 0;
    // The version of the system it needs (its subsystem version).
    std::uint16_t subsystemMajor = 0;
    std::uint16_t subsystemMinor = 0;
};

// Whether the loader starts an image: why not (empty: it does), and the
// facts of this kind of device that decided it, as fact:: names them.
struct LoadDecision {
    std::string refusal;
    std::vector<std::u16string> facts = {};
};

// One procedure an image imports: by name, or by ordinal.
struct Import {
    std::string dll;
    bool byOrdinal = false;
    std::string name;          // by name
    std::uint16_t ordinal = 0; // by ordinal
};

// "GDI32.dll!DrawTextW" or "COREDLL.dll ordinal 999".
std::string ImportName(const Import& import);

class Loader {
  public:
    explicit Loader(const Config& config) : config_(config) {}

    // Whether the device starts an image with these facts. It runs images
    // for its processor's machine that need a version of the system no
    // later than the device's. Only an image for Windows CE's GUI (subsystem
    // 9) says which version it needs; any other counts as needing 1.0, as
    // the kernel's loader has it (docs/devices.md).
    LoadDecision Decide(const ImageFacts& image) const;
    // Why it does not start it; empty when it does.
    std::string Refusal(const ImageFacts& image) const {
        return Decide(image).refusal;
    }
    // Why the device does not start a program file that holds nothing.
    static std::string EmptyFile();
    // The operation a device image's import names in the device's core
    // library (COREDLL, by ordinal or by name); false, with why, when the
    // device exports no such thing.
    bool Resolve(const Import& import, Op& op, std::string& why) const;

    // The running program's path as a buffer of `size` units takes it: cut
    // short, when it does not fit, to size - 1 units, with the length the
    // call answers (the size, when cut).
    Answer ModuleFileName(const Process& running, platform::HINSTANCE module, platform::DWORD size,
                          std::u16string& path, platform::DWORD& length) const;
    // String id of the running program's string table, cut to size - 1 units.
    Answer String(const Process& running, platform::HINSTANCE instance, platform::UINT id, int size,
                  std::u16string& text) const;

  private:
    const Config& config_;
};

} // namespace sim
