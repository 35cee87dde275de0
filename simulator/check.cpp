// Playing a card's life on one kind of device (simulator/check_judge.cpp
// judges it), and the kind of device a card is checked on.
#include "simulator/check.h"

#include "simulator/check_judge.h"
#include "simulator/steps.h"
#include "simulator/timeline.h"

namespace simtool {

namespace {

const Step::Kind Life[LifeSteps] = {Step::Insert, Step::Menu, Step::Remove,
                                    Step::Insert, Step::Menu, Step::Remove};

// What the cards that are in hold: the cards and everything on them, in the
// store's order.
std::vector<sim::Entry> CardEntries(const sim::Device& device) {
    std::vector<sim::Entry> entries;
    for (const sim::Entry* entry : device.Files().All()) {
        if (device.Files().CardOf(entry->path) != nullptr) {
            entries.push_back(*entry);
        }
    }
    return entries;
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

std::string Judgement::Reason() const {
    std::string reason = why;
    for (const std::string& cause : causes) {
        reason += "; " + cause;
    }
    return reason;
}

bool DeviceCheck::Passes() const {
    for (const Judgement& judgement : judgements) {
        if (judgement.verdict != Verdict::Pass) {
            return false;
        }
    }
    return true;
}

bool DeviceCheck::FailsAsExpected() const {
    bool fails = false;
    for (const Judgement& judgement : judgements) {
        if (judgement.verdict == Verdict::Fail && !judgement.Expected()) {
            return false;
        }
        fails = fails || judgement.verdict == Verdict::Fail;
    }
    return fails;
}

Description OnDevice(const Description& card, const Description& profile) {
    Description d = card;
    d.source = profile.source;
    d.profile = profile.profile;
    d.name = profile.name;
    // The kind of device is the profile's; how long the uninstaller takes
    // and the clock are the card description's.
    d.config = profile.config;
    d.standing = profile.standing;
    d.config.uninstallMs = card.config.uninstallMs;
    d.config.clockStart = card.config.clockStart;
    // The card's keys come on top of the kind's own, which stay.
    if (card.hasRegistry) {
        const std::u16string local = std::u16string(sim::LocalMachine) + u"\\";
        std::vector<std::u16string> keys;
        for (const std::u16string& key : d.config.standard->keys) {
            if (key.compare(0, local.size(), local) == 0) {
                keys.push_back(key.substr(local.size()));
            }
        }
        d.registry.insert(d.registry.begin(), keys.begin(), keys.end());
    }
    return d;
}

DeviceCheck CheckDevice(const Description& onDevice, runner::ProgramRunner& programs,
                        const Explain* explain) {
    sim::Device device(onDevice.config);
    Populate(onDevice, device, programs.standIn);
    device.SetLauncher(&programs);
    DeviceCheck check;
    check.device = onDevice.profile;
    check.name = onDevice.name;
    check.processor = onDevice.config.processor;
    check.program = ProgramOnCards(device);
    if (explain != nullptr) {
        const std::string program = CheckProgramText(check.program, explain->choice);
        WriteIntro(explain->out, onDevice, device,
                   (program.empty() ? "none; no card holds " +
                                          sim::Utf8(sim::AutoRunOnCard(onDevice.config.processor))
                                    : program) +
                       ".");
    }
    PlayedLife life;
    life.before = StateOf(device);
    for (int i = 0; i < LifeSteps; ++i) {
        // A card taken out comes back as it went.
        life.steps[i].cards = CardEntries(device);
        if (life.steps[i].cards.empty() && i > 0) {
            life.steps[i].cards = life.steps[i - 1].cards;
        }
        life.steps[i].from = device.Events().size();
        RunSteps(device, {Step{Life[i], {}, {}}});
        life.steps[i].to = device.Events().size();
        life.steps[i].after = StateOf(device);
    }
    JudgeLife(device, life, check);
    // What each verdict rests on that the profile assumes.
    for (Judgement& judgement : check.judgements) {
        for (const std::string& fact : judgement.facts) {
            const auto standing = onDevice.standing.find(fact);
            if (judgement.verdict != Verdict::NotJudged && standing != onDevice.standing.end() &&
                !standing->second.assumed.empty()) {
                judgement.assumes.push_back({fact, standing->second.assumed});
            }
        }
    }
    if (explain != nullptr) {
        WriteTimeline(explain->out, device, life.before, false);
    }
    return check;
}

} // namespace simtool
