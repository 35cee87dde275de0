// The device's uninstaller, \Windows\Unload.exe: given an application's
// name, it holds the application's key open while it works, then removes
// what the cabinet installer installed under that name (files and
// shortcuts, the folders it made once they are empty and as deep as this
// kind of uninstaller reaches, registry values and keys) and the
// application's key. Given a name nothing was installed under,
// it removes nothing. Where the kind of device uninstalls another way, it
// removes nothing at all.
#pragma once

#include "device/clock.h"
#include "device/config.h"
#include "device/events.h"
#include "device/installations.h"
#include "device/registry.h"
#include "device/store.h"

#include <map>
#include <string>
#include <vector>

namespace sim {

class Uninstaller {
  public:
    Uninstaller(const Config& config, Store& files, Registry& registry,
                std::map<std::u16string, Registry>& roots, Clock& clock, EventLog& log,
                Installations& installed)
        : config_(config), files_(files), registry_(registry), roots_(roots), clock_(clock),
          log_(log), installed_(installed) {}

    // Starts it, told the application's name: it works beside the program
    // that started it, and finishes after the device's uninstallMs.
    void Start(const std::u16string& name);

    // Removes at once what the installer installed under the name, by the
    // record of installations (the Configuration Manager's UnInstall
    // provider goes by it too): the files and folders, then the keys,
    // removed, and the folders it made that it leaves (deeper than this kind
    // of uninstaller reaches, or not empty). False, removing nothing, when
    // nothing was installed under it.
    bool Remove(const std::u16string& name, std::vector<std::u16string>& files,
                std::vector<std::u16string>& keys, std::vector<std::u16string>& kept);

  private:
    void Uninstall(const std::u16string& name);

    const Config& config_;
    Store& files_;
    Registry& registry_;
    std::map<std::u16string, Registry>& roots_;
    Clock& clock_;
    EventLog& log_;
    Installations& installed_;
};

} // namespace sim
