// The simulated Windows CE device: object store and storage cards, platform
// probe, registry, shell with its cabinet installer and uninstaller, and a
// virtual clock. Programs run on it through platform/platform.h; tests and
// autorun-sim drive it through this interface.
//
// The device knows nothing of the program it runs: the application's names
// are data it is given. Every effect is recorded as an event. Nothing really
// waits: Sleep moves the virtual clock, and the programs the shell starts run
// beside the program in virtual time.
#pragma once

#include "platform/platform.h"
#include "device/events.h"
#include "device/operations.h"
#include "device/process.h"
#include "device/registry.h"
#include "device/store.h"

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace sim {

inline Ticks TicksOf(const platform::FILETIME& time) {
    return (static_cast<Ticks>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// 2026-12-01T09:00:00Z: the device clock at the start, unless told otherwise.
constexpr Ticks DefaultClockStart = 134405892000000000ull;

// Paths and keys that are the device's own.
inline constexpr char16_t WindowsFolder[] = u"\\Windows";
inline constexpr char16_t ProgramsFolder[] = u"\\Windows\\Start Menu\\Programs";
inline constexpr char16_t UninstallerPath[] = u"\\Windows\\Unload.exe";
// Where the shell copies a card's auto-run program, and the folder on a card
// that holds it: the processor type's number (StrongARM).
inline constexpr char16_t AutoRunCopyPath[] = u"\\Windows\\autorun.exe";
inline constexpr char16_t AutoRunOnCard[] = u"2577\\autorun.exe";
inline constexpr char16_t AppsKeyPath[] = u"SOFTWARE\\Apps";

// The application the device's cabinet installer and uninstaller work with.
struct Application {
    std::u16string name;       // its key under SOFTWARE\Apps, the uninstaller's argument
    std::u16string readerPath; // the file the installer puts on the device
    std::u16string title;      // names the Programs-menu entry a user taps
};

class Device {
  public:
    // A bare device: \Windows with Unload.exe, \Program Files, SOFTWARE\Apps.
    explicit Device(Application app = {});

    // --- Description --------------------------------------------------------
    Application app;
    std::u16string platformType = u"PocketPC";
    std::uint32_t osMajor = 4;
    std::uint64_t uninstallMs = 2500;
    Ticks clockStart = DefaultClockStart;
    std::set<Op> failing;         // operations that fail on every call
    int appKeyDeleteFailures = 0; // the first N deletions of the application key
    Launcher* launcher = nullptr; // runs the programs the device starts
    bool trace = false;           // record every operation call as an event

    Store files;
    Registry registry;

    // --- Card life ----------------------------------------------------------
    // The cards go in: any card taken out comes back with what it held (cards
    // that are in already stay in, as the shell sees them); the shell copies the first card's
    // "2577\autorun.exe" to \Windows\autorun.exe and starts the copy with "install".
    void Insert();
    // The user taps the Programs-menu entry named after the title.
    void Menu();
    // The cards come out, kept whole; the shell starts \Windows\autorun.exe.
    // With no card in, nothing happens.
    void Remove();
    // Starts the file at path as a program with a command line; returns its
    // exit code (for a crash, the exception code).
    int Run(const std::u16string& path, const std::u16string& args);
    // Records the start of a step that is not one of the above.
    void Step(const std::string& name, Fields fields = {});

    // Makes the device current for one program: the platform operations act
    // on it. On leaving, searches and keys left open are recorded as misuse
    // and the previous device becomes current again.
    class Use {
      public:
        Use(Device& device, Process process);
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

      private:
        Device& device_;
        Device* previous_;
    };

    // Within its scope, operation calls are neither counted nor traced: a
    // front end may ask the program's own functions what a run will find.
    class Quiet {
      public:
        explicit Quiet(Device& device);
        ~Quiet();
        Quiet(const Quiet&) = delete;
        Quiet& operator=(const Quiet&) = delete;

      private:
        Device& device_;
        bool counting_;
        std::uintptr_t nextHandle_;
    };

    // --- What happened ------------------------------------------------------
    const std::vector<Event>& Events() const {
        return events_;
    }
    std::uint64_t NowMs() const {
        return nowMs_;
    }
    Ticks Now() const {
        return clockStart + nowMs_ * TicksPerMs;
    }
    // How often the running programs called an operation, and how often the
    // call was made to fail.
    int CallsOf(Op op) const {
        return calls_[static_cast<std::size_t>(op)];
    }
    int FailuresOf(Op op) const {
        return failures_[static_cast<std::size_t>(op)];
    }
    // Misuse of the platform: paths without a terminator within 260 units,
    // handles left open, wrong record sizes or instances.
    const std::vector<std::string>& Violations() const {
        return violations_;
    }
    // The cards taken out and not yet put back.
    std::vector<std::u16string> CardsOut() const;

    // --- Used by the platform operations ------------------------------------
    static Device* Current();
    const Process& Running() const {
        return process_;
    }
    bool Fails(Op op); // counts the call; true when it is to fail
    bool Tracing() const {
        return trace && counting_;
    }
    void Trace(Op op, Fields fields);
    void Violation(const std::string& what);
    void Emit(EventKind kind, Fields fields);
    void Advance(std::uint64_t ms); // moves the clock, finishing work that falls due
    void StartShellProgram(const std::u16string& file, const std::u16string& args);
    bool KeyHeld(const std::u16string& key) const;
    bool ConsumeAppKeyDeleteFailure(const std::u16string& key);

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
        bool install; // the cabinet installer; otherwise the uninstaller
        std::u16string argument;
    };
    void Install(const Job& job);
    void Uninstall(const Job& job);
    void RunJobsDue(std::uint64_t untilMs);
    std::u16string AppKey(const std::u16string& name) const;
    long long CardsIn() const;

    std::vector<Event> events_;
    std::array<int, OpCount> calls_{};
    std::array<int, OpCount> failures_{};
    std::vector<std::string> violations_;
    std::vector<Job> jobs_;
    std::map<std::u16string, std::uint64_t> heldKeys_; // folded key -> until
    std::vector<Store::Tree> cardsOut_;
    Process process_;
    std::uint64_t nowMs_ = 0;
    bool counting_ = true;
};

} // namespace sim
