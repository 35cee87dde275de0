// A root of the device's registry: keys named without the root
// ("SOFTWARE\Apps" under HKEY_LOCAL_MACHINE), compared without regard to
// case, and their values.
#pragma once

#include "device/answer.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace sim {

// A value of a key: its name (empty for the key's default value), its type
// ("string", "multi-string", "dword" or "binary") and its data: a text (for
// binary, the bytes in hexadecimal), a list of texts or a number.
struct RegistryValue {
    std::u16string name;
    std::string type;
    std::u16string text;
    std::vector<std::u16string> texts;
    long long number = 0;
};

class Registry {
  public:
    // Adds a key and its missing parents.
    void Add(const std::u16string& key);
    bool Has(const std::u16string& key) const;
    // Removes a key with its subkeys; false when it did not exist.
    bool RemoveTree(const std::u16string& key);
    bool HasSubkeys(const std::u16string& key) const;
    void Clear();
    // A program holds a key open while it works (the uninstaller): deleting
    // it fails with access denied until nowMs reaches untilMs.
    void Hold(const std::u16string& key, std::uint64_t untilMs);
    void Release(const std::u16string& key);
    bool Held(const std::u16string& key, std::uint64_t nowMs) const;
    // Sets a value, making the key and its parents; with noClobber, a value
    // that exists is kept. True when the value was set.
    bool SetValue(const std::u16string& key, const RegistryValue& value, bool noClobber);
    bool RemoveValue(const std::u16string& key, const std::u16string& name);
    // The values of a key, in the order they were set; empty for none.
    const std::vector<RegistryValue>& ValuesOf(const std::u16string& key) const;
    // --- What programs ask of it (HKEY_LOCAL_MACHINE) --------------------------
    // Opens a key under root, which must be HKEY_LOCAL_MACHINE.
    Answer Open(platform::HKEY root, const std::u16string& key) const;
    // Deletes a key with its subkeys, at nowMs: refused while it is held.
    Answer Delete(const std::u16string& key, std::uint64_t nowMs);

    // Every key, in the order they were made.
    const std::vector<std::u16string>& Keys() const {
        return keys_;
    }

  private:
    std::vector<std::u16string> keys_;
    std::unordered_set<std::u16string> folded_;
    std::unordered_map<std::u16string, std::uint64_t> held_;                // folded key -> until
    std::unordered_map<std::u16string, std::vector<RegistryValue>> values_; // by folded key
    mutable std::u16string key_; // the folded key being looked up
};

} // namespace sim
