// The simulated Windows CE device: its kind (Config), object store and
// storage cards, registry, virtual clock with the work that falls due, fault
// plan, shell with its cabinet installer and uninstaller, and the log of what
// happened. Programs run on it through platform/platform.h (implemented over
// it in platform/sim/); tests and autorun-sim set it up, drive it through the
// card's life and read it through this interface.
//
// The device knows nothing of the programs it runs: not their names, not
// their rules. Every call a program makes is recorded with its arguments,
// result and outputs, and every effect as an event. Nothing really waits:
// Sleep moves the virtual clock, and the programs the shell starts run beside
// the program in virtual time.
#pragma once

#include "device/clock.h"
#include "device/config.h"
#include "device/events.h"
#include "device/faults.h"
#include "device/handles.h"
#include "device/process.h"
#include "device/registry.h"
#include "device/shell.h"
#include "device/store.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sim {

inline Ticks TicksOf(const platform::FILETIME& time) {
    return (static_cast<Ticks>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

class Device {
  public:
    // A bare device of this kind: \Windows (with \Windows\Unload.exe unless
    // the kind has none), \Program Files, and the key SOFTWARE\Apps.
    explicit Device(Config config = {}, Launcher* launcher = nullptr);
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // --- Setup, before the first step --------------------------------------
    // Adds an entry, or gives one that exists its attributes, time and
    // content; missing parent folders are made as plain folders.
    void Put(const Entry& entry);
    // Removes an entry with everything under it.
    void Erase(const std::u16string& path);
    void PutKey(const std::u16string& key); // and its missing parents
    void ClearRegistry();
    void AddFault(const FaultRule& rule);
    void SetLauncher(Launcher* launcher) {
        launcher_ = launcher;
    }

    // --- The card's life ----------------------------------------------------
    // The cards go in; the user taps a file; the cards come out (see Shell).
    void Insert() {
        shell_.Insert();
    }
    void Tap(const std::u16string& file) {
        shell_.Tap(file);
    }
    void Remove() {
        shell_.Remove();
    }
    // Starts the file at path as a program with a command line, and lets
    // what it started finish; returns its exit code (for a crash, the
    // exception code).
    int Run(const std::u16string& path, const std::u16string& args);
    // Records the start of a step.
    void Step(const std::string& name, Fields fields = {}) {
        shell_.Step(name, std::move(fields));
    }

    // --- What the device is and what happened -------------------------------
    const Config& Facts() const {
        return config_;
    }
    const Store& Files() const {
        return files_;
    }
    // The registry: HKEY_LOCAL_MACHINE, which programs open, and the other
    // roots an installer wrote to, by name.
    const Registry& Keys() const {
        return registry_;
    }
    const std::map<std::u16string, Registry>& OtherRoots() const {
        return roots_;
    }
    const std::vector<Event>& Events() const {
        return log_.Events();
    }
    const FaultPlan& Faults() const {
        return faults_;
    }
    std::uint64_t NowMs() const {
        return clock_.NowMs();
    }
    Ticks Now() const {
        return clock_.Now();
    }
    // Misuse of the platform: paths without a terminator within 260 units,
    // handles left open, wrong record sizes or instances.
    const std::vector<std::string>& Violations() const {
        return violations_;
    }
    // The cards taken out and not yet put back.
    std::vector<std::u16string> CardsOut() const {
        return shell_.CardsOut();
    }

    // --- A program's run ----------------------------------------------------
    // Makes the device current for one run of a program: the platform
    // operations act on it and on the run's handles. On leaving, searches and
    // keys left open are recorded as misuse and the previous device becomes
    // current again.
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

  private:
    // The platform operations (platform/sim/calls.cpp) reach the device's
    // parts through this, and nothing else does.
    friend class Operations;

    static Device* Current();

    Config config_;
    Clock clock_;
    EventLog log_;
    Store files_;
    Registry registry_;
    std::map<std::u16string, Registry> roots_;
    FaultPlan faults_;
    Shell shell_;
    Launcher* launcher_ = nullptr;
    std::vector<std::string> violations_;

    // The run under way.
    Process process_;
    Handles handles_;
    std::map<std::u16string, int> keyDeleteAttempts_; // folded key -> attempts this run
};

} // namespace sim
