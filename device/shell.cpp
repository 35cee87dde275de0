// The device's shell: card life, taps, and the files programs open.
#include "device/shell.h"

#include "device/names.h"
#include "device/operations.h"

namespace sim {

namespace {

std::u16string AppKey(const std::u16string& name) {
    return std::u16string(AppsKeyPath) + u"\\" + name;
}

// Keys as events name them, with their root.
std::vector<std::u16string> Rooted(std::vector<std::u16string> keys) {
    for (std::u16string& key : keys) {
        key = u"HKEY_LOCAL_MACHINE\\" + key;
    }
    return keys;
}

} // namespace

// --- Files programs open -----------------------------------------------------

bool Shell::Open(const std::u16string& file, const std::u16string& args, platform::LONG& error,
                 std::string& why) {
    const Entry* entry = parts_.files.Find(file);
    if (entry == nullptr) {
        error = ErrorFileNotFound;
        why = "there is no such file";
        return false;
    }
    if (!IsFile(entry)) {
        error = ErrorAccessDenied;
        why = "it is a folder";
        return false;
    }
    if (HasExtension(file, u".cab")) {
        // The cabinet installer starts at once and works beside the program.
        const std::u16string package = entry->path;
        parts_.clock.Schedule(parts_.clock.NowMs(), [this, package] { Install(package); });
        return true;
    }
    if (!HasExtension(file, u".exe")) {
        error = ErrorNoAssociation;
        why = "no program opens such a file";
        return false;
    }
    if (SameName(file, UninstallerPath)) {
        // The uninstaller keeps the application's key open while it works.
        const std::u16string name = args;
        const bool works = parts_.config.unload == Unload::Uninstalls;
        if (works && parts_.registry.Has(AppKey(name))) {
            parts_.registry.Hold(AppKey(name), parts_.clock.NowMs() + parts_.config.uninstallMs);
        }
        parts_.clock.Schedule(parts_.clock.NowMs() + (works ? parts_.config.uninstallMs : 0),
                              [this, name] { Uninstall(name); });
    }
    // Any other program is started and left to itself.
    return true;
}

// --- The cabinet installer ---------------------------------------------------

void Shell::Install(const std::u16string& package) {
    // A package that holds no bytes stands in for the real one: it installs
    // the stand-in application's one file, stamped with the device's clock,
    // and registers the application.
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
}

// --- The uninstaller ---------------------------------------------------------

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
    // What the installer installed under the name; an application the device
    // came with, under the stand-in's name, is its one file.
    Installation what;
    auto record = installed_.find(Fold(name));
    if (record != installed_.end()) {
        what = record->second;
        installed_.erase(record);
    } else if (!name.empty() && SameName(name, parts_.config.standIn.appName) &&
               !parts_.config.standIn.readerPath.empty()) {
        what.files.push_back(parts_.config.standIn.readerPath);
        what.folders.push_back(ParentOf(parts_.config.standIn.readerPath));
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
            !ParentOf(*folder).empty() && parts_.files.Children(*folder).empty()) {
            files.push_back(entry->path);
            parts_.files.RemoveTree(*folder);
        }
    }
    std::vector<std::u16string> keys;
    for (const std::u16string& k : what.keys) {
        if (!SameName(k, key) && parts_.registry.RemoveTree(k)) {
            keys.push_back(k);
        }
    }
    if (parts_.registry.RemoveTree(key)) {
        keys.push_back(key);
    }
    parts_.log.Emit(
        EventKind::Uninstalled,
        {{"app", TextValue(name)}, {"files", ListValue(files)}, {"keys", ListValue(Rooted(keys))}});
}

// --- Card life ---------------------------------------------------------------

std::vector<std::u16string> Shell::CardsOut() const {
    std::vector<std::u16string> cards;
    for (const Store::Tree& card : cardsOut_) {
        cards.push_back(card.entries.front().second.path);
    }
    return cards;
}

void Shell::Step(const std::string& name, Fields fields) {
    fields.insert(fields.begin(), {"name", TextValue(name)});
    parts_.log.Emit(EventKind::Step, std::move(fields));
}

long long Shell::CardsIn() const {
    long long cards = 0;
    for (const Entry* entry : parts_.files.Children(u"")) {
        cards += IsCard(*entry) ? 1 : 0;
    }
    return cards;
}

void Shell::Insert() {
    // Cards taken out come back, with what they held.
    const long long back = static_cast<long long>(cardsOut_.size());
    for (const Store::Tree& card : cardsOut_) {
        parts_.files.Put(card);
    }
    cardsOut_.clear();
    // The card's program is in the folder named after the processor type.
    const std::u16string onCard = Utf16(std::to_string(parts_.config.processor)) + u"\\autorun.exe";
    for (const Entry* card : parts_.files.Children(u"")) {
        const Entry* program =
            IsCard(*card) ? parts_.files.Find(card->path + u"\\" + onCard) : nullptr;
        if (!IsFile(program)) {
            continue;
        }
        Step("insert", {{"cards", NumberValue(back)},
                        {"in", NumberValue(CardsIn())},
                        {"runs", FlagValue(true)}});
        Entry copy = *program;
        copy.path = AutoRunCopyPath;
        parts_.log.Emit(EventKind::Copy, {{"from", TextValue(program->path)},
                                          {"to", TextValue(copy.path)},
                                          {"ok", FlagValue(true)}});
        parts_.files.Add(copy);
        parts_.run(AutoRunCopyPath, u"install");
        return;
    }
    Step(
        "insert",
        {{"cards", NumberValue(back)}, {"in", NumberValue(CardsIn())}, {"runs", FlagValue(false)}});
}

void Shell::Tap(const std::u16string& file) {
    const Entry* entry = file.empty() ? nullptr : parts_.files.Find(file);
    const bool runs = IsFile(entry);
    Step("menu", {{"path", TextValue(file)}, {"runs", FlagValue(runs)}});
    if (runs) {
        const std::u16string path = entry->path; // the run may change the store
        parts_.run(path, u"");
    }
}

void Shell::Remove() {
    std::vector<std::u16string> cards;
    for (const Entry* entry : parts_.files.Children(u"")) {
        if (IsCard(*entry)) {
            cards.push_back(entry->path);
        }
    }
    for (const std::u16string& card : cards) {
        cardsOut_.push_back(parts_.files.Take(card));
    }
    // With no card in, no card comes out and the shell starts nothing.
    const bool runs = !cards.empty() && IsFile(parts_.files.Find(AutoRunCopyPath));
    Step("remove",
         {{"cards", NumberValue(static_cast<long long>(cards.size()))}, {"runs", FlagValue(runs)}});
    if (runs) {
        parts_.run(AutoRunCopyPath, u"uninstall");
    }
}

} // namespace sim
