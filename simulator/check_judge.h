// Judging a card's life played on a device: from what the device's store
// and registry hold after each step, and from the events it recorded (the
// shell's starts, the installer's and the uninstaller's work, the runs and
// how they ended). Nothing here knows the names, the files or the flow of the
// program on the card.
#pragma once

#include "simulator/check.h"
#include "simulator/device_diff.h"

#include <string>
#include <vector>

namespace simtool {

// The life: insert, tap, remove, insert, tap, remove.
constexpr int LifeSteps = 6;

struct PlayedLife {
    // One step: what the cards held when it began (or, taken out, when they
    // went), the events it recorded, [from, to), and the device after it.
    struct Moment {
        std::vector<sim::Entry> cards;
        std::size_t from = 0;
        std::size_t to = 0;
        DeviceState after;
    };
    DeviceState before; // the device before the first step
    Moment steps[LifeSteps];
};

// The judgements of the life, with what a removal left and what it was
// allowed to leave, and the searches the programs made on the cards.
void JudgeLife(const sim::Device& device, const PlayedLife& life, DeviceCheck& check);

} // namespace simtool
