// The device's cabinet installer: reads a package opened through the shell
// as a Windows CE installation cabinet, refuses one that is not for this
// device, installs what it declares at this device's folders, registers the
// application under SOFTWARE\Apps, and then deletes the package, as it does
// unless told otherwise. A package that holds no bytes stands in for one.
#include "device/deletion.h"
#include "device/names.h"
#include "device/package.h"
#include "device/shell.h"

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

// Why this device refuses the package; empty when it does not.
std::string Refusal(const PackageHeader& header, const Config& device) {
    if (header.processor != AnyProcessor && header.processor != device.processor) {
        return "it is for processor " + std::to_string(header.processor) +
               ", and this device's is " + std::to_string(device.processor);
    }
    const std::string version = Version(device.osMajor, device.osMinor);
    if ((header.minMajor != 0 || header.minMinor != 0) &&
        Before(device.osMajor, device.osMinor, header.minMajor, header.minMinor)) {
        return "it needs Windows CE " + Version(header.minMajor, header.minMinor) +
               " or later, and this device has " + version;
    }
    if (device.installerChecksMaxVersion && (header.maxMajor != 0 || header.maxMinor != 0) &&
        Before(header.maxMajor, header.maxMinor, device.osMajor, device.osMinor)) {
        return "it is for Windows CE " + Version(header.maxMajor, header.maxMinor) +
               " at most, and this device has " + version;
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
    // when it names a standard folder this device does not have.
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
            why = "it names the folder " + Utf8(first) + ", which this kind of device has not";
            return false;
        }
        if (!wide.empty() && wide[0] == u'\\') {
            path = wide;
            return true;
        }
        why = "the folder \"" + text + "\" is not a path on the device";
        return false;
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
        out.data = TextValue(value.substitute ? places.Substituted(value.text) : Utf16(value.text));
        break;
    case PackageValueType::MultiString: {
        out.type = "multi-string";
        std::vector<std::u16string> texts;
        for (const std::string& text : value.texts) {
            texts.push_back(value.substitute ? places.Substituted(text) : Utf16(text));
        }
        out.data = ListValue(texts);
        break;
    }
    case PackageValueType::Dword:
        out.type = "dword";
        out.data = NumberValue(value.number);
        break;
    case PackageValueType::Binary:
        out.type = "binary";
        out.data = TextValue(Hex(value.data));
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

void Shell::Install(const std::u16string& packagePath) {
    const Entry* entry = parts_.files.Find(packagePath);
    if (entry == nullptr || !entry->content || entry->content->empty()) {
        InstallStandIn(packagePath);
        return;
    }
    Package package;
    std::string error;
    if (!ReadPackage(*entry->content, package, error)) {
        parts_.log.Emit(EventKind::Refused,
                        {{"package", TextValue(packagePath)},
                         {"why", TextValue("it is not a valid Windows CE Setup file: " + error)}});
        return;
    }
    const PackageHeader& header = package.header;
    const std::u16string name =
        Utf16(header.provider.empty() ? header.appName : header.provider + " " + header.appName);
    std::vector<std::u16string> unsupported;
    for (const std::string& platform : header.unsupported) {
        unsupported.push_back(Utf16(platform));
    }
    parts_.log.Emit(EventKind::Package,
                    {{"package", TextValue(packagePath)},
                     {"app", TextValue(name)},
                     {"provider", TextValue(header.provider)},
                     {"appName", TextValue(header.appName)},
                     {"processor", NumberValue(header.processor)},
                     {"minVersion", TextValue(Version(header.minMajor, header.minMinor))},
                     {"maxVersion", TextValue(Version(header.maxMajor, header.maxMinor))},
                     {"minBuild", NumberValue(header.minBuild)},
                     {"maxBuild", NumberValue(header.maxBuild)},
                     {"unsupported", ListValue(unsupported)}});
    std::string why = Refusal(header, parts_.config);

    // Where everything goes, all settled before anything changes: a package
    // refused changes nothing on the device.
    auto ce1 = parts_.config.folders->find(u"%CE1%");
    const std::u16string installDir =
        (ce1 != parts_.config.folders->end() ? ce1->second : u"\\Program Files") + u"\\" +
        Utf16(header.appName);
    const Places places(parts_.config, installDir);
    std::vector<std::u16string> targets;
    for (const PackageFile& file : package.files) {
        std::u16string folder;
        if (why.empty() && places.Resolve(file.folder, folder, why)) {
            targets.push_back(folder + u"\\" + Utf16(file.name));
        }
    }
    std::vector<std::pair<std::u16string, std::u16string>> shortcuts; // file, target
    for (const PackageLink& link : package.links) {
        std::u16string folder;
        std::u16string target;
        if (why.empty() && places.Resolve(link.folder, folder, why) &&
            places.Resolve(link.target, target, why)) {
            shortcuts.push_back({folder + u"\\" + Utf16(link.name) + u".lnk", target});
        }
    }
    if (!why.empty()) {
        parts_.log.Emit(EventKind::Refused, {{"package", TextValue(packagePath)},
                                             {"app", TextValue(name)},
                                             {"why", TextValue(why)}});
        return;
    }

    Installation made;
    const Ticks now = parts_.clock.Now();
    auto makeFolders = [&](const std::u16string& path) {
        std::vector<std::u16string> missing;
        for (std::u16string folder = ParentOf(path); !folder.empty(); folder = ParentOf(folder)) {
            if (parts_.files.Find(folder) != nullptr) {
                break;
            }
            missing.insert(missing.begin(), folder);
        }
        for (const std::u16string& folder : missing) {
            parts_.files.Add({folder, AttrDirectory, now, nullptr});
            made.folders.push_back(folder);
        }
    };
    std::vector<std::u16string> skipped;
    for (std::size_t i = 0; i < package.files.size(); ++i) {
        const PackageFile& file = package.files[i];
        const Entry* existing = parts_.files.Find(targets[i]);
        const bool keep =
            existing != nullptr &&
            ((existing->attributes & (AttrDirectory | AttrReadOnly)) != 0 ||
             (file.flags & PackageFileNoOverwrite) != 0 ||
             ((file.flags & PackageFileKeepNewer) != 0 && existing->time > file.time));
        if (keep || (existing == nullptr && (file.flags & PackageFileOnlyIfExists) != 0)) {
            skipped.push_back(targets[i]);
            continue;
        }
        makeFolders(targets[i]);
        parts_.files.Add({targets[i], AttrArchive, file.time, file.bytes});
        made.files.push_back(targets[i]);
    }
    for (const auto& shortcut : shortcuts) {
        makeFolders(shortcut.first);
        parts_.files.Add({shortcut.first, AttrArchive, now, ShortcutTo(shortcut.second)});
        made.files.push_back(shortcut.first);
    }
    std::vector<std::u16string> keys;
    for (const PackageValue& value : package.values) {
        const std::u16string root = Utf16(RootName(value.root));
        const std::u16string key = Utf16(value.key);
        Registry& registry =
            value.root == PackageRootLocalMachine ? parts_.registry : parts_.roots[root];
        // The keys that are not there yet, from the shallowest down, each
        // made by this installation.
        for (std::size_t end = key.find(u'\\');; end = key.find(u'\\', end + 1)) {
            const std::u16string part = key.substr(0, end);
            if (!part.empty() && !registry.Has(part)) {
                if (value.root == PackageRootLocalMachine) {
                    made.keys.push_back(part);
                } else {
                    made.rootKeys.push_back({root, part});
                }
                keys.push_back(root + u"\\" + part);
                registry.Add(part);
            }
            if (end == std::u16string::npos) {
                break;
            }
        }
        if (registry.SetValue(key, ValueOf(value, places), value.noClobber)) {
            made.values.push_back({root, key, Utf16(value.name)});
        }
    }
    // The application's registration, which the uninstaller goes by.
    const std::u16string appKey = AppKey(name);
    parts_.registry.SetValue(appKey, {u"CabFile", "string", TextValue(packagePath)}, false);
    parts_.registry.SetValue(appKey, {u"InstallDir", "string", TextValue(installDir)}, false);
    parts_.registry.SetValue(appKey, {u"Instl", "dword", NumberValue(1)}, false);
    made.keys.push_back(appKey);
    keys.push_back(u"HKEY_LOCAL_MACHINE\\" + appKey);
    Remember(name, made);
    parts_.log.Emit(EventKind::Installed, {{"package", TextValue(packagePath)},
                                           {"app", TextValue(name)},
                                           {"installDir", TextValue(installDir)},
                                           {"files", ListValue(made.files)},
                                           {"kept", ListValue(skipped)},
                                           {"keys", ListValue(keys)}});
    DeletePackage(packagePath);
}

void Shell::DeletePackage(const std::u16string& package) {
    std::string why;
    const platform::LONG error = DeletionRefused(parts_.files, package, u"", why);
    Fields fields = {{"package", TextValue(package)}, {"ok", FlagValue(error == 0)}};
    if (error == 0) {
        parts_.files.RemoveTree(package);
    } else {
        fields.push_back({"error", NumberValue(error)});
        fields.push_back({"why", TextValue(why)});
    }
    parts_.log.Emit(EventKind::PackageDeleted, std::move(fields));
}

void Shell::InstallStandIn(const std::u16string& package) {
    // A package that holds no bytes stands in for the real one: it installs
    // the stand-in application's one file, stamped with the device's clock,
    // and registers the application. It is a description's, not a card's,
    // and stays where it is.
    const StandInPackage& app = parts_.config.standIn;
    Installation made;
    if (!app.readerPath.empty()) {
        for (std::u16string folder = ParentOf(app.readerPath); !folder.empty();
             folder = ParentOf(folder)) {
            if (parts_.files.Find(folder) == nullptr) {
                made.folders.insert(made.folders.begin(), folder);
            }
        }
        parts_.files.Add({app.readerPath, AttrArchive, parts_.clock.Now(), nullptr});
        made.files.push_back(app.readerPath);
    }
    if (!app.appName.empty()) {
        parts_.registry.Add(AppKey(app.appName));
        made.keys.push_back(AppKey(app.appName));
        Remember(app.appName, made);
    }
    parts_.log.Emit(EventKind::Installed, {{"package", TextValue(package)},
                                           {"standIn", FlagValue(true)},
                                           {"app", TextValue(app.appName)},
                                           {"files", ListValue(made.files)},
                                           {"keys", ListValue(Rooted(made.keys))}});
}

void Shell::Remember(const std::u16string& name, const Installation& made) {
    // Installed again over itself, an application keeps what it made before.
    Installation& record = installed_[Fold(name)];
    auto add = [](std::vector<std::u16string>& to, const std::vector<std::u16string>& from) {
        for (const std::u16string& item : from) {
            bool known = false;
            for (const std::u16string& had : to) {
                known = known || SameName(had, item);
            }
            if (!known) {
                to.push_back(item);
            }
        }
    };
    add(record.files, made.files);
    add(record.folders, made.folders);
    add(record.keys, made.keys);
    record.values.insert(record.values.end(), made.values.begin(), made.values.end());
    record.rootKeys.insert(record.rootKeys.end(), made.rootKeys.begin(), made.rootKeys.end());
}

} // namespace sim
