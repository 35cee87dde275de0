// The simulated Windows CE device: its kind (Config), its parts (object store
// and storage cards, registry, what it says of itself, loader, libraries,
// shell with its cabinet installer and uninstaller, Configuration Manager),
// its virtual clock with the work that
// falls due, its fault plan, and the log of what happened. Programs run on it
// through platform/platform.h (implemented over its parts in platform/sim/);
// tests and autorun-sim set it up, drive it through the card's life and read
// it through this interface.
//
// The device knows nothing of the programs it runs: not their names, not
// their rules. Every call a program makes is recorded with its arguments,
// result and outputs, and every effect as an event. Nothing really waits:
// Sleep moves the virtual clock, and the programs the shell starts run beside
// the program in virtual time.
#pragma once

#include "device/cab_installer.h"
#include "device/clock.h"
#include "device/config.h"
#include "device/config_manager.h"
#include "device/events.h"
#include "device/faults.h"
#include "device/handles.h"
#include "device/libraries.h"
#include "device/loader.h"
#include "device/paths.h"
#include "device/process.h"
#include "device/registry.h"
#include "device/shell.h"
#include "device/store.h"
#include "device/system.h"
#include "device/uninstaller.h"

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
    // A new device of this kind: \Windows (with \Windows\Unload.exe unless
    // the kind has none) and its kind's standard folders and keys.
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
    // The cabinet installer installs the package at path, as when a program
    // opens it, at once.
    void InstallPackage(const std::u16string& path) {
        installer_.Install(path);
    }
    void SetLauncher(Launcher* launcher) {
        launcher_ = launcher;
    }

    // --- The card's life ----------------------------------------------------
    // The cards go in; the user taps the program's entry in the Programs
    // menu, or a file; the cards come out (see Shell).
    void Insert() {
        shell_.Insert();
    }
    void TapMenu() {
        shell_.TapMenu();
    }
    void Tap(const std::u16string& file) {
        shell_.Tap(file);
    }
    void Remove() {
        shell_.Remove();
    }
    // Starts the file at path as a program with a command line, and lets
    // what it started finish; returns its exit code (for a crash, the
    // exception code; for a file the loader does not start, BadExeFormat).
    int Run(const std::u16string& path, const std::u16string& args);
    // Records the start of a step.
    void Step(const ev::Step& step) {
        log_.Emit(step);
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
    const Shell& TheShell() const {
        return shell_;
    }
    std::uint64_t NowMs() const {
        return clock_.NowMs();
    }
    Ticks Now() const {
        return clock_.Now();
    }
    // Misuse of the platform: paths without a terminator within 260 units,
    // handles left open, libraries left loaded, wrong record sizes or
    // instances.
    const std::vector<std::string>& Violations() const {
        return violations_;
    }
    // The cards taken out and not yet put back.
    std::vector<std::u16string> CardsOut() const {
        return shell_.CardsOut();
    }

    // --- A program's run ----------------------------------------------------
    // Makes the device current for one run of a program, which begins: the
    // platform operations act on it and on the run's handles. On leaving,
    // searches and keys left open are recorded as misuse and the previous
    // device becomes current again.
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

    // The device a program's run is on, as the platform operations reach it,
    // with the parts they ask. A platform call outside a run aborts.
    static Device& Current();
    Store& Files() {
        return files_;
    }
    Registry& Keys() {
        return registry_;
    }
    Shell& TheShell() {
        return shell_;
    }
    const System& TheSystem() const {
        return system_;
    }
    const Loader& TheLoader() const {
        return loader_;
    }
    const Libraries& TheLibraries() const {
        return libraries_;
    }
    ConfigManager& Configuration() {
        return configuration_;
    }
    FaultPlan& Faults() {
        return faults_;
    }
    Clock& Time() {
        return clock_;
    }
    EventLog& Log() {
        return log_;
    }
    // The run under way: the program, and what it holds.
    const Process& Running() const {
        return process_;
    }
    Handles& Held() {
        return handles_;
    }
    // A misuse of the platform by the running program.
    void Misuse(const std::string& what) {
        violations_.push_back(what);
    }

  private:
    Config config_;
    Clock clock_;
    EventLog log_;
    Store files_;
    Registry registry_;
    std::map<std::u16string, Registry> roots_;
    FaultPlan faults_;
    System system_;
    Loader loader_;
    CabInstaller installer_;
    Uninstaller uninstaller_;
    Libraries libraries_;
    ConfigManager configuration_;
    Shell shell_;
    Launcher* launcher_ = nullptr;
    std::vector<std::string> violations_;

    // The run under way.
    Process process_;
    Handles handles_;
};

} // namespace sim
