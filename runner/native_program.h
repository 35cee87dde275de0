// The program built for the host and linked against the simulated device. It
// stands in for a program file that holds no image.
#pragma once

#include "device/device.h"

#include <cstdint>
#include <string>

namespace runner {

// The version of Windows CE the device image is linked for (cmake/wince.cmake:
// --subsystem=wince:3.0).
constexpr std::uint32_t DeviceImageMajor = 3;
constexpr std::uint32_t DeviceImageMinor = 0;

class NativeProgram : public sim::Launcher {
  public:
    // The module handle the program is given, as an image's base would be.
    static constexpr platform::HINSTANCE Instance = 0x10000;

    NativeProgram();

    // The program as it runs from path with a command line, with its
    // string table.
    sim::Process ProcessOf(const std::u16string& path, const std::u16string& args = u"") const;

    sim::Outcome Run(sim::Device& device, const std::u16string& path, const sim::Entry* file,
                     const std::u16string& args) override;

    // Its string table's string 1: the title it was built with, which a
    // test may change.
    std::u16string title;
    // Standing in for the device image, it starts only where the device's
    // loader would start that image: an ARM image linked for Windows CE 3.0
    // (autorun-sim check sets this).
    bool asDeviceImage = false;
};

} // namespace runner
