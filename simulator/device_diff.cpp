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

bool SameValue(const sim::RegistryValue& a, const sim::RegistryValue& b) {
    return a.type == b.type && a.text == b.text && a.texts == b.texts && a.number == b.number;
}

// A value's key with its root, and its name, folded: what finds it again.
std::u16string ValueKey(const KeyValue& kv) {
    return sim::Fold(kv.key) + u'\0' + sim::Fold(kv.value.name);
}

void AddKeys(DeviceState& state, const std::u16string& root, const sim::Registry& registry) {
    for (const std::u16string& key : registry.Keys()) {
        state.keys.push_back(root + u"\\" + key);
        for (const sim::RegistryValue& value : registry.ValuesOf(key)) {
            state.values.push_back({state.keys.back(), value});
        }
    }
}

} // namespace

DeviceState StateOf(const sim::Device& device) {
    DeviceState state;
    for (const sim::Entry* entry : device.Files().All()) {
        if (device.Files().CardOf(entry->path) == nullptr) {
            state.entries.push_back(*entry);
        }
    }
    AddKeys(state, sim::LocalMachine, device.Keys());
    for (const auto& root : device.OtherRoots()) {
        AddKeys(state, root.first, root.second);
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
    std::unordered_map<std::u16string, const sim::RegistryValue*> valuesBefore;
    for (const KeyValue& kv : before.values) {
        valuesBefore[ValueKey(kv)] = &kv.value;
    }
    std::unordered_set<std::u16string> valuesAfter;
    for (const KeyValue& kv : after.values) {
        valuesAfter.insert(ValueKey(kv));
        auto was = valuesBefore.find(ValueKey(kv));
        if (was == valuesBefore.end()) {
            changes.addedValues.push_back(kv);
        } else if (!SameValue(*was->second, kv.value)) {
            changes.changedValues.push_back(kv);
        }
    }
    for (const KeyValue& kv : before.values) {
        if (valuesAfter.count(ValueKey(kv)) == 0) {
            changes.changedValues.push_back(kv);
        }
    }
    return changes;
}

std::vector<KeyValue> OutsideKeys(const std::vector<KeyValue>& values,
                                  const std::vector<std::u16string>& keys) {
    std::unordered_set<std::u16string> folded;
    for (const std::u16string& key : keys) {
        folded.insert(sim::Fold(key));
    }
    std::vector<KeyValue> outside;
    for (const KeyValue& kv : values) {
        if (folded.count(sim::Fold(kv.key)) == 0) {
            outside.push_back(kv);
        }
    }
    return outside;
}

std::string ValueName(const std::u16string& key, const std::u16string& name) {
    return name.empty() ? "the default value of " + sim::Utf8(key)
                        : "the value \"" + sim::Utf8(name) + "\" of " + sim::Utf8(key);
}

} // namespace simtool
