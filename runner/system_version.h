// The device's loader and the version of the system a program needs: it
// refuses an image whose subsystem version is above its own OS version ("not
// a valid application"), and starts one at or below it.
#pragma once

#include "device/config.h"

#include <cstdint>
#include <string>

namespace runner {

// Why the device refuses a program that needs version major.minor of its
// system; empty when the device has that version or a later one.
inline std::string NeedsNewerSystem(const sim::Config& device, std::uint32_t major,
                                    std::uint32_t minor) {
    if (major < device.osMajor || (major == device.osMajor && minor <= device.osMinor)) {
        return std::string();
    }
    return "it needs Windows CE " + std::to_string(major) + "." + std::to_string(minor) +
           " and the device has " + std::to_string(device.osMajor) + "." +
           std::to_string(device.osMinor) + ", so it is not a valid application here";
}

} // namespace runner
