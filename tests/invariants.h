// What must hold after any run of the program on the simulated device,
// whatever the card holds and whichever platform calls fail. Shared by the
// fault sweep and the fuzz target.
#pragma once

#include "device/device.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace invariants {

// The device as it was before a run.
// Every entry's attributes and time, by path.
using State = std::map<std::u16string, std::pair<std::uint32_t, sim::Ticks>>;

struct Snapshot {
    std::vector<std::u16string> cards; // the cards that are in
    State state;
    std::vector<std::u16string> keys;
    std::size_t firstEvent = 0;
    std::size_t violations = 0;
    std::u16string title; // the running program's, which names its menu copy
};

Snapshot Take(const sim::Device& device, const std::u16string& title);

// Checks the one run of the program that followed `before`: its events (from
// its start to its exit, and the work of the programs it started, finished
// after it) and what changed on the device. Returns one line per broken rule;
// empty when all hold.
std::vector<std::string> CheckRun(const sim::Device& device, const Snapshot& before);

} // namespace invariants
