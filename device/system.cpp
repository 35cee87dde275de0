// The device's answers about itself.
#include "device/system.h"

#include "device/operations.h"

#include <cstring>

namespace sim {

Answer System::PlatformType(platform::UINT action, platform::UINT bytes,
                            std::u16string& type) const {
    const std::size_t needed = (config_.platformType.size() + 1) * sizeof(char16_t);
    if (action != platform::SpiGetPlatformType) {
        return Fails(ErrorInvalidParameter, "the device knows no action " + std::to_string(action));
    }
    if (needed > bytes) {
        return Fails(ErrorInsufficientBuffer, "the platform type needs " + std::to_string(needed) +
                                                  " bytes; the buffer has " +
                                                  std::to_string(bytes));
    }
    type = config_.platformType;
    return Answer();
}

Answer System::Version(platform::DWORD size, platform::OSVERSIONINFOW& info) const {
    if (size != platform::OsVersionInfoSize) {
        return Misused(ErrorInvalidParameter,
                       "the record's size is " + std::to_string(size) + ", not " +
                           std::to_string(platform::OsVersionInfoSize),
                       "wrong record size");
    }
    info.dwMajorVersion = config_.osMajor;
    info.dwMinorVersion = config_.osMinor;
    info.dwBuildNumber = config_.osBuild;
    info.dwPlatformId = 3; // VER_PLATFORM_WIN32_CE
    std::memset(info.szCSDVersion, 0, sizeof info.szCSDVersion);
    return Answer();
}

} // namespace sim
