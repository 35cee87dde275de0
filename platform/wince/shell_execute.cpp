// ShellExecuteEx on the device. Its record is longer than the seam's: the
// program fills in the seam's part and says 60 bytes in cbSize, so COREDLL
// gets all 60, the rest zeroed, and hInstApp comes back.
#include "platform/wince/coredll.h"

#include <cstring>

namespace platform {

BOOL ShellExecuteEx(SHELLEXECUTEINFO* info) {
    wince::SHELLEXECUTEINFO device;
    std::memset(&device, 0, sizeof device);
    device.seam = *info;
    BOOL started = ::ShellExecuteEx(&device);
    info->hInstApp = device.seam.hInstApp;
    return started;
}

} // namespace platform
