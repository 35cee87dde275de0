// The simulated Windows CE device: object store, storage cards, platform
// probe, registry, shell with its cabinet installer and uninstaller, and a
// virtual clock. The program runs against it through platform/platform.h;
// tests and autorun-sim drive it through this interface.
//
// Every effect is recorded as an event. Nothing really waits: Sleep moves the
// virtual clock, and the programs the shell starts run beside the program in
// virtual time.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// File times in 100-ns ticks since 1601-01-01 UTC, as in a FILETIME.
using Ticks = std::uint64_t;

constexpr Ticks TicksPerMs = 10000;
constexpr Ticks TicksPerSecond = 10000000;
// 2026-01-01T00:00:00Z: the time of an entry that names none.
constexpr Ticks DefaultEntryTime = 134116992000000000ull;
// 2026-12-01T09:00:00Z: the device clock when the simulation starts.
constexpr Ticks ClockStart = 134405892000000000ull;

// File attributes, as the platform numbers them.
enum : std::uint32_t {
    AttrReadOnly = 0x1,
    AttrHidden = 0x2,
    AttrSystem = 0x4,
    AttrDirectory = 0x10,
    AttrArchive = 0x20,
    AttrTemporary = 0x100,
};

struct Entry {
    std::u16string path; // rooted at "\", no trailing "\"
    std::uint32_t attributes = 0;
    Ticks time = DefaultEntryTime;
};

inline Ticks TicksOf(const platform::FILETIME& time) {
    return (static_cast<Ticks>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::u16string ParentOf(const std::u16string& path);

// A storage card: a folder at the root marked directory and temporary.
inline bool IsCard(const Entry& entry) {
    return (entry.attributes & (AttrDirectory | AttrTemporary)) ==
               (AttrDirectory | AttrTemporary) &&
           ParentOf(entry.path).empty();
}

struct Value {
    enum Kind { Text, Number, Flag } kind = Text;
    std::string text;
    long long number = 0;
};

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8(const std::u16string& text);

inline Value TextValue(const std::string& text) {
    return Value{Value::Text, text, 0};
}
inline Value TextValue(const std::u16string& text) {
    return TextValue(Utf8(text));
}
inline Value NumberValue(long long number) {
    return Value{Value::Number, std::string(), number};
}
inline Value FlagValue(bool flag) {
    return Value{Value::Flag, std::string(), flag ? 1 : 0};
}

struct Event {
    std::string event;
    std::uint64_t t = 0; // virtual milliseconds since the simulation started
    std::vector<std::pair<std::string, Value>> fields;

    const Value* Find(const std::string& name) const;
    std::string Text(const std::string& name) const;
    long long Number(const std::string& name) const;
    bool Flag(const std::string& name) const;
};

// The operations that can be made to fail, by their platform names.
const std::vector<std::string>& FailableOperations();

class Device {
  public:
    Device(); // a bare device: \Windows with Unload.exe, \Program Files, SOFTWARE\Apps

    // --- Description --------------------------------------------------------
    std::u16string platformType = u"PocketPC";
    std::uint32_t osMajor = 4;
    std::u16string title; // string resource 1; defaults to the product title
    std::uint64_t uninstallMs = 2500;
    std::set<std::string> failing; // operations that fail on every call
    int appKeyDeleteFailures = 0;  // first N deletions of the application key

    // Called at the start of every run, after its start event, while the
    // program's platform calls reach this device and are not counted: a front
    // end may ask the program's own look-ups what this run will find.
    std::function<void()> beforeRun;

    // Adds an entry, making missing parent folders as plain folders. An entry
    // that exists already takes the new attributes and time.
    void AddEntry(const Entry& entry);
    // Registry keys under HKEY_LOCAL_MACHINE, parents made as needed.
    void AddKey(const std::u16string& key);
    void ClearRegistry();

    // --- Card life ----------------------------------------------------------
    // A card goes in: the shell copies the first card's "2577\autorun.exe" to
    // \Windows\autorun.exe and starts it with "install".
    void Insert();
    // The user taps the Programs-menu copy.
    void Menu();
    // Every card is taken out; the shell starts \Windows\autorun.exe.
    void Remove();
    // Starts the program as if it were the file at path, with a command line.
    // Returns WinMain's result.
    int Run(const std::u16string& path, const std::u16string& args);

    // Makes the device current for direct calls of the program's functions,
    // as a run does, with the program's own file at ownPath (empty: the path
    // cannot be had). On leaving, searches and keys left open are recorded as
    // violations and the previous device becomes current again.
    class Use {
      public:
        explicit Use(Device& device, const std::u16string& ownPath = u"");
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

      private:
        Device& device_;
        Device* previous_;
    };

    // --- What happened ------------------------------------------------------
    const std::vector<Event>& Events() const {
        return events_;
    }
    const std::vector<Entry>& Entries() const {
        return entries_;
    }
    const std::vector<std::u16string>& Keys() const {
        return keys_;
    }
    const Entry* FindEntry(const std::u16string& path) const;
    bool HasKey(const std::u16string& key) const;
    std::uint64_t NowMs() const {
        return nowMs_;
    }
    // How often each platform operation was called by the program.
    const std::map<std::string, int>& Calls() const {
        return calls_;
    }
    // Misuse of the platform seen during runs: paths without a terminator
    // within 260 units, handles left open, wrong record sizes.
    const std::vector<std::string>& Violations() const {
        return violations_;
    }

    // --- Used by the platform backend ---------------------------------------
    static Device* Current();
    Ticks Now() const {
        return ClockStart + nowMs_ * TicksPerMs;
    }
    bool Fails(const char* operation); // counts the call, true when it is to fail
    void Violation(const std::string& what);
    void Emit(const std::string& event, std::vector<std::pair<std::string, Value>> fields);
    void Advance(std::uint64_t ms); // moves the clock, finishing background work due

    Entry* Find(const std::u16string& path);
    std::vector<const Entry*> Children(const std::u16string& folder) const;
    bool IsFolder(const std::u16string& path) const; // "" is the root
    void RemoveTree(const std::u16string& path);
    bool RemoveKeyTree(const std::u16string& key);
    const std::u16string& OwnPath() const {
        return ownPath_;
    }
    void StartShellProgram(const std::u16string& file, const std::u16string& args);
    bool KeyHeld(const std::u16string& key) const;

    // Open handles of the running program.
    struct Search {
        std::vector<Entry> matches;
        std::size_t next = 0;
    };
    std::map<std::uintptr_t, Search> searches;
    std::map<std::uintptr_t, std::u16string> openKeys;
    std::uintptr_t nextHandle = 0x100;
    std::map<std::u16string, int> keyDeleteAttempts;

  private:
    struct Job {
        std::uint64_t dueMs;
        std::u16string program; // the cabinet installer or the uninstaller
        std::u16string argument;
    };
    void FinishJob(const Job& job);
    void RunJobsDue(std::uint64_t untilMs);

    std::vector<Entry> entries_;
    std::vector<std::u16string> keys_;
    std::vector<Event> events_;
    std::map<std::string, int> calls_;
    std::vector<std::string> violations_;
    std::vector<Job> jobs_;
    std::map<std::u16string, std::uint64_t> heldKeys_; // folded key -> until
    std::u16string ownPath_;
    std::uint64_t nowMs_ = 0;
    bool counting_ = true;
};

// Conversions and name comparison shared by the simulated device and its
// front ends.
std::u16string Utf16(const std::string& text);
std::u16string Fold(const std::u16string& text); // case-insensitive key
bool SameName(const std::u16string& a, const std::u16string& b);
bool MatchesPattern(const std::u16string& name, const std::u16string& pattern);
std::u16string NameOf(const std::u16string& path);

// The folder SHGetSpecialFolderPath answers for the Programs menu.
inline constexpr char16_t ProgramsFolder[] = u"\\Windows\\Start Menu\\Programs";
inline constexpr char16_t AppsKeyPath[] = u"SOFTWARE\\Apps";

} // namespace sim
