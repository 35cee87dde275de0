// The device's shell: the card life steps that start programs, the cabinet
// installer that opened packages go to, and the uninstaller in ROM.
#include "device/device.h"

namespace sim {

std::u16string Device::AppKey(const std::u16string& name) const {
    return std::u16string(AppsKeyPath) + u"\\" + name;
}

// --- Programs beside the running one -----------------------------------------

bool Device::KeyHeld(const std::u16string& key) const {
    auto held = heldKeys_.find(Fold(key));
    return held != heldKeys_.end() && nowMs_ < held->second;
}

bool Device::ConsumeAppKeyDeleteFailure(const std::u16string& key) {
    if (appKeyDeleteFailures <= 0 || app.name.empty() || !SameName(key, AppKey(app.name))) {
        return false;
    }
    --appKeyDeleteFailures;
    return true;
}

void Device::StartShellProgram(const std::u16string& file, const std::u16string& args) {
    if (SameName(file, UninstallerPath)) {
        // The uninstaller keeps the application's key open while it works.
        const std::u16string key = AppKey(args);
        if (registry.Has(key)) {
            heldKeys_[Fold(key)] = nowMs_ + uninstallMs;
        }
        jobs_.push_back({nowMs_ + uninstallMs, false, args});
    } else if (HasExtension(file, u".cab")) {
        jobs_.push_back({nowMs_, true, file});
    }
}

void Device::Install(const Job& job) {
    // The package installs the reader, stamped with the device's clock, and
    // registers the application.
    if (!app.readerPath.empty()) {
        files.Add({app.readerPath, AttrArchive, Now(), nullptr});
    }
    if (!app.name.empty()) {
        registry.Add(AppKey(app.name));
    }
    Emit(EventKind::Installed, {{"package", TextValue(job.argument)},
                                {"path", TextValue(app.readerPath)},
                                {"app", TextValue(app.name)}});
}

void Device::Uninstall(const Job& job) {
    // The uninstaller removes what there is of the application: the file its
    // installer put in place, and its key. It reports what it removed.
    const std::u16string key = AppKey(job.argument);
    heldKeys_.erase(Fold(key));
    Value reader = NullValue();
    const Entry* file = app.name.empty() || !SameName(job.argument, app.name)
                            ? nullptr
                            : files.Find(app.readerPath);
    if (IsFile(file)) {
        reader = TextValue(file->path);
        const std::u16string folder = ParentOf(file->path);
        files.RemoveTree(file->path);
        if (ParentOf(folder).size() > 0 && files.IsFolder(folder) &&
            files.Children(folder).empty()) {
            files.RemoveTree(folder); // the reader's own folder, left empty
        }
    }
    const bool keyRemoved = registry.RemoveTree(key);
    Emit(EventKind::Uninstalled,
         {{"app", TextValue(job.argument)}, {"reader", reader}, {"key", FlagValue(keyRemoved)}});
}

// --- Card life ---------------------------------------------------------------

std::vector<std::u16string> Device::CardsOut() const {
    std::vector<std::u16string> cards;
    for (const Store::Tree& card : cardsOut_) {
        cards.push_back(card.entries.front().second.path);
    }
    return cards;
}

void Device::Step(const std::string& name, Fields fields) {
    fields.insert(fields.begin(), {"name", TextValue(name)});
    Emit(EventKind::Step, std::move(fields));
}

long long Device::CardsIn() const {
    long long cards = 0;
    for (const Entry* entry : files.Children(u"")) {
        cards += IsCard(*entry) ? 1 : 0;
    }
    return cards;
}

void Device::Insert() {
    // Cards taken out come back, with what they held.
    const long long back = static_cast<long long>(cardsOut_.size());
    for (const Store::Tree& card : cardsOut_) {
        files.Put(card);
    }
    cardsOut_.clear();
    for (const Entry* card : files.Children(u"")) {
        const Entry* program =
            IsCard(*card) ? files.Find(card->path + u"\\" + AutoRunOnCard) : nullptr;
        if (!IsFile(program)) {
            continue;
        }
        Step("insert", {{"cards", NumberValue(back)},
                        {"in", NumberValue(CardsIn())},
                        {"runs", FlagValue(true)}});
        Entry copy = *program;
        copy.path = AutoRunCopyPath;
        Emit(EventKind::Copy, {{"from", TextValue(program->path)},
                               {"to", TextValue(copy.path)},
                               {"ok", FlagValue(true)}});
        files.Add(copy);
        Run(AutoRunCopyPath, u"install");
        return;
    }
    Step(
        "insert",
        {{"cards", NumberValue(back)}, {"in", NumberValue(CardsIn())}, {"runs", FlagValue(false)}});
}

void Device::Menu() {
    const Entry* entry =
        app.title.empty()
            ? nullptr
            : files.Find(std::u16string(ProgramsFolder) + u"\\" + app.title + u".exe");
    const bool runs = IsFile(entry);
    Step("menu", {{"runs", FlagValue(runs)}});
    if (runs) {
        const std::u16string path = entry->path; // the run may change the store
        Run(path, u"");
    }
}

void Device::Remove() {
    std::vector<std::u16string> cards;
    for (const Entry* entry : files.Children(u"")) {
        if (IsCard(*entry)) {
            cards.push_back(entry->path);
        }
    }
    for (const std::u16string& card : cards) {
        cardsOut_.push_back(files.Take(card));
    }
    // With no card in, no card comes out and the shell starts nothing.
    const bool runs = !cards.empty() && IsFile(files.Find(AutoRunCopyPath));
    Step("remove",
         {{"cards", NumberValue(static_cast<long long>(cards.size()))}, {"runs", FlagValue(runs)}});
    if (runs) {
        Run(AutoRunCopyPath, u"uninstall");
    }
}

} // namespace sim
