// Card notes: facts of the card itself, told above the check's table, that no
// device's verdict shows and that decide what a burnt card does: several
// packages where a program searches (a device takes them in the order the
// folder lists them), a package last written before the files it installs,
// a program in a processor folder that no kind of device looks in. They are
// facts, not verdicts: they change no row and no exit status.
#pragma once

#include "simulator/check.h"
#include "simulator/description.h"

#include <cstdint>
#include <string>
#include <vector>

namespace simtool {

// The notes on the card, given the searches the programs made on the cards
// on each device, and the processor of every kind of device there is.
std::vector<std::string> CardNotes(const Description& card, const std::vector<DeviceCheck>& devices,
                                   const std::vector<std::uint32_t>& processors);

} // namespace simtool
