// The Configuration Manager of Windows Mobile 5 and later: DMProcessConfigXML
// carries out a provisioning document (OMA Client Provisioning, in the form
// Microsoft's MSPROV elements give it) through the configuration service
// providers the device has, at once. Of the providers it carries out
// UnInstall: each application's characteristic whose "uninstall" parm is 1 is
// uninstalled by the record of installations the uninstaller goes by.
#pragma once

#include "device/config.h"
#include "device/installations.h"
#include "device/uninstaller.h"
#include "platform/platform.h"

#include <string>
#include <vector>

namespace sim {

// What DMProcessConfigXML answers, as winerror.h and cfgmgrapi.h number them.
constexpr platform::HRESULT EInvalidArg = static_cast<platform::HRESULT>(0x80070057u);
constexpr platform::HRESULT ConfigEEntryNotFound = static_cast<platform::HRESULT>(0x80042004u);
constexpr platform::HRESULT ConfigECspException = static_cast<platform::HRESULT>(0x80042007u);
constexpr platform::HRESULT ConfigEBadXml = static_cast<platform::HRESULT>(0x80042009u);
// "S_OK", "CONFIG_E_BAD_XML", ...; empty for an answer the device does not give.
const char* ResultName(platform::HRESULT result);

// The providers the device carries out: "UnInstall".
bool ProviderModelled(const std::string& name);
std::string ModelledProviders();

// What a document's processing answered and did.
struct Configured {
    platform::HRESULT result = platform::SOk;
    bool hasOutput = false;
    std::u16string output; // the document answered
    std::string why;       // when it failed: why, in the device's words
    // What the UnInstall provider uninstalled, and the files, folders and
    // keys that went with them.
    std::vector<std::u16string> asked; // the applications the document asks it to uninstall
    std::vector<std::u16string> apps;
    std::vector<std::u16string> files;
    std::vector<std::u16string> keys;
    std::vector<std::u16string> kept; // folders it made and leaves
    // The device's facts it rested on: its providers, and how deep the
    // uninstaller reaches when it left folders.
    std::vector<std::u16string> facts = {};
};

class ConfigManager {
  public:
    ConfigManager(const Config& config, const Installations& installed, Uninstaller& uninstaller)
        : config_(config), installed_(installed), uninstaller_(uninstaller) {}

    // Carries out a document with flags (CFGFLAG_PROCESS). A document is
    // carried out whole or not at all: on an error nothing is changed.
    Configured Process(const std::u16string& document, platform::DWORD flags);

  private:
    const Config& config_;
    const Installations& installed_;
    Uninstaller& uninstaller_;
};

} // namespace sim
