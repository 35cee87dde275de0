// The readable timeline: the device before the first step, then the story of
// every step, run and effect with its time, then what is left at the end.
#pragma once

#include "device/device.h"
#include "simulator/description.h"
#include "runner/pe_image.h"

#include <ostream>

namespace simtool {

// The device as described, before any step, and the program that runs on it:
// the image in imageFile (empty: the program built for the host).
void WriteIntro(std::ostream& out, const Description& description, const sim::Device& device,
                const std::string& imageFile, const runner::PeImage& image);

// The steps as they happened, and the device after the last one.
void WriteTimeline(std::ostream& out, const sim::Device& device);

} // namespace simtool
