// The device's object store: folders and files with attributes, last-write
// times and content. Names compare without regard to case; the entries of a
// folder are enumerated in the order they were made.
#pragma once

#include "device/answer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace sim {

// File times in 100-ns ticks since 1601-01-01 UTC, as in a FILETIME.
using Ticks = std::uint64_t;

constexpr Ticks TicksPerMs = 10000;
constexpr Ticks TicksPerSecond = 10000000;
// 2026-01-01T00:00:00Z: the time of an entry that names none.
constexpr Ticks DefaultEntryTime = 134116992000000000ull;

// File attributes, as the platform numbers them.
enum : std::uint32_t {
    AttrReadOnly = 0x1,
    AttrHidden = 0x2,
    AttrSystem = 0x4,
    AttrDirectory = 0x10,
    AttrArchive = 0x20,
    AttrTemporary = 0x100,
};

// What a file holds. Shared between copies, never changed in place.
using Content = std::shared_ptr<const std::vector<std::uint8_t>>;

struct Entry {
    std::u16string path; // rooted at "\", no trailing "\"
    std::uint32_t attributes = 0;
    Ticks time = DefaultEntryTime;
    Content content = nullptr; // none: the file holds nothing the device looks at
};

// A storage card: a folder at the root marked directory and temporary.
bool IsCard(const Entry& entry);
// An entry that is there and is no folder.
inline bool IsFile(const Entry* entry) {
    return entry != nullptr && (entry->attributes & AttrDirectory) == 0;
}

class Store {
  public:
    Store();

    // Adds an entry, making missing parent folders as plain folders. An entry
    // that exists already takes the new attributes, time and content.
    void Add(const Entry& entry);
    // Makes folder and the folders above it that are not there, as plain
    // folders made at time; returns those it made, the shallowest first.
    // Makes none when a file stands where one of them goes.
    std::vector<std::u16string> MakeFolders(const std::u16string& folder, Ticks time);
    Entry* Find(const std::u16string& path);
    const Entry* Find(const std::u16string& path) const;
    bool IsFolder(const std::u16string& path) const; // "" is the root
    bool HasChildren(const std::u16string& folder) const;
    // The entry at path, or else at the deepest folder above it that is
    // there; null when none is (the root is not an entry).
    const Entry* DeepestOn(const std::u16string& path) const;
    // The entries of a folder ("" is the root), in the order they were made.
    std::vector<const Entry*> Children(const std::u16string& folder) const;
    // Every entry, in the order they were made.
    std::vector<const Entry*> All() const;

    // The storage card a path is on (or is); null when it is on none.
    const Entry* CardOf(const std::u16string& path) const;

    // Removes an entry with everything under it.
    void RemoveTree(const std::u16string& path);

    // --- What programs ask of it ---------------------------------------------
    // A search of a path, or of a folder's names for a "*" and "?" pattern:
    // what it finds, as it is now, in the folder's order.
    Answer Search(const std::u16string& pathOrPattern, std::vector<Entry>& found) const;
    // A byte copy of a file, with its attributes and time, replacing a file
    // at the target unless failIfExists. running is the file of the program
    // that asks: a copy of its own file is kept on record.
    Answer Copy(const std::u16string& from, const std::u16string& to, bool failIfExists,
                const std::u16string& running);
    // Deletes a file, unless it is a folder, read-only, on a write-protected
    // card, or inUse: the file of the running program.
    Answer Delete(const std::u16string& path, const std::u16string& inUse);
    // The latest copy a running program made of its own file into folder
    // that is still there as it was made; null when there is none.
    const Entry* OwnCopyIn(const std::u16string& folder) const;

    // An entry with everything under it, taken out of the store and kept
    // whole, to be put back later where it was.
    struct Tree {
        std::vector<std::pair<std::uint64_t, Entry>> entries; // creation order, entry
    };
    Tree Take(const std::u16string& path);
    void Put(const Tree& tree);

  private:
    struct Node {
        Entry entry;
        std::uint64_t order = 0;
        std::vector<std::u16string> children; // folded paths, by order
    };
    Node* NodeOf(const std::u16string& path);
    const Node* NodeOf(const std::u16string& path) const;
    void Insert(const Entry& entry, std::uint64_t order);
    void Collect(const std::u16string& key, Tree& tree) const;
    void Erase(const std::u16string& key);

    std::unordered_map<std::u16string, Node> nodes_; // by folded path; "" is the root
    mutable std::u16string key_;                     // the folded path being looked up
    std::uint64_t nextOrder_ = 1;
    std::vector<std::u16string> ownCopies_; // copies programs made of their own files, in order
};

} // namespace sim
