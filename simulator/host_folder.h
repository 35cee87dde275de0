// A folder of the host machine brought onto the simulated device, so that a
// card can be described by pointing at a copy of it.
#pragma once

#include "platform/sim/device.h"

#include <string>
#include <vector>

namespace simtool {

// The files and folders under hostFolder as device entries under devicePath:
// every folder before its contents, names in byte order, each with its host
// modification time; files get no attributes. False, with error set, when the
// folder cannot be read or a name cannot be held by the device.
bool ReadHostFolder(const std::string& hostFolder, const std::u16string& devicePath,
                    std::vector<sim::Entry>& entries, std::string& error);

// True when the device's file system can hold the name: not empty, not "." or
// "..", and no control character or any of \ / : * ? " < > |.
bool IsDeviceName(const std::u16string& name);

} // namespace simtool
