// The device's uninstaller.
#include "device/uninstaller.h"

#include "device/names.h"
#include "device/paths.h"

namespace sim {

namespace {

// How deep a folder is: \Program Files is level 1, \Program Files\A level 2.
std::uint32_t Depth(const std::u16string& folder) {
    std::uint32_t depth = 0;
    for (char16_t c : folder) {
        depth += c == u'\\' ? 1 : 0;
    }
    return depth;
}

} // namespace

void Uninstaller::Start(const std::u16string& name) {
    // It keeps the application's key open while it works.
    const bool works = config_.unload == Unload::Uninstalls;
    if (works && registry_.Has(AppKey(name))) {
        registry_.Hold(AppKey(name), clock_.NowMs() + config_.uninstallMs);
    }
    clock_.Schedule(clock_.NowMs() + (works ? config_.uninstallMs : 0),
                    [this, name] { Uninstall(name); });
}

void Uninstaller::Uninstall(const std::u16string& name) {
    if (config_.unload != Unload::Uninstalls) {
        ev::Uninstalled inert{name};
        inert.inert = true;
        inert.facts = {fact::Unload};
        log_.Emit(inert);
        return;
    }
    registry_.Release(AppKey(name));
    std::vector<std::u16string> removed;
    std::vector<std::u16string> keys;
    std::vector<std::u16string> kept;
    Remove(name, removed, keys, kept);
    ev::Uninstalled uninstalled{name, {}, removed, keys};
    uninstalled.facts = {fact::Unload};
    if (!kept.empty()) {
        uninstalled.kept = kept;
        uninstalled.facts.push_back(fact::UninstallerDepth);
    }
    log_.Emit(uninstalled);
}

bool Uninstaller::Remove(const std::u16string& name, std::vector<std::u16string>& removed,
                         std::vector<std::u16string>& keys, std::vector<std::u16string>& kept) {
    // What the installer installed under the name; nothing when it installed
    // nothing under it.
    Installation what;
    if (!installed_.Take(name, what)) {
        return false;
    }
    for (const std::u16string& path : what.files) {
        const Entry* file = files_.Find(path);
        if (IsFile(file)) {
            removed.push_back(file->path);
            files_.RemoveTree(path);
        }
    }
    // The folders it made, deepest first, once they are empty, and no
    // deeper than this kind of uninstaller reaches; never a root folder.
    for (auto folder = what.folders.rbegin(); folder != what.folders.rend(); ++folder) {
        const Entry* entry = files_.Find(*folder);
        if (entry == nullptr || (entry->attributes & AttrDirectory) == 0 ||
            ParentOf(*folder).empty()) {
            continue;
        }
        const bool reached =
            config_.uninstallerDepth == 0 || Depth(*folder) <= config_.uninstallerDepth;
        if (reached && !files_.HasChildren(*folder)) {
            removed.push_back(entry->path);
            files_.RemoveTree(*folder);
        } else {
            kept.push_back(entry->path);
        }
    }
    for (const InstalledValue& value : what.values) {
        Registry& registry = value.root == LocalMachine ? registry_ : roots_[value.root];
        registry.RemoveValue(value.key, value.name);
    }
    // The keys it made, deepest first, once nothing else is under them: a key
    // it made may since hold keys it did not make.
    for (auto made = what.rootKeys.rbegin(); made != what.rootKeys.rend(); ++made) {
        Registry& root = roots_[made->first];
        if (!root.HasSubkeys(made->second) && root.RemoveTree(made->second)) {
            keys.push_back(made->first + u"\\" + made->second);
        }
    }
    for (auto made = what.keys.rbegin(); made != what.keys.rend(); ++made) {
        if (!registry_.HasSubkeys(*made) && registry_.RemoveTree(*made)) {
            keys.push_back(Rooted(*made));
        }
    }
    return true;
}

} // namespace sim
