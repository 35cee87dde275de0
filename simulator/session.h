// Running the steps of a description on the simulated device, noting before
// each run of the program what its look-ups will find.
#pragma once

#include "platform/sim/device.h"
#include "simulator/description.h"

#include <vector>

namespace simtool {

// What the program's look-ups found at the start of one run, asked of the
// program's own functions on the device as that run sees it.
struct Findings {
    bool pocketPc = false; // the cards' folder searched is "2577", else "wince\arm"
    bool reader = false;
    std::u16string readerPath;
    sim::Ticks readerTime = 0;
    bool package = false;
    std::u16string packagePath;
    sim::Ticks packageTime = 0;
};

// Runs the steps in order; returns the findings of every run, in the order of
// the runs' start events. A run step shows in the log as a step named "run".
std::vector<Findings> RunSteps(sim::Device& device, const std::vector<Step>& steps);

} // namespace simtool
