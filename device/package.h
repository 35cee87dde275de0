// A Windows CE installation cabinet read from the bytes of a ".cab" file: an
// MS-CAB cabinet (read with libmspack, from memory) whose ".000" file, the
// setup file, declares what the package installs, and whose ".001", ".002",
// ... files are the files it installs. Every count, offset and length in the
// setup file is checked; a malformed package gives a short reason, never a
// read outside the bytes. The device calls such a package "not a valid
// Windows CE Setup file".
//
// Folders, hives and links are left as the package states them, as text with
// its "%CEn%" and "%InstallDir%" in place: which folder "%CE11%" is depends
// on the kind of device, which the installer knows and this reader does not.
// What the package leaves implicit is settled here, as CabWiz writes it: the
// install directory, each link's folder and the name of its file.
#pragma once

#include "device/store.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

// A package with more files than this is not valid (so the device says).
constexpr std::size_t MaxPackageFiles = 998;
// The most the files read from one cabinet, the setup file included, may
// hold once decompressed: far above any handheld's package, and a bound on
// what a hostile cabinet can make the reader allocate.
constexpr std::uint64_t MaxPackageBytes = 64u << 20;

// The header's processor value that allows any processor.
constexpr std::uint32_t AnyProcessor = 0;

// File flags of the FILES section.
enum : std::uint32_t {
    PackageFileWarnIfSkipped = 0x1,
    PackageFileNoSkip = 0x2,
    PackageFileNoOverwrite = 0x10,        // keep a target that exists
    PackageFileOnlyIfExists = 0x400,      // copy only over a target that exists
    PackageFileSelfRegister = 0x10000000, // a DLL that registers itself
    PackageFileKeepNewer = 0x20000000,    // keep a target that is newer
    PackageFileIgnoreDate = 0x40000000,   // always overwrite
    PackageFileShared = 0x80000000,       // reference-counted
};

struct PackageHeader {
    std::uint32_t processor = AnyProcessor; // 2577: StrongARM
    // The OS versions it installs on; 0 means no limit.
    std::uint32_t minMajor = 0, minMinor = 0, maxMajor = 0, maxMinor = 0;
    std::uint32_t minBuild = 0, maxBuild = 0;
    std::string appName;
    std::string provider;
    std::vector<std::string> unsupported; // platform names, e.g. "HPC", "JORDAN"
};

struct PackageFolder {
    std::uint16_t id = 0;
    std::string path; // its strings joined with "\", e.g. "%CE1%\Maker\App"
};

struct PackageFile {
    std::uint16_t id = 0; // also its number in the cabinet: file 5 is ".005"
    std::string folder;   // the path of the folder it goes in
    std::uint32_t flags = 0;
    std::string name; // the installed file's name
    Content bytes;    // what it holds (ReadSetupFile leaves it empty)
    Ticks time = 0;   // the date and time the cabinet gives it (ReadSetupFile: 0)
};

// Registry roots, as the REGHIVES section numbers them.
enum : std::uint16_t {
    PackageRootClassesRoot = 1,
    PackageRootCurrentUser = 2,
    PackageRootLocalMachine = 3,
    PackageRootUsers = 4,
};

struct PackageHive {
    std::uint16_t id = 0;
    std::uint16_t root = 0; // PackageRoot...
    std::string path;       // the key under the root, e.g. "Software\Maker"; may be empty
};

enum class PackageValueType { String, MultiString, Dword, Binary };

struct PackageValue {
    std::uint16_t root = 0;
    std::string key;  // its hive's path
    std::string name; // empty: the key's default value
    PackageValueType type = PackageValueType::String;
    std::string text;               // String
    std::vector<std::string> texts; // MultiString
    std::uint32_t number = 0;       // Dword
    std::vector<std::uint8_t> data; // Binary
    bool substitute = false;        // "%InstallDir%" and "%CEn%" in its text are replaced
    bool noClobber = false;         // a value that exists already is kept
};

struct PackageLink {
    std::uint16_t id = 0;
    // The folder the shortcut goes in: "%CEn%" when the entry's base is n
    // (as Visual Studio 2008's CabWiz writes it); with base 0, the path of
    // the directory named in the field before it (as the Pocket PC 2003
    // SDK's CabWiz writes it), or "%InstallDir%" when that field is 0 too.
    std::string folder;
    // Its strings joined with "\", as stored: "App Help", or
    // "App Help.lnk" as CabWiz stores it.
    std::string name;
    // The shortcut file to make in folder: the name as stored when it ends
    // in ".lnk" (in any case), else the name with ".lnk" added.
    std::string file;
    bool toFile = false;
    // The installed file it starts ("<folder>\<name>" of that file), or the
    // folder it opens ("%InstallDir%" for directory 0).
    std::string target;
};

// Where a package's install directory was read from.
enum class PackageInstallDirFrom {
    Folder1, // directory 1's path: CabWiz writes the INF's InstallDir there
    String1, // string 1 (CabWiz's InstallDir too), when directory 1 is no folder
    AppName, // neither is a folder: "%CE1%\<AppName>"
};

struct Package {
    PackageHeader header;
    std::map<std::uint16_t, std::string> strings; // by id
    std::vector<PackageFolder> folders;
    std::vector<PackageFile> files;
    std::vector<PackageHive> hives;
    std::vector<PackageValue> values;
    std::vector<PackageLink> links;
    // The install directory, as text: "%CE1%\Maker\App", "%CE2%". What
    // "%InstallDir%" stands for in folders, links and registry values, and
    // what the application key's InstallDir names once put in. It starts
    // with "%CEn%" (1 to 17) or "\".
    std::string installDir;
    PackageInstallDirFrom installDirFrom = PackageInstallDirFrom::AppName;
    // A setup DLL: the cabinet's ".999" file, which the device's installer
    // would load and run. Its name in the cabinet (e.g. "000Setup.999"; the
    // name it had is not stored), empty when there is none.
    bool hasSetupDll = false;
    std::string setupDll;
};

// Reads a cabinet's bytes as a Windows CE installation cabinet. False, with
// error set to a short text that names what is wrong, when they are not one.
bool ReadPackage(const std::vector<std::uint8_t>& bytes, Package& package, std::string& error);

// Reads a setup file (".000") alone: everything but the files' bytes and
// times, and so without checking that the cabinet holds each file.
bool ReadSetupFile(const std::vector<std::uint8_t>& bytes, Package& package, std::string& error);

} // namespace sim
