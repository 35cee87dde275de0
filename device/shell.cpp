// The device's shell: card life, taps, and the files programs open.
#include "device/shell.h"

#include "device/names.h"
#include "device/operations.h"
#include "device/paths.h"
#include "device/processors.h"

namespace sim {

// --- What programs ask of it -------------------------------------------------

Answer Shell::Open(const std::u16string& file, const std::u16string& args) {
    const Entry* entry = files_.Find(file);
    if (entry == nullptr) {
        return Fails(ErrorFileNotFound, "there is no such file");
    }
    if (!IsFile(entry)) {
        return Fails(ErrorAccessDenied, "it is a folder");
    }
    if (HasExtension(file, u".cab")) {
        // The cabinet installer starts at once and works beside the program.
        const std::u16string package = entry->path;
        clock_.Schedule(clock_.NowMs(), [this, package] { installer_.Install(package); });
        return Answer();
    }
    if (!HasExtension(file, u".exe")) {
        return Fails(ErrorNoAssociation, "no program opens such a file");
    }
    if (SameName(file, UninstallerPath)) {
        uninstaller_.Start(args);
    }
    // Any other program is started and left to itself.
    return Answer();
}

Answer Shell::SpecialFolder(int folder, bool create, std::u16string& path, platform::BOOL& result) {
    const std::u16string& programs = config_.programsFolder;
    if (folder != platform::CsidlPrograms) {
        return Fails(ErrorInvalidParameter,
                     "the device knows no special folder " + std::to_string(folder));
    }
    if (!files_.IsFolder(programs)) {
        if (!create) {
            return Fails(ErrorPathNotFound, "the folder does not exist, and is not to be made");
        }
        // It makes the folders above it that are missing too; a file that
        // stands where one of them goes stays, and the folder is not made.
        files_.MakeFolders(programs, clock_.Now());
        if (!files_.IsFolder(programs)) {
            return Fails(ErrorAlreadyExists, "a file stands where the folder is to be made");
        }
    }
    path = programs;
    result = config_.folderPathAnswersFalse ? 0 : 1;
    return Answer();
}

// --- Card life ---------------------------------------------------------------

const Entry* Shell::ProgramOn(const Entry& card) const {
    const Entry* program =
        IsCard(card) ? files_.Find(card.path + u"\\" + AutoRunOnCard(config_.processor)) : nullptr;
    return IsFile(program) ? program : nullptr;
}

std::vector<std::u16string> Shell::CardsOut() const {
    std::vector<std::u16string> cards;
    for (const Store::Tree& card : cardsOut_) {
        cards.push_back(card.entries.front().second.path);
    }
    return cards;
}

long long Shell::CardsIn() const {
    long long cards = 0;
    for (const Entry* entry : files_.Children(u"")) {
        cards += IsCard(*entry) ? 1 : 0;
    }
    return cards;
}

void Shell::Insert() {
    // Cards taken out come back, with what they held.
    const long long back = static_cast<long long>(cardsOut_.size());
    for (const Store::Tree& card : cardsOut_) {
        files_.Put(card);
    }
    cardsOut_.clear();
    ev::Step step{u"insert", back, CardsIn()};
    // The folder the shell looks in on a card is its processor's; the Auto
    // Run Policy may keep it from starting anything.
    step.facts = Texts{fact::Processor};
    if (config_.autoRunPolicy != 0) {
        step.facts = Texts{fact::AutoRunPolicy};
        if (*step.in > 0) {
            step.why = u"the device's Auto Run Policy is " +
                       Utf16(std::to_string(config_.autoRunPolicy)) +
                       u", which restricts programs on storage cards from running automatically";
        }
        log_.Emit(step);
        return;
    }
    for (const Entry* card : files_.Children(u"")) {
        const Entry* program = ProgramOn(*card);
        if (program == nullptr) {
            continue;
        }
        step.runs = true;
        log_.Emit(step);
        Entry copy = *program;
        copy.path = AutoRunCopyPath;
        log_.Emit(ev::Copy{program->path, copy.path, true});
        files_.Add(copy);
        run_(AutoRunCopyPath, u"install");
        return;
    }
    if (*step.in > 0) {
        step.why = u"no card holds " + AutoRunOnCard(config_.processor) +
                   u", the folder of this device's processor, " +
                   Utf16(ProcessorText(config_.processor));
    }
    log_.Emit(step);
}

void Shell::TapMenu() {
    const Entry* copy = files_.OwnCopyIn(config_.programsFolder);
    TapOn(u"menu", copy != nullptr ? copy->path : std::u16string(), copy);
}

void Shell::Tap(const std::u16string& file) {
    const Entry* entry = file.empty() ? nullptr : files_.Find(file);
    TapOn(u"tap", file, IsFile(entry) ? entry : nullptr);
}

void Shell::TapOn(const char16_t* name, const std::u16string& file, const Entry* entry) {
    ev::Step step{name};
    if (!file.empty()) {
        step.path = file;
    }
    step.runs = entry != nullptr;
    log_.Emit(step);
    if (step.runs) {
        const std::u16string path = entry->path; // the run may change the store
        run_(path, u"");
    }
}

void Shell::Remove() {
    std::vector<std::u16string> cards;
    for (const Entry* entry : files_.Children(u"")) {
        if (IsCard(*entry)) {
            cards.push_back(entry->path);
        }
    }
    for (const std::u16string& card : cards) {
        cardsOut_.push_back(files_.Take(card));
    }
    // With no card in, no card comes out and the shell starts nothing.
    ev::Step step{u"remove", static_cast<Number>(cards.size())};
    step.runs = !cards.empty() && IsFile(files_.Find(AutoRunCopyPath));
    log_.Emit(step);
    if (step.runs) {
        run_(AutoRunCopyPath, u"uninstall");
    }
}

} // namespace sim
