// The registry's keys.
#include "device/registry.h"

#include "device/names.h"
#include "device/operations.h"

#include <algorithm>

namespace sim {

namespace {

bool IsUnder(const std::u16string& key, const std::u16string& parent) {
    return key.size() > parent.size() && key[parent.size()] == u'\\' &&
           SameName(key.substr(0, parent.size()), parent);
}

} // namespace

void Registry::Add(const std::u16string& key) {
    // Each parent, then the key: every prefix once, in the time of its length.
    for (std::size_t slash = key.find(u'\\');; slash = key.find(u'\\', slash + 1)) {
        const std::u16string part = slash == std::u16string::npos ? key : key.substr(0, slash);
        if (folded_.insert(Fold(part)).second) {
            keys_.push_back(part);
        }
        if (slash == std::u16string::npos) {
            return;
        }
    }
}

bool Registry::Has(const std::u16string& key) const {
    FoldInto(key, key_);
    return folded_.count(key_) != 0;
}

bool Registry::RemoveTree(const std::u16string& key) {
    if (!Has(key)) {
        return false;
    }
    auto gone = [&](const std::u16string& k) { return SameName(k, key) || IsUnder(k, key); };
    for (const std::u16string& k : keys_) {
        if (gone(k)) {
            folded_.erase(Fold(k));
            values_.erase(Fold(k));
        }
    }
    keys_.erase(std::remove_if(keys_.begin(), keys_.end(), gone), keys_.end());
    return true;
}

bool Registry::HasSubkeys(const std::u16string& key) const {
    for (const std::u16string& k : keys_) {
        if (IsUnder(k, key)) {
            return true;
        }
    }
    return false;
}

Answer Registry::Open(platform::HKEY root, const std::u16string& key) const {
    if (root != platform::HkeyLocalMachine) {
        return Fails(ErrorInvalidParameter, "the device has keys under HKEY_LOCAL_MACHINE only");
    }
    if (!Has(key)) {
        return Fails(ErrorFileNotFound, "there is no such key");
    }
    return Answer();
}

Answer Registry::Delete(const std::u16string& key, std::uint64_t nowMs) {
    if (Held(key, nowMs)) {
        return Fails(ErrorAccessDenied, "the uninstaller holds it open");
    }
    if (!RemoveTree(key)) {
        return Fails(ErrorFileNotFound, "there is no such key");
    }
    return Answer();
}

void Registry::Clear() {
    keys_.clear();
    folded_.clear();
    held_.clear();
    values_.clear();
}

bool Registry::SetValue(const std::u16string& key, const RegistryValue& value, bool noClobber) {
    Add(key);
    std::vector<RegistryValue>& values = values_[Fold(key)];
    for (RegistryValue& existing : values) {
        if (SameName(existing.name, value.name)) {
            if (noClobber) {
                return false;
            }
            existing = value;
            return true;
        }
    }
    values.push_back(value);
    return true;
}

bool Registry::RemoveValue(const std::u16string& key, const std::u16string& name) {
    auto values = values_.find(Fold(key));
    if (values == values_.end()) {
        return false;
    }
    for (auto it = values->second.begin(); it != values->second.end(); ++it) {
        if (SameName(it->name, name)) {
            values->second.erase(it);
            return true;
        }
    }
    return false;
}

const std::vector<RegistryValue>& Registry::ValuesOf(const std::u16string& key) const {
    static const std::vector<RegistryValue> none;
    auto values = values_.find(Fold(key));
    return values == values_.end() ? none : values->second;
}

void Registry::Hold(const std::u16string& key, std::uint64_t untilMs) {
    held_[Fold(key)] = untilMs;
}

void Registry::Release(const std::u16string& key) {
    held_.erase(Fold(key));
}

bool Registry::Held(const std::u16string& key, std::uint64_t nowMs) const {
    auto held = held_.find(Fold(key));
    return held != held_.end() && nowMs < held->second;
}

} // namespace sim
