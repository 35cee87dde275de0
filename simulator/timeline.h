// The readable timeline: the device before the first step, then the story of
// every step, run and effect with its time, then what is left at the end.
#pragma once

#include "platform/sim/device.h"
#include "simulator/description.h"

#include <ostream>

namespace simtool {

// The device as described, before any step.
void WriteIntro(std::ostream& out, const Description& description, const sim::Device& device);

// The steps as they happened, and the device after the last one.
void WriteTimeline(std::ostream& out, const sim::Device& device);

} // namespace simtool
