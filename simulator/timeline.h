// The readable timeline: the device before the first step, then the story of
// every step, run and effect with its time, then what changed on the device.
#pragma once

#include "device/device.h"
#include "simulator/description.h"
#include "simulator/device_diff.h"

#include <ostream>
#include <string>

namespace simtool {

// The device as described, before any step: its kind, the program that runs
// on it (in a few words), its cards and faults.
void WriteIntro(std::ostream& out, const Description& description, const sim::Device& device,
                const std::string& program);

// The steps as they happened, each call told; with trace, also each call as
// it was made. Then what changed since `before`.
void WriteTimeline(std::ostream& out, const sim::Device& device, const DeviceState& before,
                   bool trace);

} // namespace simtool
