// The handles a running program holds: its open file searches and registry
// keys. Private to the platform operations; a run starts with none, and
// whatever is left open when it ends is a misuse.
#pragma once

#include "device/store.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

class Handles {
  public:
    struct Search {
        std::vector<Entry> matches; // as they were when the search began
        std::size_t next = 0;
    };

    // Handles are numbered from 0x100 on, one sequence for searches and
    // keys, anew for each run.
    std::uintptr_t OpenSearch(Search search);
    Search* FindSearch(std::uintptr_t handle);
    bool CloseSearch(std::uintptr_t handle);

    std::uintptr_t OpenKey(const std::u16string& key);
    const std::u16string* KeyOf(std::uintptr_t handle) const;
    bool CloseKey(std::uintptr_t handle);

    bool SearchesOpen() const {
        return !searches_.empty();
    }
    bool KeysOpen() const {
        return !keys_.empty();
    }

  private:
    std::map<std::uintptr_t, Search> searches_;
    std::map<std::uintptr_t, std::u16string> keys_;
    std::uintptr_t next_ = 0x100;
};

} // namespace sim
