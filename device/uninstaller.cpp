// The device's uninstaller, \Windows\Unload.exe: given an application's name,
// it removes what the cabinet installer installed under that name (files
// and shortcuts, the folders it made once they are empty, registry values
// and keys) and the application's key. Given a name nothing was installed
// under, it removes nothing.
#include "device/names.h"
#include "device/shell.h"

namespace sim {

void Shell::Uninstall(const std::u16string& name) {
    if (parts_.config.unload != Unload::Uninstalls) {
        parts_.log.Emit(EventKind::Uninstalled, {{"app", TextValue(name)},
                                                 {"inert", FlagValue(true)},
                                                 {"files", ListValue({})},
                                                 {"keys", ListValue({})}});
        return;
    }
    const std::u16string key = AppKey(name);
    parts_.registry.Release(key);
    // What the installer installed under the name. An application that was
    // registered on the device before, under the stand-in's name, is the
    // stand-in's one file.
    Installation what;
    auto record = installed_.find(Fold(name));
    if (record != installed_.end()) {
        what = record->second;
        installed_.erase(record);
    } else if (!name.empty() && SameName(name, parts_.config.standIn.appName) &&
               parts_.registry.Has(key) && !parts_.config.standIn.readerPath.empty()) {
        what.files.push_back(parts_.config.standIn.readerPath);
        what.folders.push_back(ParentOf(parts_.config.standIn.readerPath));
        what.keys.push_back(key);
    }
    std::vector<std::u16string> files;
    for (const std::u16string& path : what.files) {
        const Entry* file = parts_.files.Find(path);
        if (IsFile(file)) {
            files.push_back(file->path);
            parts_.files.RemoveTree(path);
        }
    }
    // The folders it made, deepest first, once they are empty; never a root
    // folder.
    for (auto folder = what.folders.rbegin(); folder != what.folders.rend(); ++folder) {
        const Entry* entry = parts_.files.Find(*folder);
        if (entry != nullptr && (entry->attributes & AttrDirectory) != 0 &&
            !ParentOf(*folder).empty() && !parts_.files.HasChildren(*folder)) {
            files.push_back(entry->path);
            parts_.files.RemoveTree(*folder);
        }
    }
    std::vector<std::u16string> keys;
    for (const InstalledValue& value : what.values) {
        Registry& registry =
            value.root == u"HKEY_LOCAL_MACHINE" ? parts_.registry : parts_.roots[value.root];
        registry.RemoveValue(value.key, value.name);
    }
    for (auto made = what.rootKeys.rbegin(); made != what.rootKeys.rend(); ++made) {
        if (parts_.roots[made->first].RemoveTree(made->second)) {
            keys.push_back(made->first + u"\\" + made->second);
        }
    }
    for (auto made = what.keys.rbegin(); made != what.keys.rend(); ++made) {
        if (parts_.registry.RemoveTree(*made)) {
            keys.push_back(u"HKEY_LOCAL_MACHINE\\" + *made);
        }
    }
    parts_.log.Emit(
        EventKind::Uninstalled,
        {{"app", TextValue(name)}, {"files", ListValue(files)}, {"keys", ListValue(keys)}});
}

} // namespace sim
