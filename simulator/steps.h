// Running the steps of a description on the simulated device.
#pragma once

#include "device/device.h"
#include "simulator/description.h"

#include <vector>

namespace simtool {

// Runs the steps in order. A run step shows in the log as a step named
// "run".
void RunSteps(sim::Device& device, const std::vector<Step>& steps);

} // namespace simtool
