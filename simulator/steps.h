// Running the steps of a description on the simulated device.
#pragma once

#include "device/device.h"
#include "simulator/description.h"

#include <string>
#include <vector>

namespace simtool {

// Runs the steps in order. A "menu" step taps menuEntry (empty: there is no
// entry to tap); a run step shows in the log as a step named "run".
void RunSteps(sim::Device& device, const std::vector<Step>& steps, const std::u16string& menuEntry);

// The Programs-menu entry a user taps: the file in the device's Programs
// folder named after the program's title; empty for an empty title.
std::u16string MenuEntry(const sim::Device& device, const std::u16string& title);

} // namespace simtool
