// The event log: every event of a simulation as one JSON object a line,
// ending with the device's state. The program's calls are in it when `calls`
// is set (--trace).
#pragma once

#include "device/device.h"

#include <ostream>

namespace simtool {

void WriteEventLog(std::ostream& out, const sim::Device& device, bool calls);

} // namespace simtool
