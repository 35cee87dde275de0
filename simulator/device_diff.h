// What a device's store and registry hold at one moment, and what changed
// between two such moments: for the summary after the last step, and for
// judging what a card's life left behind.
#pragma once

#include "device/device.h"

#include <string>
#include <vector>

namespace simtool {

// A registry value with the key it is in (with its root).
struct KeyValue {
    std::u16string key;
    sim::RegistryValue value;
};

struct DeviceState {
    std::vector<sim::Entry> entries;  // in the store's order
    std::vector<std::u16string> keys; // with their roots: "HKEY_LOCAL_MACHINE\SOFTWARE"
    std::vector<KeyValue> values;     // key by key, each key's in the order they were set
};

// The device as it is, without what is on the cards that are in.
DeviceState StateOf(const sim::Device& device);

struct DeviceChanges {
    std::vector<sim::Entry> added;   // files and folders, in the store's order
    std::vector<sim::Entry> removed; // in the earlier state's order
    std::vector<sim::Entry> changed; // other attributes, time or content; as they are now
    std::vector<std::u16string> addedKeys;
    std::vector<std::u16string> removedKeys;
    std::vector<KeyValue> addedValues;
    // Values that were there and are now other data, another type, or gone
    // (as they were).
    std::vector<KeyValue> changedValues;
    bool Empty() const {
        return added.empty() && removed.empty() && changed.empty() && addedKeys.empty() &&
               removedKeys.empty() && addedValues.empty() && changedValues.empty();
    }
};

DeviceChanges Compare(const DeviceState& before, const DeviceState& after);

// The values that are in none of these keys: what a list of added keys does
// not already tell.
std::vector<KeyValue> OutsideKeys(const std::vector<KeyValue>& values,
                                  const std::vector<std::u16string>& keys);

// "the value "InstallDir" of HKEY_LOCAL_MACHINE\Software\Maker", "the
// default value of ...".
std::string ValueName(const std::u16string& key, const std::u16string& name);

} // namespace simtool
