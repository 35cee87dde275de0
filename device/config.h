// What kind of device it is: the facts it answers with, its standard
// folders, what its shell, installer and uninstaller do, and how long they
// take. Given once, when the device is made.
#pragma once

#include "device/store.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sim {

// 2026-12-01T09:00:00Z: the device clock at the start, unless told otherwise.
constexpr Ticks DefaultClockStart = 134405892000000000ull;

// What running \Windows\Unload.exe does on this kind of device.
enum class Unload {
    Uninstalls,  // removes what the installer installed under the name it is given
    DoesNothing, // is there, but uninstalling goes another way: it removes nothing
    Absent,      // is not there: starting it fails
};

using Folders = std::map<std::u16string, std::u16string>;

// The facts of a kind of device by the names descriptions and profiles give
// them. An event that the device's facts decided names the ones it rested
// on: the shell's folder on a card rests on the processor, the loader's
// refusal of an image on the version it compared.
namespace fact {
constexpr char16_t Platform[] = u"platform";
constexpr char16_t OsMajor[] = u"osMajor";
constexpr char16_t OsMinor[] = u"osMinor";
constexpr char16_t OsBuild[] = u"osBuild";
constexpr char16_t Processor[] = u"processor";
constexpr char16_t Folders[] = u"folders";
constexpr char16_t Unload[] = u"unload";
constexpr char16_t UninstallerDepth[] = u"uninstallerDepth";
constexpr char16_t InstallerChecksMaxVersion[] = u"installerChecksMaxVersion";
constexpr char16_t InstallerDeletesPackage[] = u"installerDeletesPackage";
constexpr char16_t ConfigurationProviders[] = u"configurationProviders";
constexpr char16_t AutoRunPolicy[] = u"autoRunPolicy";
} // namespace fact

// What a library other than COREDLL may export, of the procedures the device
// carries out: the Configuration Manager's DMProcessConfigXML.
enum class Procedure { DMProcessConfigXML };

// A library the device has besides COREDLL (whose exports are the platform
// operations): its file name and what it exports by name.
struct LibraryFacts {
    std::u16string name; // "aygshell.dll"
    std::vector<Procedure> exports;
};

// A Pocket PC's standard folders.
const std::shared_ptr<const Folders>& PocketPcFolders();

// What a new device of its kind holds before anything is installed: its
// standard folders, and its standard registry keys, each with its root
// ("HKEY_LOCAL_MACHINE\SOFTWARE\Apps", "HKEY_CURRENT_USER\Software").
// Nothing installs them and nothing removes them.
struct Standard {
    std::vector<std::u16string> folders;
    std::vector<std::u16string> keys;
};

// A bare device's: \Windows, \Program Files, and HKEY_LOCAL_MACHINE\SOFTWARE\Apps.
const std::shared_ptr<const Standard>& BareStandard();

struct Config {
    std::u16string platformType = u"PocketPC"; // SystemParametersInfo's platform type
    std::uint32_t osMajor = 4;
    std::uint32_t osMinor = 0;
    std::uint32_t osBuild = 0;
    std::uint32_t processor = 2577; // its processor type (StrongARM)
    std::u16string programsFolder = u"\\Windows\\Start Menu\\Programs"; // CSIDL_PROGRAMS
    // The installer's standard folders ("%CE1%" -> "\Program Files"), a
    // Pocket PC's unless told otherwise; shared, never changed in place.
    std::shared_ptr<const Folders> folders = PocketPcFolders();
    // SHGetSpecialFolderPath answers FALSE even when it gives the path, as
    // the shell of Pocket PC 2002 and earlier does.
    bool folderPathAnswersFalse = false;
    // Its standard folders and keys, a bare device's unless told otherwise;
    // shared, never changed in place.
    std::shared_ptr<const Standard> standard = BareStandard();
    Unload unload = Unload::Uninstalls;
    // The deepest folder the uninstaller removes, counted from the root
    // (\Program Files is level 1, \Program Files\A level 2); 0: any depth.
    std::uint32_t uninstallerDepth = 0;
    bool installerChecksMaxVersion = true;
    // The installer deletes a package once it has installed it (unless the
    // package is read-only, or its card write-protected).
    bool installerDeletesPackage = true;
    // The Auto Run Policy (security policy 2): 0 lets the shell start a
    // card's program as the card goes in, 1 restricts programs on cards from
    // running automatically.
    std::uint32_t autoRunPolicy = 0;
    std::uint64_t uninstallMs = 2500; // how long the uninstaller holds the key it removes
    // The libraries besides COREDLL, and the configuration service providers
    // of the Configuration Manager ("UnInstall"): none unless told.
    std::vector<LibraryFacts> libraries;
    std::vector<std::string> configurationProviders;
    Ticks clockStart = DefaultClockStart;
};

} // namespace sim
