// The device's own rules for deleting a file, the same for a program's
// DeleteFileW and for the cabinet installer deleting the package it read.
#pragma once

#include "device/store.h"
#include "platform/platform.h"

#include <string>

namespace sim {

// 0 when the device lets the file at path be deleted; else the error it
// answers with, and why. The file of the running program (inUse) cannot be.
platform::LONG DeletionRefused(const Store& files, const std::u16string& path,
                               const std::u16string& inUse, std::string& why);

} // namespace sim
