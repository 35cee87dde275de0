// The device's cabinet installer: reads a package the shell hands it as a
// Windows CE installation cabinet, refuses one that is not for this device,
// installs what it declares at this device's folders, registers the
// application under SOFTWARE\Apps, keeps a record of what it installed, and
// then deletes the package, as it does unless told otherwise, where this kind
// of device's installer does.
#pragma once

#include "device/clock.h"
#include "device/config.h"
#include "device/events.h"
#include "device/installations.h"
#include "device/registry.h"
#include "device/store.h"

#include <map>
#include <string>

namespace sim {

struct Package;
struct PackageHeader;

// The name a package's application is installed under, which names its key
// under SOFTWARE\Apps: "<Provider> <AppName>", or the AppName alone.
std::u16string ApplicationName(const PackageHeader& header);

class CabInstaller {
  public:
    CabInstaller(const Config& config, Store& files, Registry& registry,
                 std::map<std::u16string, Registry>& roots, const Clock& clock, EventLog& log)
        : config_(config), files_(files), registry_(registry), roots_(roots), clock_(clock),
          log_(log) {}

    // Installs the package at that path, as the shell hands it over.
    void Install(const std::u16string& package);

    // What it installed, by application.
    Installations& Installed() {
        return installed_;
    }

  private:
    struct Plan;
    bool Read(const std::u16string& path, Package& package, std::u16string& name);
    bool Place(const std::u16string& path, const std::u16string& name, const Package& package,
               Plan& plan);
    void PutFiles(const Package& package, Plan& plan);
    void PutValues(const Package& package, Plan& plan);
    void Register(const std::u16string& path, const std::u16string& name, Plan& plan);
    void DeletePackage(const std::u16string& package);

    const Config& config_;
    Store& files_;
    Registry& registry_;
    std::map<std::u16string, Registry>& roots_;
    const Clock& clock_;
    EventLog& log_;
    Installations installed_;
};

} // namespace sim
