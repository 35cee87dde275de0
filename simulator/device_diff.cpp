// Comparing two states of a device.
#include "simulator/device_diff.h"

#include <unordered_map>
#include <unordered_set>

namespace simtool {

namespace {

bool SameContent(const sim::Content& a, const sim::Content& b) {
    if (a == b) {
        return true;
    }
    const bool aEmpty = !a || a->empty();
    const bool bEmpty = !b || b->empty();
    return aEmpty || bEmpty ? aEmpty == bEmpty : *a == *b;
}

} // namespace

DeviceState StateOf(const sim::Device& device) {
    DeviceState state;
    for (const sim::Entry* entry : device.Files().All()) {
        if (device.Files().CardOf(entry->path) == nullptr) {
            state.entries.push_back(*entry);
        }
    }
    for (const std::u16string& key : device.Keys().Keys()) {
        state.keys.push_back(u"HKEY_LOCAL_MACHINE\\" + key);
    }
    for (const auto& root : device.OtherRoots()) {
        for (const std::u16string& key : root.second.Keys()) {
            state.keys.push_back(root.first + u"\\" + key);
        }
    }
    return state;
}

DeviceChanges Compare(const DeviceState& before, const DeviceState& after) {
    DeviceChanges changes;
    std::unordered_map<std::u16string, const sim::Entry*> earlier;
    for (const sim::Entry& entry : before.entries) {
        earlier[sim::Fold(entry.path)] = &entry;
    }
    std::unordered_set<std::u16string> still;
    for (const sim::Entry& entry : after.entries) {
        const std::u16string key = sim::Fold(entry.path);
        auto was = earlier.find(key);
        if (was == earlier.end()) {
            changes.added.push_back(entry);
            continue;
        }
        still.insert(key);
        const sim::Entry& old = *was->second;
        if (old.attributes != entry.attributes || old.time != entry.time ||
            !SameContent(old.content, entry.content)) {
            changes.changed.push_back(entry);
        }
    }
    for (const sim::Entry& entry : before.entries) {
        if (still.count(sim::Fold(entry.path)) == 0) {
            changes.removed.push_back(entry);
        }
    }
    std::unordered_set<std::u16string> keysBefore;
    std::unordered_set<std::u16string> keysAfter;
    for (const std::u16string& key : before.keys) {
        keysBefore.insert(sim::Fold(key));
    }
    for (const std::u16string& key : after.keys) {
        keysAfter.insert(sim::Fold(key));
        if (keysBefore.count(sim::Fold(key)) == 0) {
            changes.addedKeys.push_back(key);
        }
    }
    for (const std::u16string& key : before.keys) {
        if (keysAfter.count(sim::Fold(key)) == 0) {
            changes.removedKeys.push_back(key);
        }
    }
    return changes;
}

} // namespace simtool
