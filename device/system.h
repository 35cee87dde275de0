// What the device says of itself when a program asks: its platform type
// (SystemParametersInfo) and its version (GetVersionEx).
#pragma once

#include "device/answer.h"
#include "device/config.h"

#include <string>

namespace sim {

class System {
  public:
    explicit System(const Config& config) : config_(config) {}

    // The platform type, for SPI_GETPLATFORMTYPE and a buffer of `bytes`.
    Answer PlatformType(platform::UINT action, platform::UINT bytes, std::u16string& type) const;
    // The version, into a record of `size` bytes (OSVERSIONINFOW's size).
    Answer Version(platform::DWORD size, platform::OSVERSIONINFOW& info) const;

  private:
    const Config& config_;
};

} // namespace sim
