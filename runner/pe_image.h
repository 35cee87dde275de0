// A PE32 image read from the bytes of a file: what a loader needs to run it.
// Every offset and size in the file is checked; a malformed file gives an
// error text, never a read outside the bytes. Resources are not read with the
// image: a string is read when asked for, as the device's LoadStringW does.
#pragma once

#include "device/loader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace runner {

using sim::MachineArm;
using sim::MachineI386;
using sim::MachineName;

// The largest image the runner loads: the size of a process slot on the
// device, far above what a small program needs.
constexpr std::uint32_t MaxImageSize = 32u << 20;
// The most imports an image may have (the program has 17), and so the most
// DLLs it may import from.
constexpr std::uint32_t MaxImports = 1000;

struct PeSection {
    std::string name;
    std::uint32_t address = 0; // relative to the image base
    std::uint32_t size = 0;    // in memory
    bool writable = false;
    bool executable = false;
};

// One imported procedure, and where the image wants its address.
struct PeImport : sim::Import {
    std::uint32_t slot = 0; // its import address table entry, relative to the image base
};

struct PeImage {
    std::uint16_t machine = 0;
    std::uint32_t imageBase = 0;
    std::uint32_t entryPoint = 0; // relative to the image base
    std::uint32_t stackReserve = 0;
    std::uint32_t headersSize = 0;
    std::uint16_t subsystem = 0; // 9: Windows CE's GUI
    // The version of the system it needs (the subsystem version): 3.0 for
    // Windows CE 3.0.
    std::uint16_t subsystemMajor = 0;
    std::uint16_t subsystemMinor = 0;
    std::vector<PeSection> sections;
    std::vector<PeImport> imports;
    std::uint32_t resources = 0; // the resource directory, relative to the image base; 0: none
    // The image as the loader lays it out from its base: headers and
    // sections at their addresses, zeros elsewhere.
    std::vector<std::uint8_t> memory;
};

// Reads a PE32 image. False, with error set to a short text that names what
// is wrong, when the bytes are not one.
bool ReadPeImage(const std::vector<std::uint8_t>& bytes, PeImage& image, std::string& error);

// String id of the image's string table, read from its resources as they are
// laid out in image.memory, in the first language the table holds. False,
// with text empty, when there is no such string, it is empty, or what leads
// to it is malformed.
bool ReadImageString(const PeImage& image, std::uint32_t id, std::u16string& text);

} // namespace runner
