// Playing a card's life on one kind of device (simulator/check_judge.cpp
// judges it), and the kind of device a card is checked on.
#include "simulator/check.h"

#include "runner/pe_image.h"
#include "simulator/check_judge.h"
#include "simulator/steps.h"
#include "simulator/timeline.h"

namespace simtool {

namespace {

const Step::Kind Life[LifeSteps] = {Step::Insert, Step::Menu, Step::Remove,
                                    Step::Insert, Step::Menu, Step::Remove};
// The string resource that holds a program's title, which names its
// Programs-menu entry.
constexpr unsigned TitleString = 1;

// The packages on the cards: their files ending in ".cab", in any folder.
std::vector<sim::Entry> CardPackages(const sim::Device& device) {
    std::vector<sim::Entry> packages;
    for (const sim::Entry* entry : device.Files().All()) {
        const sim::Entry* root =
            device.Files().Find(entry->path.substr(0, entry->path.find(u'\\', 1)));
        if (sim::IsFile(entry) && sim::HasExtension(entry->path, u".cab") && root != nullptr &&
            sim::IsCard(*root)) {
            packages.push_back(*entry);
        }
    }
    return packages;
}
} // namespace

const char* Heading(Column column) {
    static const char* const headings[Columns] = {"installs",      "menu entry",  "tap starts",
                                                  "removal clean", "works again", "runs clean"};
    return headings[column];
}

const char* Key(Column column) {
    static const char* const keys[Columns] = {"installs",     "menuEntry",  "tapStarts",
                                              "removalClean", "worksAgain", "runsClean"};
    return keys[column];
}

bool DeviceCheck::Passes() const {
    for (const Judgement& judgement : judgements) {
        if (judgement.verdict != Verdict::Pass) {
            return false;
        }
    }
    return true;
}

Description OnDevice(const Description& card, const Description& profile) {
    Description d = card;
    d.source = profile.source;
    d.profile = profile.profile;
    d.name = profile.name;
    // The kind of device is the profile's; how long the uninstaller takes,
    // the clock and the stand-in package are the card description's.
    d.config = profile.config;
    d.config.uninstallMs = card.config.uninstallMs;
    d.config.clockStart = card.config.clockStart;
    d.config.standIn = card.config.standIn;
    return d;
}

std::u16string MenuEntryOf(const sim::Device& device, const runner::ProgramRunner& programs) {
    const std::u16string onCard =
        sim::Utf16(std::to_string(device.Facts().processor)) + u"\\autorun.exe";
    sim::Content program = programs.standIn;
    for (const sim::Entry* card : device.Files().Children(u"")) {
        const sim::Entry* file =
            sim::IsCard(*card) ? device.Files().Find(card->path + u"\\" + onCard) : nullptr;
        if (sim::IsFile(file)) {
            program = file->content && !file->content->empty() ? file->content : programs.standIn;
            break;
        }
    }
    std::u16string title = programs.native.title;
    if (program) {
        runner::PeImage image;
        std::string error;
        if (!runner::ReadPeImage(*program, image, error) ||
            !runner::ReadImageString(image, TitleString, title)) {
            title.clear(); // an image without a title, or none the device would start
        }
    }
    return MenuEntry(device, title);
}

DeviceCheck CheckDevice(const Description& onDevice, runner::ProgramRunner& programs,
                        const Explain* explain) {
    sim::Device device(onDevice.config);
    Populate(onDevice, device, programs.standIn);
    device.SetLauncher(&programs);
    const std::u16string menu = MenuEntryOf(device, programs);
    if (explain != nullptr) {
        WriteIntro(explain->out, onDevice, device, explain->program, menu);
    }
    PlayedLife life;
    life.before = StateOf(device);
    life.menu = menu;
    life.cardPackages = CardPackages(device);
    for (int i = 0; i < LifeSteps; ++i) {
        life.steps[i].from = device.Events().size();
        RunSteps(device, {Step{Life[i], {}, {}}}, menu);
        life.steps[i].to = device.Events().size();
        life.steps[i].after = StateOf(device);
    }
    DeviceCheck check;
    check.device = onDevice.profile;
    check.name = onDevice.name;
    JudgeLife(device, life, check);
    if (explain != nullptr) {
        WriteTimeline(explain->out, device, life.before, false);
    }
    return check;
}

} // namespace simtool
