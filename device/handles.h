// What a running program holds: its open file searches and registry keys, and
// how often it has tried to delete each key. A run starts with none, and a
// search or key still open when it ends is a misuse.
#pragma once

#include "device/answer.h"
#include "device/store.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

class Handles {
  public:
    // Handles are numbered from 0x100 on, one sequence for searches and
    // keys, anew for each run.
    // A search over what it found, as it was when it began.
    std::uintptr_t OpenSearch(std::vector<Entry> found);
    // The search's next entry.
    Answer Next(std::uintptr_t search, Entry& entry);
    Answer CloseSearch(std::uintptr_t search);

    std::uintptr_t OpenKey(const std::u16string& key);
    // The key a handle holds, named under its root.
    Answer KeyOf(std::uintptr_t handle, std::u16string& key) const;
    Answer CloseKey(std::uintptr_t handle);
    // Counts an attempt to delete a key: how many there have been in the run.
    int CountKeyDeletion(const std::u16string& key);

    bool SearchesOpen() const {
        return !searches_.empty();
    }
    bool KeysOpen() const {
        return !keys_.empty();
    }

  private:
    struct Search {
        std::vector<Entry> found;
        std::size_t next = 0;
    };
    std::map<std::uintptr_t, Search> searches_;
    std::map<std::uintptr_t, std::u16string> keys_;
    std::map<std::u16string, int> keyDeletions_; // folded key -> attempts
    std::uintptr_t next_ = 0x100;
};

} // namespace sim
