// The program built for the host and linked against the simulated device. It
// stands in for a program file that holds no image, and, since it can ask the
// program's own functions, it also records what each run finds and the run
// mode it chooses.
#pragma once

#include "device/device.h"

#include <string>

namespace runner {

class NativeProgram : public sim::Launcher {
  public:
    // The module handle the program is given, as an image's base would be.
    static constexpr platform::HINSTANCE Instance = 0x10000;

    // The program as it runs from path: its string resource 1 is the title
    // the device was given, so that a description can rename it.
    static sim::Process ProcessOf(const sim::Device& device, const std::u16string& path);

    sim::Outcome Run(sim::Device& device, const std::u16string& path, const sim::Entry* file,
                     const std::u16string& args) override;
};

} // namespace runner
