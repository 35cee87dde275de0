// A folder of the host machine brought onto the simulated device, so that a
// card can be described by pointing at a copy of it.
#pragma once

#include "device/device.h"

#include <string>
#include <string_view>
#include <vector>

namespace simtool {

// The files and folders under hostFolder as device entries under devicePath:
// every folder before its contents, names in byte order, each with its host
// modification time; a file whose mode lets nobody write it is read-only.
// Programs (".exe") and packages (".cab") come with their bytes. Links are
// followed. False, with
// error set, when a folder cannot be read or is reached a second time through
// a link, or a name is not UTF-8, cannot be held by the device, or differs
// from another in its folder only in case (the device ignores case).
bool ReadHostFolder(const std::string& hostFolder, const std::u16string& devicePath,
                    std::vector<sim::Entry>& entries, std::string& error);

// A file of the host machine as the content of a device file: its bytes (at
// most 64 MiB), its modification time unless the entry gives one, and the
// read-only attribute when its mode lets nobody write it. False, with error
// set, when it cannot be read or is too large.
bool ReadHostFile(const std::string& hostFile, sim::Entry& entry, bool timeGiven,
                  std::string& error);

// Why the device's file system cannot hold a name, as "it is empty" or
// "it has \"*\""; empty when it can. It cannot hold an empty name, "." or "..",
// a control character or any of \ / : * ? " < > |.
std::string NameProblem(std::u16string_view name);

} // namespace simtool
