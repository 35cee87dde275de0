// The device's cabinet installer.
#include "device/cab_installer.h"

#include "device/names.h"
#include "device/package.h"
#include "device/paths.h"
#include "device/processors.h"

#include <cstdio>

namespace sim {

namespace {

std::string Version(std::uint32_t major, std::uint32_t minor) {
    return std::to_string(major) + "." + std::to_string(minor);
}

// Whether version a is before version b.
bool Before(std::uint32_t aMajor, std::uint32_t aMinor, std::uint32_t bMajor,
            std::uint32_t bMinor) {
    return aMajor != bMajor ? aMajor < bMajor : aMinor < bMinor;
}

// The version a package's bounds are compared with: the major, and the
// minor when the majors are the same.
void Compared(std::uint32_t major, const Config& device, Texts& facts) {
    facts.push_back(fact::OsMajor);
    if (major == device.osMajor) {
        facts.push_back(fact::OsMinor);
    }
}

// Why this device refuses the package (empty when it does not), and the
// facts of the device that its checks compared, as far as they went.
std::string Refusal(const PackageHeader& header, const Config& device, Texts& facts) {
    if (header.processor != AnyProcessor) {
        facts.push_back(fact::Processor);
        if (header.processor != device.processor) {
            return "it is for processor " + ProcessorText(header.processor) +
                   ", and this device's is " + ProcessorText(device.processor);
        }
    }
    const std::string version = Version(device.osMajor, device.osMinor);
    if (header.minMajor != 0 || header.minMinor != 0) {
        Compared(header.minMajor, device, facts);
        if (Before(device.osMajor, device.osMinor, header.minMajor, header.minMinor)) {
            return "it needs Windows CE " + Version(header.minMajor, header.minMinor) +
                   " or later, and this device has " + version;
        }
    }
    const bool maxVersion = header.maxMajor != 0 || header.maxMinor != 0;
    if (maxVersion || header.maxBuild != 0) {
        facts.push_back(fact::InstallerChecksMaxVersion);
    }
    if (device.installerChecksMaxVersion && maxVersion) {
        Compared(header.maxMajor, device, facts);
        if (Before(header.maxMajor, header.maxMinor, device.osMajor, device.osMinor)) {
            return "it is for Windows CE " + Version(header.maxMajor, header.maxMinor) +
                   " at most, and this device has " + version;
        }
    }
    if (header.minBuild != 0 || (device.installerChecksMaxVersion && header.maxBuild != 0)) {
        facts.push_back(fact::OsBuild);
    }
    if (header.minBuild != 0 && device.osBuild < header.minBuild) {
        return "it needs build " + std::to_string(header.minBuild) +
               " or later, and this device's is " + std::to_string(device.osBuild);
    }
    if (device.installerChecksMaxVersion && header.maxBuild != 0 &&
        device.osBuild > header.maxBuild) {
        return "it is for build " + std::to_string(header.maxBuild) +
               " at most, and this device's is " + std::to_string(device.osBuild);
    }
    if (!header.unsupported.empty()) {
        facts.push_back(fact::Platform);
    }
    for (const std::string& platform : header.unsupported) {
        if (SameName(Utf16(platform), device.platformType)) {
            return "it does not support the platform \"" + platform + "\", which this device is";
        }
    }
    return std::string();
}

// The device's folders for a package's "%CEn%" and "%InstallDir%".
class Places {
  public:
    Places(const Config& device, const std::u16string& installDir)
        : device_(device), installDir_(installDir) {}

    // A package's folder text as a path on this device; false, with why,
    // when it names a standard folder this device does not have or is no
    // path at all.
    bool Resolve(const std::string& text, std::u16string& path, std::string& why) const {
        const std::u16string wide = Utf16(text);
        const std::size_t end = wide.find(u'\\');
        const std::u16string first = wide.substr(0, end);
        const std::u16string rest = end == std::u16string::npos ? u"" : wide.substr(end);
        if (SameName(first, u"%InstallDir%")) {
            path = installDir_ + rest;
            return true;
        }
        if (first.size() > 2 && first.front() == u'%' && first.back() == u'%') {
            for (const auto& folder : *device_.folders) {
                if (SameName(folder.first, first)) {
                    path = folder.second + rest;
                    return true;
                }
            }
            why = "this kind of device has no folder " + Utf8(first);
            lacks_ = true;
            return false;
        }
        if (!wide.empty() && wide[0] == u'\\') {
            path = wide;
            return true;
        }
        why = "it is not a path on the device";
        return false;
    }

    // Whether a package's folder failed to resolve for a standard folder
    // this kind of device does not have (its `folders` fact).
    bool Lacks() const {
        return lacks_;
    }

    // A registry value's text with "%InstallDir%" and the "%CEn%" folders
    // put in.
    std::u16string Substituted(const std::string& text) const {
        std::u16string out = Utf16(text);
        auto replace = [&out](const std::u16string& name, const std::u16string& with) {
            for (std::size_t at = 0; at + name.size() <= out.size();) {
                if (SameName(out.substr(at, name.size()), name)) {
                    out.replace(at, name.size(), with);
                    at += with.size();
                } else {
                    ++at;
                }
            }
        };
        replace(u"%InstallDir%", installDir_);
        for (const auto& folder : *device_.folders) {
            replace(folder.first, folder.second);
        }
        return out;
    }

  private:
    const Config& device_;
    std::u16string installDir_;
    mutable bool lacks_ = false;
};

const char* RootName(std::uint16_t root) {
    switch (root) {
    case PackageRootClassesRoot:
        return "HKEY_CLASSES_ROOT";
    case PackageRootCurrentUser:
        return "HKEY_CURRENT_USER";
    case PackageRootUsers:
        return "HKEY_USERS";
    default:
        return "HKEY_LOCAL_MACHINE";
    }
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (std::uint8_t byte : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

RegistryValue ValueOf(const PackageValue& value, const Places& places) {
    RegistryValue out;
    out.name = Utf16(value.name);
    switch (value.type) {
    case PackageValueType::String:
        out.type = "string";
        out.text = value.substitute ? places.Substituted(value.text) : Utf16(value.text);
        break;
    case PackageValueType::MultiString: {
        out.type = "multi-string";
        std::vector<std::u16string> texts;
        for (const std::string& text : value.texts) {
            texts.push_back(value.substitute ? places.Substituted(text) : Utf16(text));
        }
        out.texts = texts;
        break;
    }
    case PackageValueType::Dword:
        out.type = "dword";
        out.number = value.number;
        break;
    case PackageValueType::Binary:
        out.type = "binary";
        out.text = Utf16(Hex(value.data));
        break;
    }
    return out;
}

// A shortcut file as the device's shell reads one: the target's length, "#",
// and the target in quotes.
Content ShortcutTo(const std::u16string& target) {
    const std::string quoted = "\"" + Utf8(target) + "\"";
    const std::string text = std::to_string(quoted.size()) + "#" + quoted;
    return std::make_shared<const std::vector<std::uint8_t>>(text.begin(), text.end());
}

} // namespace

std::u16string ApplicationName(const PackageHeader& header) {
    return Utf16(header.provider.empty() ? header.appName : header.provider + " " + header.appName);
}

// Where an installation puts everything, all settled before anything
// changes: a package refused changes nothing on the device.
struct CabInstaller::Plan {
    std::u16string installDir;
    std::vector<std::u16string> targets;                              // each file's, in order
    std::vector<std::pair<std::u16string, std::u16string>> shortcuts; // file, target
    Installation made;
    std::vector<std::u16string> kept; // files that were there and stay as they were
    std::vector<std::u16string> keys; // made, with their roots
    Texts facts;                      // the device's, that its checks compared
};

void CabInstaller::Install(const std::u16string& path) {
    Package package;
    std::u16string name;
    Plan plan;
    if (!Read(path, package, name) || !Place(path, name, package, plan)) {
        return;
    }
    PutFiles(package, plan);
    PutValues(package, plan);
    Register(path, name, plan);
    installed_.Add(name, plan.made);
    ev::Installed installed{path, name, plan.installDir, plan.made.files, plan.kept, plan.keys};
    if (!plan.facts.empty()) {
        installed.facts = plan.facts;
    }
    if (package.hasSetupDll) {
        // The device's installer would load it and call it now; the
        // simulated one runs no DLL, and says which it did not run.
        installed.setupDll = Utf16(package.setupDll);
    }
    log_.Emit(installed);
    if (config_.installerDeletesPackage) {
        DeletePackage(path);
    }
}

bool CabInstaller::Read(const std::u16string& path, Package& package, std::u16string& name) {
    // The shell hands over a file it found; the package is what it holds.
    const Content& bytes = files_.Find(path)->content;
    std::string error = "it holds no bytes";
    if (!bytes || bytes->empty() || !ReadPackage(*bytes, package, error)) {
        log_.Emit(
            ev::Refused{path, {}, Utf16("it is not a valid Windows CE Setup file: " + error)});
        return false;
    }
    const PackageHeader& header = package.header;
    name = ApplicationName(header);
    std::vector<std::u16string> unsupported;
    for (const std::string& platform : header.unsupported) {
        unsupported.push_back(Utf16(platform));
    }
    log_.Emit(ev::Package{path, name, Utf16(header.provider), Utf16(header.appName),
                          header.processor, Utf16(Version(header.minMajor, header.minMinor)),
                          Utf16(Version(header.maxMajor, header.maxMinor)), header.minBuild,
                          header.maxBuild, unsupported});
    return true;
}

bool CabInstaller::Place(const std::u16string& path, const std::u16string& name,
                         const Package& package, Plan& plan) {
    std::string why = Refusal(package.header, config_, plan.facts);
    const bool checked = why.empty();
    // The install directory the package gives (it starts with "%CEn%" or
    // "\"), at this device's folders: what "%InstallDir%" stands for.
    const Places standard(config_, u"");
    if (why.empty() && !standard.Resolve(package.installDir, plan.installDir, why)) {
        why = "its install directory " + package.installDir + ": " + why;
    }
    const Places places(config_, plan.installDir);
    for (const PackageFile& file : package.files) {
        std::u16string folder;
        if (why.empty() && !places.Resolve(file.folder, folder, why)) {
            why = "file " + std::to_string(file.id) + " (" + file.name + ") goes in " +
                  file.folder + ": " + why;
        }
        plan.targets.push_back(folder + u"\\" + Utf16(file.name));
    }
    for (const PackageLink& link : package.links) {
        std::u16string folder;
        std::u16string target;
        if (why.empty() && !places.Resolve(link.folder, folder, why)) {
            why = "link " + std::to_string(link.id) + " (" + link.file + ") goes in " +
                  link.folder + ": " + why;
        }
        if (why.empty() && !places.Resolve(link.target, target, why)) {
            why = "link " + std::to_string(link.id) + " (" + link.file + ") " +
                  (link.toFile ? "starts " : "opens ") + link.target + ": " + why;
        }
        // The shortcut's file is the name the package stores (".lnk"
        // included, as CabWiz stores it).
        plan.shortcuts.push_back({folder + u"\\" + Utf16(link.file), target});
    }
    if (!why.empty()) {
        ev::Refused refused{path, name, Utf16(why)};
        if (!checked) {
            refused.facts = plan.facts;
        } else if (standard.Lacks() || places.Lacks()) {
            refused.facts = Texts{fact::Folders};
        }
        log_.Emit(refused);
        return false;
    }
    return true;
}

void CabInstaller::PutFiles(const Package& package, Plan& plan) {
    const Ticks now = clock_.Now();
    auto makeFolders = [&](const std::u16string& path) {
        for (const std::u16string& folder : files_.MakeFolders(ParentOf(path), now)) {
            plan.made.folders.push_back(folder);
        }
    };
    for (std::size_t i = 0; i < package.files.size(); ++i) {
        const PackageFile& file = package.files[i];
        const std::u16string& target = plan.targets[i];
        const Entry* existing = files_.Find(target);
        const bool keep =
            existing != nullptr &&
            ((existing->attributes & (AttrDirectory | AttrReadOnly)) != 0 ||
             (file.flags & PackageFileNoOverwrite) != 0 ||
             ((file.flags & PackageFileKeepNewer) != 0 && existing->time > file.time));
        if (keep || (existing == nullptr && (file.flags & PackageFileOnlyIfExists) != 0)) {
            plan.kept.push_back(target);
            continue;
        }
        makeFolders(target);
        files_.Add({target, AttrArchive, file.time, file.bytes});
        plan.made.files.push_back(target);
    }
    for (const auto& shortcut : plan.shortcuts) {
        makeFolders(shortcut.first);
        files_.Add({shortcut.first, AttrArchive, now, ShortcutTo(shortcut.second)});
        plan.made.files.push_back(shortcut.first);
    }
}

void CabInstaller::PutValues(const Package& package, Plan& plan) {
    const Places places(config_, plan.installDir);
    for (const PackageValue& value : package.values) {
        const std::u16string root = Utf16(RootName(value.root));
        const std::u16string key = Utf16(value.key);
        const bool local = value.root == PackageRootLocalMachine;
        Registry& registry = local ? registry_ : roots_[root];
        // The keys that are not there yet, from the shallowest down, each
        // made by this installation.
        for (std::size_t end = key.find(u'\\');; end = key.find(u'\\', end + 1)) {
            const std::u16string part = key.substr(0, end);
            if (!part.empty() && !registry.Has(part)) {
                if (local) {
                    plan.made.keys.push_back(part);
                } else {
                    plan.made.rootKeys.push_back({root, part});
                }
                plan.keys.push_back(root + u"\\" + part);
                registry.Add(part);
            }
            if (end == std::u16string::npos) {
                break;
            }
        }
        if (registry.SetValue(key, ValueOf(value, places), value.noClobber)) {
            plan.made.values.push_back({root, key, Utf16(value.name)});
        }
    }
}

void CabInstaller::Register(const std::u16string& path, const std::u16string& name, Plan& plan) {
    // The application's registration, which the uninstaller goes by.
    const std::u16string appKey = AppKey(name);
    registry_.SetValue(appKey, {u"CabFile", "string", path, {}, 0}, false);
    registry_.SetValue(appKey, {u"InstallDir", "string", plan.installDir, {}, 0}, false);
    registry_.SetValue(appKey, {u"Instl", "dword", {}, {}, 1}, false);
    plan.made.keys.push_back(appKey);
    plan.keys.push_back(Rooted(appKey));
}

void CabInstaller::DeletePackage(const std::u16string& package) {
    // As a program's deletion would, but no program is running.
    const Answer answer = files_.Delete(package, u"");
    ev::PackageDeleted deleted{package, !answer.Failed()};
    deleted.facts = {fact::InstallerDeletesPackage};
    if (answer.Failed()) {
        deleted.error = answer.error;
        deleted.why = Utf16(answer.why);
    }
    log_.Emit(deleted);
}

} // namespace sim
