// What runs when the device starts a program file: the image the file holds,
// in the emulated processor; for a file that holds nothing, the stand-in
// image when autorun-sim was given one, else the program built for the host,
// or, as on a device, nothing.
#pragma once

#include "device/device.h"
#include "runner/image_program.h"
#include "runner/native_program.h"
#include "runner/pe_image.h"

#include <cstdint>
#include <string>

namespace runner {

class ProgramRunner : public sim::Launcher {
  public:
    sim::Outcome Run(sim::Device& device, const std::u16string& path, const sim::Entry* file,
                     const std::u16string& args) override;

    sim::Content standIn; // the image given to autorun-sim; none: the host build
    // Whether the host build stands in for a file that holds nothing (plain
    // runs and tests); when not, the device's loader refuses it.
    bool hostStandsIn = true;
    std::uint64_t instructions = 0; // emulated by every run so far
    ImageProgram image;
    NativeProgram native;
};

// Reads an image file for autorun-sim --image: its bytes, and the image they
// hold. False, with error set, for a file that cannot be read or holds no
// image the emulated processors run.
bool ReadImageFile(const std::string& file, sim::Content& bytes, PeImage& image,
                   std::string& error);

} // namespace runner
