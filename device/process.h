// A program running on the simulated device, and whatever runs it: the
// program built for the host, or an image in an emulated processor. Either
// reaches the device only through the platform operations.
#pragma once

#include "platform/platform.h"
#include "device/store.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace sim {

class Device;

// What the device knows of the program that runs.
struct Process {
    std::u16string path;              // its file: what GetModuleFileNameW answers
    std::u16string args;              // the command line it was started with
    platform::HINSTANCE instance = 0; // its module handle
    // Its string table, for LoadStringW: string id, read from the program's
    // module when asked for. False when there is none (or it cannot be read).
    std::function<bool(platform::UINT id, std::u16string& text)> loadString;
};

// How a run of a program ended: with an exit code, or in a crash at an
// address; or it never began, the loader refusing the file. Whatever runs
// programs answers with it (the emulator calls it its Ending).
struct Outcome {
    bool crashed = false;
    std::uint32_t code = 0; // the exit code; for a crash, the exception code
    std::string reason;     // a crash's, in a few words; or why the file was not started
    std::uint64_t address = 0;
    std::uint64_t instructions = 0; // emulated instructions; 0 for a native run
    std::uint64_t stack = 0;        // an image's deepest stack use, in bytes
    bool started = true;
    std::vector<std::u16string> facts = {}; // not started: the device's facts the refusal rests on
};

// ERROR_BAD_EXE_FORMAT: what a start the loader refuses answers.
constexpr std::uint32_t BadExeFormat = 193;

// A start the loader refuses, for that reason, resting on those facts.
inline Outcome NotStarted(std::string reason, std::vector<std::u16string> facts = {}) {
    Outcome outcome;
    outcome.code = BadExeFormat;
    outcome.reason = std::move(reason);
    outcome.started = false;
    outcome.facts = std::move(facts);
    return outcome;
}

// Exception codes a crashed run ends with, as the platform numbers them.
constexpr std::uint32_t AccessViolation = 0xC0000005u;
constexpr std::uint32_t StackOverflow = 0xC00000FDu;
constexpr std::uint32_t IllegalInstruction = 0xC000001Du;
constexpr std::uint32_t PrivilegedInstruction = 0xC0000096u; // only the kernel may run it
constexpr std::uint32_t BudgetExhausted = 0xC0000420u;       // ran past its instruction budget
constexpr std::uint32_t QuotaExceeded = 0xC0000044u;         // more calls to the platform, or bytes
                                                             // through them, than a run may make

class Launcher {
  public:
    virtual ~Launcher() = default;
    // Runs the program in `file` (null: there is no such file on the device)
    // to its end, started as `path` with the command line `args`, unless the
    // device's loader refuses it. The run begins when it makes the device
    // current with Device::Use.
    virtual Outcome Run(Device& device, const std::u16string& path, const Entry* file,
                        const std::u16string& args) = 0;
};

} // namespace sim
