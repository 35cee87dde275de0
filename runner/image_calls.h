// The imports an image may call, bound to the simulated device's operations:
// each takes its arguments from the emulated processor, hands host copies of
// the guest's strings and records to the operation of that name, and copies
// what the operation wrote back into guest memory.
#pragma once

#include "device/loader.h"
#include "platform/platform.h"
#include "runner/emulator.h"
#include "runner/pe_image.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace runner {

// The longest command line a process can be started with, in units.
constexpr std::size_t MaxCommandLine = 32767;

struct Binding;

// What an import sees of the running image besides its processor.
struct ImageProcess {
    Emulator& cpu;
    std::uint16_t machine;
    std::uint32_t imageBase;
    std::uint32_t commandLine; // the guest copy GetCommandLineW answers
    // Bytes of strings handed to the device and of what it wrote back, so
    // far in the run, and how many the run may copy.
    std::uint64_t copied = 0;
    std::uint64_t copyBound = UINT64_MAX;
    // An address in emulated memory bound to what the device exports (known
    // by its address on the host), the same each time it is asked for; 0,
    // the run ended in a crash, when there is no room for another.
    std::function<std::uint32_t(platform::FARPROC host, const Binding& binding)> exportAddress;
    // Room of that many bytes in the process's heap, where the device puts
    // what it hands the program; 0, the run ended in a crash, when the heap
    // is full.
    std::function<std::uint32_t(std::uint32_t bytes)> allocate;
};

// Thrown by a call that would copy more than copyBound bytes in the run.
struct CopyBoundExceeded {};

struct Binding {
    // Makes the call; answers its result (0 for a call that has none). A
    // guest address it cannot reach ends the run through a GuestFault.
    std::uint32_t (*call)(ImageProcess& process);
    std::uint32_t arguments; // how many 32-bit arguments (x86: popped by the callee)
};

// The binding of an import for the image's machine: on ARM, the operation
// the device's loader resolves it to (its core library's export, by ordinal
// or by name); on x86 by the name the desktop's DLLs export it by (their
// ordinals are not stable, so an import by ordinal is not bound). DLL names
// ignore case. False, with why, when nothing provides it.
bool FindBinding(const sim::Loader& loader, std::uint16_t machine, const PeImport& import,
                 Binding& binding, std::string& why);

} // namespace runner
