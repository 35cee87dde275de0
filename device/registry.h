// The device's registry: keys under HKEY_LOCAL_MACHINE, named without that
// root ("SOFTWARE\Apps"), compared without regard to case.
#pragma once

#include <string>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace sim {

class Registry {
  public:
    // Adds a key and its missing parents.
    void Add(const std::u16string& key);
    bool Has(const std::u16string& key) const;
    // Removes a key with its subkeys; false when it did not exist.
    bool RemoveTree(const std::u16string& key);
    void Clear();
    // A program holds a key open while it works (the uninstaller): deleting
    // it fails with access denied until nowMs reaches untilMs.
    void Hold(const std::u16string& key, std::uint64_t untilMs);
    void Release(const std::u16string& key);
    bool Held(const std::u16string& key, std::uint64_t nowMs) const;
    // Every key, in the order they were made.
    const std::vector<std::u16string>& Keys() const {
        return keys_;
    }

  private:
    std::vector<std::u16string> keys_;
    std::unordered_set<std::u16string> folded_;
    std::unordered_map<std::u16string, std::uint64_t> held_; // folded key -> until
};

} // namespace sim
