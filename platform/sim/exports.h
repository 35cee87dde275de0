// What the simulated device's libraries export besides COREDLL's operations,
// as a program on it calls them through the address GetProcAddressW gives:
// each converts the program's arguments, hands the work to the part of the
// device that owns it and records what happened, as an operation does.
#pragma once

#include "platform/platform.h"

namespace simexports {

// aygshell.dll's: the Configuration Manager carries out the document. The
// document it answers with is a buffer the device keeps until the run ends.
platform::HRESULT PLATFORM_EXPORT_CALL DMProcessConfigXML(const char16_t* document,
                                                          platform::DWORD flags, char16_t** output);

} // namespace simexports
