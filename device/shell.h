// The device's shell: the storage-card auto-run that starts programs as cards
// go in and come out, the user's tap on a file, and the files programs ask it
// to open: programs are started, packages handed to the cabinet installer,
// and \Windows\Unload.exe is the uninstaller.
#pragma once

#include "device/clock.h"
#include "device/config.h"
#include "device/events.h"
#include "device/registry.h"
#include "device/store.h"
#include "platform/platform.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace sim {

// Paths and keys that are the device's own.
inline constexpr char16_t WindowsFolder[] = u"\\Windows";
inline constexpr char16_t UninstallerPath[] = u"\\Windows\\Unload.exe";
// Where the shell copies a card's auto-run program before starting it.
inline constexpr char16_t AutoRunCopyPath[] = u"\\Windows\\autorun.exe";
inline constexpr char16_t AppsKeyPath[] = u"SOFTWARE\\Apps";

// An application's key under HKEY_LOCAL_MACHINE\SOFTWARE\Apps; keys of
// HKEY_LOCAL_MACHINE as events name them, with their root.
std::u16string AppKey(const std::u16string& name);
std::vector<std::u16string> Rooted(std::vector<std::u16string> keys);

// What the shell, the installer and the uninstaller work with: the device's
// kind, store, registry, clock and log, and a way to start a program.
struct ShellParts {
    const Config& config;
    Store& files;
    Registry& registry;                        // HKEY_LOCAL_MACHINE
    std::map<std::u16string, Registry>& roots; // the other roots, by name ("HKEY_CURRENT_USER")
    Clock& clock;
    EventLog& log;
    std::function<int(const std::u16string& path, const std::u16string& args)> run;
};

// A registry value an installation set: its root ("HKEY_LOCAL_MACHINE"),
// key and name.
struct InstalledValue {
    std::u16string root;
    std::u16string key;
    std::u16string name;
};

// What the cabinet installer installed under an application's name, for
// the uninstaller to remove.
struct Installation {
    std::vector<std::u16string> files;   // in the order they were made, shortcuts too
    std::vector<std::u16string> folders; // that the installation made
    std::vector<std::u16string> keys;    // that it made under HKEY_LOCAL_MACHINE
    std::vector<InstalledValue> values;
    std::vector<std::pair<std::u16string, std::u16string>> rootKeys; // root, key: the others
};

class Shell {
  public:
    explicit Shell(ShellParts parts) : parts_(std::move(parts)) {}

    // The cards go in: any card taken out comes back with what it held (cards
    // that are in stay in, as the shell sees them); the shell copies the
    // first card's (in root order) "<processor>\autorun.exe" to
    // \Windows\autorun.exe and starts the copy with "install".
    void Insert();
    // The user taps a file (in the Programs menu, say): it starts with an
    // empty command line. No file, or an empty path: nothing runs.
    void Tap(const std::u16string& file);
    // The cards come out, kept whole; the shell starts \Windows\autorun.exe
    // with "uninstall". With no card in, nothing happens.
    void Remove();

    // A program asks the shell to start a file with a command line. False,
    // with the error and why, when the shell cannot.
    bool Open(const std::u16string& file, const std::u16string& args, platform::LONG& error,
              std::string& why);

    std::vector<std::u16string> CardsOut() const;
    // Records the start of a step of the card's life.
    void Step(const std::string& name, Fields fields);

  private:
    // The cabinet installer (installer.cpp) and the uninstaller
    // (uninstaller.cpp).
    void Install(const std::u16string& package);
    void InstallStandIn(const std::u16string& package);
    void DeletePackage(const std::u16string& package);
    void Remember(const std::u16string& name, const Installation& made);
    void Uninstall(const std::u16string& name);
    long long CardsIn() const;

    ShellParts parts_;
    std::vector<Store::Tree> cardsOut_;
    std::map<std::u16string, Installation> installed_; // folded name -> what it installed
};

} // namespace sim
