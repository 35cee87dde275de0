// What a running program holds: its open file searches and registry keys, the
// libraries it loaded, how often it has tried to delete each key, and the
// documents the device handed it. A run starts with none, and a search or key
// still open, or a library loaded and never freed, when it ends is a misuse.
#pragma once

#include "device/answer.h"
#include "device/store.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sim {

class Handles {
  public:
    // Handles are numbered from 0x100 on, one sequence for searches, keys and
    // libraries, anew for each run.
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

    // A library loaded: the handle it already has, with one more use, or a
    // new one.
    std::uintptr_t LoadLibrary(const std::u16string& library);
    // The library a handle holds.
    Answer LibraryOf(std::uintptr_t handle, std::u16string& library) const;
    // The program gives back one use of a library by FreeLibrary, whether or
    // not the call then succeeds; a handle that holds none is a misuse.
    Answer GiveBackLibrary(std::uintptr_t handle);
    // The use given back ends: at none, the handle is gone.
    void Unload(std::uintptr_t handle);

    // Keeps text for the run (a document the device hands the program): its
    // units, terminated, stay where they are until the run ends.
    char16_t* Keep(const std::u16string& text);

    bool SearchesOpen() const {
        return !searches_.empty();
    }
    bool KeysOpen() const {
        return !keys_.empty();
    }
    // A library loaded more often than the program gave it back.
    bool LibrariesLeft() const;

  private:
    struct Search {
        std::vector<Entry> found;
        std::size_t next = 0;
    };
    std::map<std::uintptr_t, Search> searches_;
    std::map<std::uintptr_t, std::u16string> keys_;
    std::map<std::u16string, int> keyDeletions_; // folded key -> attempts
    struct Loaded {
        std::u16string library;
        int uses = 0;      // loads not yet undone
        int loads = 0;     // LoadLibraryW calls that gave this handle
        int givenBack = 0; // FreeLibrary calls on it
    };
    std::map<std::uintptr_t, Loaded> libraries_;
    std::vector<std::unique_ptr<std::u16string>> kept_;
    std::uintptr_t next_ = 0x100;
};

} // namespace sim
