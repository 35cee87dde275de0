// The device's shell: card life, taps, and the files programs open.
#include "device/shell.h"

#include "device/names.h"
#include "device/operations.h"

namespace sim {

std::u16string AppKey(const std::u16string& name) {
    return std::u16string(AppsKeyPath) + u"\\" + name;
}

std::vector<std::u16string> Rooted(std::vector<std::u16string> keys) {
    for (std::u16string& key : keys) {
        key = u"HKEY_LOCAL_MACHINE\\" + key;
    }
    return keys;
}

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
