// What a device's store and registry hold at one moment, and what changed
// between two such moments: for the summary after the last step, and for
// judging what a card's life left behind.
#pragma once

#include "device/device.h"

#include <string>
#include <vector>

namespace simtool {

struct DeviceState {
    std::vector<sim::Entry> entries;  // in the store's order
    std::vector<std::u16string> keys; // with their roots: "HKEY_LOCAL_MACHINE\SOFTWARE"
};

// The device as it is, without what is on the cards that are in.
DeviceState StateOf(const sim::Device& device);

struct DeviceChanges {
    std::vector<sim::Entry> added;   // files and folders, in the store's order
    std::vector<sim::Entry> removed; // in the earlier state's order
    std::vector<sim::Entry> changed; // other attributes, time or content; as they are now
    std::vector<std::u16string> addedKeys;
    std::vector<std::u16string> removedKeys;
    bool Empty() const {
        return added.empty() && removed.empty() && changed.empty() && addedKeys.empty() &&
               removedKeys.empty();
    }
};

DeviceChanges Compare(const DeviceState& before, const DeviceState& after);

} // namespace simtool
