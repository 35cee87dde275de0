// Judging a played life: each judgement read off the device's states and
// its record, with its reason in the device's words.
#include "simulator/check_judge.h"

#include "device/package.h"
#include "simulator/check_causes.h"
#include "simulator/check_remedies.h"
#include "simulator/json_input.h"
#include "simulator/telling.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <utility>

namespace simtool {

namespace {

using sim::EventKind;

const char* const StepNames[LifeSteps] = {"the first insertion", "the first tap",
                                          "the first removal",   "the second insertion",
                                          "the second tap",      "the second removal"};

// An application of a package: its key under HKEY_LOCAL_MACHINE\SOFTWARE\Apps
// (with the root, as the device's state names keys) and its files.
struct Application {
    std::u16string key;
    std::vector<std::string> files;
};

const std::u16string AppsKey = sim::Rooted(sim::AppsKeyPath);

bool HasEntry(const DeviceState& state, const std::u16string& path) {
    for (const sim::Entry& entry : state.entries) {
        if (sim::SameName(entry.path, path)) {
            return true;
        }
    }
    return false;
}

bool HasKey(const DeviceState& state, const std::u16string& key) {
    for (const std::u16string& k : state.keys) {
        if (sim::SameName(k, key)) {
            return true;
        }
    }
    return false;
}

// Failures name this many items, and count the rest.
constexpr std::size_t Named = 3;

Judgement Fail(const std::string& why) {
    return {Verdict::Fail, why, {}};
}

Judgement Fail(const std::string& why, std::vector<std::string> causes) {
    return {Verdict::Fail, why, std::move(causes)};
}

// The same failure, with what to change.
Judgement Remedied(Judgement judgement, std::vector<std::string> remedies) {
    judgement.remedies = std::move(remedies);
    return judgement;
}

Judgement NotJudged(const std::string& why) {
    return {Verdict::NotJudged, why, {}};
}

// The same judgement, its reason told after what it happened on.
Judgement On(const std::string& when, Judgement judgement) {
    judgement.why = when + judgement.why;
    return judgement;
}

// The cards' packages: their files ending in ".cab", in any folder.
std::vector<sim::Entry> Packages(const std::vector<sim::Entry>& cards) {
    std::vector<sim::Entry> packages;
    for (const sim::Entry& entry : cards) {
        if (IsPackage(entry)) {
            packages.push_back(entry);
        }
    }
    return packages;
}

class Judge {
  public:
    Judge(const sim::Device& device, const PlayedLife& life)
        : device_(device), events_(device.Events()), before_(life.before), steps_(life.steps),
          cardPackages_(Packages(life.steps[0].cards)) {}

    void Into(DeviceCheck& check) {
        for (int step = 0; step < LifeSteps; ++step) {
            for (const std::u16string& search : CardSearches(Span(step))) {
                if (std::none_of(
                        check.searched.begin(), check.searched.end(),
                        [&](const std::u16string& s) { return sim::SameName(s, search); })) {
                    check.searched.push_back(search);
                }
            }
        }
        Judgement* j = check.judgements;
        j[Installs] = InstallsOn(0);
        j[MenuAdded] = MenuEntryOn(0);
        j[TapStarts] = TapOn(1, j[Installs], j[MenuAdded]);
        j[RemovalClean] = Removals(check);
        j[WorksAgain] = Again(j);
        j[RunsClean] = Runs(check);
        check.notes = NotRun();
        // Which of the device's facts each rests on, as its record names them.
        RestsOn(j[Installs], {{0, RunParts | InstallerParts}});
        RestsOn(j[MenuAdded], {{0, RunParts}});
        RestsOn(j[TapStarts], {{1, RunParts}});
        RestsOn(j[RemovalClean], {{2, RemovalParts}, {5, RemovalParts}});
        RestsOn(j[WorksAgain], {{3, RunParts | InstallerParts}, {4, RunParts}});
    }

  private:
    // The facts the events of those steps, of those parts, rest on, each once;
    // a clean removal rests on the removals that removed something.
    void RestsOn(Judgement& judgement, std::initializer_list<std::pair<int, int>> steps) const {
        for (const auto& [step, parts] : steps) {
            FactsNamed(Span(step), parts, judgement.verdict == Verdict::Pass, judgement.facts);
        }
    }

    const DeviceState& StateBefore(int step) const {
        return step == 0 ? before_ : steps_[step - 1].after;
    }

    RecordSpan Span(int step) const {
        return {events_, steps_[step].from, steps_[step].to, steps_[step].cards};
    }

    // Whether a program ran in the step.
    bool Ran(int step) const {
        for (std::size_t i = steps_[step].from; i < steps_[step].to; ++i) {
            if (events_[i].kind == EventKind::Start) {
                return true;
            }
        }
        return false;
    }

    // The path of the run that recorded event i.
    std::string RunOf(std::size_t i) const {
        for (std::size_t k = i; k-- > 0;) {
            if (const auto* start = events_[k].As<sim::ev::Start>()) {
                return sim::Utf8(start->path);
            }
        }
        return std::string();
    }

    std::string CrashText(std::size_t i) const {
        const sim::ev::Crash& e = *events_[i].As<sim::ev::Crash>();
        char address[24];
        std::snprintf(address, sizeof address, "0x%08llX",
                      static_cast<unsigned long long>(e.address));
        return RunOf(i) + " crashes: " + sim::Utf8(e.reason) + ", at " + address;
    }

    static std::string NotStartedText(const sim::ev::NotStarted& e) {
        return "the device cannot start " + sim::Utf8(e.path) + ": " + sim::Utf8(e.reason);
    }

    // Where the file at path was copied from by a copy recorded in events
    // [from, to): the shell's copy of a card's program, say.
    std::vector<std::string> CopiedFrom(std::size_t from, std::size_t to,
                                        const std::u16string& path) const {
        const std::u16string source = CopySource(from, to, path);
        if (source.empty()) {
            return {};
        }
        return {sim::Utf8(path) + " is a copy of " + sim::Utf8(source)};
    }
    std::u16string CopySource(std::size_t from, std::size_t to, const std::u16string& path) const {
        for (std::size_t i = to; i-- > from;) {
            const auto* copy = events_[i].As<sim::ev::Copy>();
            if (copy != nullptr && copy->ok && sim::SameName(copy->to, path)) {
                return copy->from;
            }
        }
        return std::u16string();
    }

    // What the cabinet installer read of a package before event i, when it
    // read it.
    const sim::ev::Package* PackageRead(std::size_t i, const std::u16string& path) const {
        while (i-- > 0) {
            const auto* package = events_[i].As<sim::ev::Package>();
            if (package != nullptr && sim::SameName(package->package, path)) {
                return package;
            }
        }
        return nullptr;
    }

    // What the installer recorded installing up to the end of a step: each
    // application's key and files.
    std::vector<Application> InstalledBy(int last) const {
        std::vector<Application> all;
        for (std::size_t i = 0; i < steps_[last].to; ++i) {
            const auto* installed = events_[i].As<sim::ev::Installed>();
            if (installed == nullptr) {
                continue;
            }
            Application made;
            made.files = Texts(installed->files);
            for (const std::u16string& key : installed->keys) {
                made.key =
                    sim::IsWithin(key, AppsKey) && key.size() > AppsKey.size() ? key : made.key;
            }
            all.push_back(made);
        }
        return all;
    }

    // What the card's packages install, as far as the device can tell
    // without installing them: the application's key, as the installer
    // names it. Read when first asked for: only an insertion that installs
    // nothing needs them.
    const std::vector<Application>& CardApplications() const {
        if (cardApplications_.size() == cardPackages_.size()) {
            return cardApplications_;
        }
        for (const sim::Entry& entry : cardPackages_) {
            Application app;
            sim::Package package;
            std::string error;
            if (entry.content && sim::ReadPackage(*entry.content, package, error)) {
                app.key = sim::Rooted(sim::AppKey(sim::ApplicationName(package.header)));
            }
            cardApplications_.push_back(app);
        }
        return cardApplications_;
    }

    static bool Present(const Application& app, const DeviceState& state) {
        for (const std::string& file : app.files) {
            if (!HasEntry(state, sim::Utf16(file))) {
                return false;
            }
        }
        return !app.key.empty() && HasKey(state, app.key);
    }

    // What the program did in a step instead of opening a package, from the
    // record: the box it showed, with what it searched and what the cards
    // held there; or a file it started that is no package, with the times it
    // compared. Empty when it did neither.
    std::vector<std::string> Instead(int step, std::vector<std::string>* remedies = nullptr) const {
        const PlayedLife::Moment& m = steps_[step];
        std::string started;
        for (std::size_t i = m.from; i < m.to; ++i) {
            if (const auto* shown = events_[i].As<sim::ev::MessageBox>()) {
                std::vector<std::string> causes = {"a message box says " +
                                                   Quoted(sim::Utf8(shown->text))};
                for (const std::string& cause : SearchCauses(Span(step))) {
                    causes.push_back(cause);
                }
                if (remedies != nullptr) {
                    *remedies = SearchRemedies(Span(step));
                }
                return causes;
            }
            const auto* opened = events_[i].As<sim::ev::Launch>();
            if (opened != nullptr && opened->ok && started.empty() &&
                !sim::HasExtension(opened->file, u".cab")) {
                started = sim::Utf8(opened->file);
            }
        }
        if (started.empty()) {
            return {};
        }
        std::vector<std::string> causes = {"the program starts " + started +
                                           " and opens no package"};
        for (const std::string& cause : ComparedTimes(Span(step))) {
            causes.push_back(cause);
        }
        return causes;
    }

    // Why an insertion installed nothing, from what the device recorded in it.
    Judgement NothingInstalled(int step) const {
        const PlayedLife::Moment& m = steps_[step];
        std::string launch;
        for (std::size_t i = m.from; i < m.to; ++i) {
            const sim::Event& e = events_[i];
            const auto* stepped = e.As<sim::ev::Step>();
            if (stepped != nullptr && stepped->name == u"insert" && !stepped->runs) {
                return Remedied(Fail(sim::Utf8(stepped->why.value_or(u"no card is in")) +
                                     ", so the shell starts nothing"),
                                ShellRemedy(*stepped, device_.Facts(), m.cards));
            }
            if (e.kind == EventKind::Crash) {
                return Fail(CrashText(i));
            }
            if (const auto* refused = e.As<sim::ev::NotStarted>()) {
                return Remedied(
                    Fail(NotStartedText(*refused), CopiedFrom(m.from, i, refused->path)),
                    LoaderRemedy(*refused, CopySource(m.from, i, refused->path), device_.Facts(),
                                 m.cards));
            }
            if (const auto* refused = e.As<sim::ev::Refused>()) {
                return Remedied(
                    Fail("the cabinet installer refuses " + sim::Utf8(refused->package) + ": " +
                         sim::Utf8(refused->why)),
                    InstallerRemedy(*refused, PackageRead(i, refused->package), device_.Facts()));
            }
            const auto* opened = e.As<sim::ev::Launch>();
            if (opened != nullptr && !opened->ok && launch.empty()) {
                launch = "the shell cannot open " + sim::Utf8(opened->file) + ": " + WhyOf(*opened);
            }
        }
        if (!launch.empty()) {
            return Fail(launch);
        }
        // A package the installer deleted earlier in the life is not there
        // to be found again.
        std::string why;
        std::vector<std::string> remedies;
        std::vector<std::string> facts; // the deletion's
        for (int earlier = 0; earlier < step; ++earlier) {
            for (std::size_t i = steps_[earlier].from; i < steps_[earlier].to; ++i) {
                const auto* deleted = events_[i].As<sim::ev::PackageDeleted>();
                if (why.empty() && deleted != nullptr && deleted->ok) {
                    why = "the cabinet installer deleted " + sim::Utf8(deleted->package) +
                          " after installing it on " + StepNames[earlier];
                    remedies = DeletedPackageRemedy();
                    facts = Texts(deleted->facts);
                }
            }
        }
        std::vector<std::string> searched;
        std::vector<std::string> causes = Instead(step, &searched);
        if (!causes.empty()) {
            why += std::string(why.empty() ? "" : ", and ") + causes.front();
            causes.erase(causes.begin());
        }
        if (remedies.empty()) {
            remedies = searched;
        }
        Judgement failed =
            Remedied(Fail("nothing is installed" +
                              (why.empty() ? std::string(", and no package's application is there")
                                           : ": " + why),
                          causes),
                     remedies);
        failed.facts = facts;
        return failed;
    }

    // After an insertion, the package's application is installed: what the
    // installer recorded installing is there, or what it installed earlier
    // in the life still is (it was current, so nothing needed installing).
    Judgement InstallsOn(int step) const {
        const DeviceState& after = steps_[step].after;
        std::vector<Application> apps = InstalledBy(step);
        for (const Application& app : apps) {
            if (Present(app, after)) {
                return {};
            }
        }
        for (const Application& app : CardApplications()) {
            if (Present(app, after)) {
                return {};
            }
        }
        std::string half;
        for (const Application& app : apps) {
            // Files there without the application's key, or the reverse: the
            // device does not count it as installed.
            std::vector<std::string> there;
            std::vector<std::string> missing;
            for (const std::string& file : app.files) {
                (HasEntry(after, sim::Utf16(file)) ? there : missing).push_back(file);
            }
            if (!app.key.empty()) {
                (HasKey(after, app.key) ? there : missing)
                    .push_back("the key " + sim::Utf8(app.key));
            }
            if (half.empty() && !there.empty() && !missing.empty()) {
                half = Listed(there, 1) + (there.size() == 1 ? " is" : " are") + " there but " +
                       Listed(missing, 1) + (missing.size() == 1 ? " is" : " are") +
                       " not, and nothing is installed";
            }
        }
        return !half.empty() ? Fail(half, Instead(step)) : NothingInstalled(step);
    }

    Judgement MenuEntryOn(int step) const {
        const std::u16string& folder = device_.Facts().programsFolder;
        for (const sim::Entry& entry : Compare(StateBefore(step), steps_[step].after).added) {
            if (sim::IsFile(&entry) && sim::IsWithin(entry.path, folder) &&
                !sim::SameName(entry.path, folder)) {
                return {};
            }
        }
        if (!Ran(step)) {
            return NotJudged("nothing ran on " + std::string(StepNames[step]));
        }
        const PlayedLife::Moment& m = steps_[step];
        for (std::size_t i = m.from; i < m.to; ++i) {
            const auto* copy = events_[i].As<sim::ev::Copy>();
            if (copy != nullptr && !copy->ok && sim::IsWithin(copy->to, folder)) {
                return Fail("copying " + sim::Utf8(copy->from) + " to " + sim::Utf8(copy->to) +
                            " fails: " + WhyOf(*copy));
            }
        }
        return Fail("no entry appears in " + sim::Utf8(folder));
    }

    // Why what follows an insertion that did not work is not judged.
    std::string DidNotWork(int insertion, const Judgement& installs) const {
        const std::string step = StepNames[insertion];
        return !Ran(insertion)                     ? "nothing ran on " + step
               : installs.verdict != Verdict::Pass ? step + " installed nothing"
                                                   : step + " made no Programs-menu entry";
    }

    // The tap starts a file that the installer installed.
    Judgement TapOn(int step, const Judgement& installs, const Judgement& menu) const {
        if (installs.verdict != Verdict::Pass) {
            return NotJudged(DidNotWork(step - 1, installs));
        }
        const PlayedLife::Moment& m = steps_[step];
        std::vector<std::u16string> files;
        std::vector<Application> apps = InstalledBy(step);
        apps.insert(apps.end(), CardApplications().begin(), CardApplications().end());
        for (const Application& app : apps) {
            for (const std::string& file : app.files) {
                files.push_back(sim::Utf16(file));
            }
        }
        std::string other;
        std::string tapped;
        for (std::size_t i = m.from; i < m.to; ++i) {
            const sim::Event& e = events_[i];
            if (const auto* stepped = e.As<sim::ev::Step>()) {
                if (stepped->runs) {
                    tapped = sim::Utf8(stepped->path.value_or(u""));
                    continue;
                }
                if (menu.verdict != Verdict::Pass) {
                    return NotJudged(DidNotWork(step - 1, installs));
                }
                return Fail("the card's program made no copy of itself in " +
                            sim::Utf8(device_.Facts().programsFolder) + " to tap");
            }
            if (e.kind == EventKind::Crash) {
                return Fail(CrashText(i));
            }
            if (const auto* refused = e.As<sim::ev::NotStarted>()) {
                return Fail(NotStartedText(*refused));
            }
            const auto* launch = e.As<sim::ev::Launch>();
            if (launch == nullptr) {
                continue;
            }
            const std::string file = sim::Utf8(launch->file);
            if (!launch->ok) {
                other = other.empty() ? "the shell cannot start " + file + ": " + WhyOf(*launch)
                                      : other;
                continue;
            }
            for (const std::u16string& installed : files) {
                if (sim::SameName(installed, launch->file)) {
                    return {};
                }
            }
            other = other.empty() ? "the tap starts " + file + ", which the package did not install"
                                  : other;
        }
        return Fail(!other.empty() ? other
                                   : "the tap starts " + tapped +
                                         ", which starts nothing that the package installed");
    }

    // The device's own folders, which a real device has from the start, as a
    // profile's does; a kind given without them makes them when a program
    // first needs them: the Programs folder and the installer's standard
    // folders, with the folders above.
    bool Standard(const sim::Entry& entry) const {
        if ((entry.attributes & sim::AttrDirectory) == 0) {
            return false;
        }
        std::vector<std::u16string> folders = {device_.Facts().programsFolder};
        for (const auto& folder : *device_.Facts().folders) {
            folders.push_back(folder.second);
        }
        for (const std::u16string& folder : folders) {
            if (sim::IsWithin(folder, entry.path)) {
                return true;
            }
        }
        return false;
    }

    // What a removal left of what the card's life added, as the device names
    // it: files and folders, then keys; and the values it added or changed
    // in keys the device had before.
    struct Leftover {
        std::vector<std::string> items;
        std::vector<LeftValue> values;
        bool Empty() const {
            return items.empty() && values.empty();
        }
    };
    Leftover Left(int step, std::vector<std::string>& allowed) const {
        const DeviceChanges changes = Compare(before_, steps_[step].after);
        Leftover left;
        std::vector<std::string> folders;
        for (const sim::Entry& entry : changes.added) {
            if (sim::SameName(entry.path, sim::AutoRunCopyPath)) {
                allowed = {sim::Utf8(entry.path)};
            } else if (!Standard(entry)) {
                ((entry.attributes & sim::AttrDirectory) != 0 ? folders : left.items)
                    .push_back(sim::Utf8(entry.path));
            }
        }
        left.items.insert(left.items.end(), folders.begin(), folders.end());
        for (const std::u16string& key : changes.addedKeys) {
            if (!sim::IsWithin(AppsKey, key)) { // the Apps key, or a key above it
                left.items.push_back(sim::Utf8(key));
            }
        }
        for (const KeyValue& kv : OutsideKeys(changes.addedValues, changes.addedKeys)) {
            left.values.push_back({sim::Utf8(kv.key), sim::Utf8(kv.value.name), true});
        }
        for (const KeyValue& kv : OutsideKeys(changes.changedValues, changes.removedKeys)) {
            left.values.push_back({sim::Utf8(kv.key), sim::Utf8(kv.value.name), false});
        }
        return left;
    }

    // The folders the installer made that the uninstaller left in a step,
    // as it recorded them.
    std::vector<std::string> FoldersLeft(int step) const {
        std::vector<std::string> folders;
        for (std::size_t i = steps_[step].from; i < steps_[step].to; ++i) {
            const auto* uninstalled = events_[i].As<sim::ev::Uninstalled>();
            if (uninstalled != nullptr && uninstalled->kept) {
                for (const std::string& folder : Texts(*uninstalled->kept)) {
                    folders.push_back(folder);
                }
            }
            const auto* configured = events_[i].As<sim::ev::Configure>();
            if (configured != nullptr && configured->kept) {
                for (const std::string& folder : Texts(*configured->kept)) {
                    folders.push_back(folder);
                }
            }
        }
        return folders;
    }

    // What the device did not do that the verdict would rest on: the setup
    // DLL of a package it installed.
    std::vector<std::string> NotRun() const {
        std::vector<std::string> notes;
        for (const sim::Event& event : events_) {
            const auto* installed = event.As<sim::ev::Installed>();
            if (installed == nullptr || !installed->setupDll) {
                continue;
            }
            const std::string note = "the setup DLL " + sim::Utf8(*installed->setupDll) + " of " +
                                     sim::Utf8(installed->package) +
                                     " is not run (the simulated device runs none): what it "
                                     "would do on this device is not judged";
            if (std::find(notes.begin(), notes.end(), note) == notes.end()) {
                notes.push_back(note);
            }
        }
        return notes;
    }

    Judgement Removals(DeviceCheck& check) const {
        const Leftover first = Left(2, check.allowed);
        const Leftover second = Left(5, check.allowed);
        check.foldersLeft = FoldersLeft(2);
        if (check.foldersLeft.empty()) {
            check.foldersLeft = FoldersLeft(5);
        }
        if (first.Empty() && second.Empty()) {
            return {};
        }
        const Leftover& left = first.Empty() ? second : first;
        check.left = left.items;
        check.leftValues = left.values;
        std::vector<std::string> named;
        for (const std::string& item : left.items) {
            named.push_back(item[0] == '\\' ? item : "the key " + item);
        }
        std::vector<std::string> values;
        for (const LeftValue& value : left.values) {
            values.push_back(ValueName(sim::Utf16(value.key), sim::Utf16(value.name)) +
                             (value.added ? " (added)" : " (changed)"));
        }
        const std::string when = first.Empty()    ? "the second removal"
                                 : second.Empty() ? "the first removal"
                                                  : "each removal";
        const std::string is = named.size() == 1 ? " is" : " are";
        const std::string valuesAre = values.size() == 1 ? " is " : " are ";
        // The folders the uninstaller left are named whole, with why.
        const std::vector<std::string>& folders = check.foldersLeft;
        const bool onlyFolders =
            values.empty() &&
            std::all_of(check.left.begin(), check.left.end(), [&folders](const std::string& item) {
                return std::find(folders.begin(), folders.end(), item) != folders.end();
            });
        const std::string stay = "folders the installer made, which the uninstaller leaves: " +
                                 WhyFoldersStay(device_.Facts());
        std::string why;
        if (!folders.empty() && onlyFolders) {
            why = Listed(folders) + (folders.size() == 1 ? " is" : " are") + " left after " + when +
                  ", " + stay;
        } else {
            why = named.empty()    ? Listed(values, Named) + valuesAre + "left after " + when
                  : values.empty() ? Listed(named, Named) + is + " left after " + when
                                   : Listed(named, Named) + is + " left after " + when +
                                         ", and so" + valuesAre + Listed(values, Named);
            if (!folders.empty()) {
                why += "; among them " + Listed(folders) + ", " + stay;
            }
        }
        const int removal = first.Empty() ? 5 : 2;
        const std::size_t to = steps_[removal].to;
        return Remedied(
            Fail(why, UninstallerNames(events_, to)),
            RemovalRemedies(events_, steps_[removal].from, to, device_.Facts(), check.foldersLeft));
    }

    // The second insertion and tap, judged as the first were.
    Judgement Again(const Judgement* first) const {
        if (first[Installs].verdict != Verdict::Pass || first[MenuAdded].verdict != Verdict::Pass) {
            return NotJudged(DidNotWork(0, first[Installs]));
        }
        if (first[TapStarts].verdict != Verdict::Pass) {
            return NotJudged("the first tap did not work");
        }
        const Judgement installs = InstallsOn(3);
        const Judgement menu = MenuEntryOn(3);
        const Judgement tap = TapOn(4, installs, menu);
        for (const Judgement* j : {&installs, &menu, &tap}) {
            if (j->verdict != Verdict::Pass) {
                Judgement failed =
                    On(j == &tap ? "on the second tap, " : "on the second insertion, ", *j);
                failed.verdict = Verdict::Fail;
                return failed;
            }
        }
        return {};
    }

    Judgement Runs(DeviceCheck& check) const {
        for (int step = 0; step < LifeSteps; ++step) {
            for (std::size_t i = steps_[step].from; i < steps_[step].to; ++i) {
                if (events_[i].kind == EventKind::Crash) {
                    check.crashed = true;
                    return Fail(CrashText(i) + " (" + StepNames[step] + ")");
                }
            }
        }
        if (!device_.Violations().empty()) {
            return Fail("the program misuses the platform: " + device_.Violations().front());
        }
        return {};
    }

    const sim::Device& device_;
    const std::vector<sim::Event>& events_;
    const DeviceState& before_;
    const PlayedLife::Moment (&steps_)[LifeSteps];
    const std::vector<sim::Entry> cardPackages_; // before the first step
    mutable std::vector<Application> cardApplications_;
};

} // namespace

void JudgeLife(const sim::Device& device, const PlayedLife& life, DeviceCheck& check) {
    Judge(device, life).Into(check);
}

} // namespace simtool
