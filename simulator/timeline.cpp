// The timeline tells what the device saw, in sentences: one line for each
// effect with its time, and below the run that made them, what each call
// asked and what the device answered, grouped by step. Every sentence is read
// off an event; nothing is inferred from how the program works, so whatever
// kind of program runs, the same calls tell the same story.
#include "simulator/timeline.h"

#include "device/processors.h"
#include "simulator/call_story.h"
#include "simulator/json_input.h"
#include "simulator/telling.h"
#include "simulator/time_text.h"

#include <cstdio>
#include <map>

namespace simtool {

namespace {

using sim::EventKind;
namespace ev = sim::ev;

std::string Seconds(std::uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(ms) / 1000.0);
    return text;
}

std::string CommandLine(const std::string& args) {
    return args.empty() ? "an empty command line" : "the command line " + Quoted(args);
}

std::string StepTitle(const ev::Step& step) {
    const std::u16string& name = step.name;
    if (name == u"insert") {
        const long long back = step.cards.value_or(0);
        if (back > 0) {
            return back == 1 ? "insert: the card goes back in" : "insert: the cards go back in";
        }
        return step.in.value_or(0) > 0 ? "insert: the card is in; the shell acts as when it goes in"
                                       : "insert: there is no card to put in";
    }
    if (name == u"menu") {
        return "menu: the user taps the program's entry in the Programs menu";
    }
    if (name == u"tap") {
        return "tap: the user taps " + sim::Utf8(step.path.value_or(u""));
    }
    if (name == u"remove") {
        return step.cards.value_or(0) > 0 ? "remove: the card comes out"
                                          : "remove: there is no card to take out";
    }
    return sim::Utf8(name) + ": the program is started by hand";
}

class Story {
  public:
    Story(std::ostream& out, const sim::Device& device, bool trace)
        : out_(out), device_(device), trace_(trace) {
        for (const sim::Event& event : device.Events()) {
            steps_ += event.kind == EventKind::Step;
        }
    }

    void Tell() {
        const std::vector<sim::Event>& events = device_.Events();
        for (std::size_t i = 0; i < events.size(); ++i) {
            const sim::Event* next = i + 1 < events.size() ? &events[i + 1] : nullptr;
            Tell(events[i], next);
        }
    }

  private:
    // Control characters in names and texts are shown escaped, so that every
    // line of the timeline stays one line.
    void Line(std::uint64_t t, const std::string& text) {
        char time[32];
        std::snprintf(time, sizeof time, "%9.3f s  ", static_cast<double>(t) / 1000.0);
        out_ << time << Escaped(text) << '\n';
    }
    void More(const std::string& text) {
        out_ << std::string(13, ' ') << Escaped(text) << '\n';
    }

    void Tell(const sim::Event& e, const sim::Event* next) {
        const std::uint64_t t = e.t;
        std::visit([&](const auto& fields) { Tell(t, fields, next); }, e.data);
    }

    void Tell(std::uint64_t, const std::monostate&, const sim::Event*) {}

    void Tell(std::uint64_t t, const ev::Step& e, const sim::Event*) {
        out_ << "\nStep " << ++step_ << " of " << steps_ << ", " << Escaped(StepTitle(e)) << "\n";
        const std::u16string& name = e.name;
        if (name == u"insert" && !e.runs && e.why) {
            Line(t, Capitalized(sim::Utf8(*e.why)) + ", so the shell starts nothing.");
        } else if (name == u"menu" && !e.runs) {
            Line(t, "No program has copied itself into " +
                        sim::Utf8(device_.Facts().programsFolder) +
                        ", so there is no entry to tap.");
        } else if (name == u"tap" && !e.runs) {
            Line(t, "There is no " + sim::Utf8(e.path.value_or(u"")) +
                        ", so there is nothing to tap.");
        } else if (name == u"remove") {
            const long long cards = e.cards.value_or(0);
            if (cards == 0) {
                Line(t, "Nothing happens.");
            } else {
                Line(t, cards == 1 ? std::string("The card is taken out.")
                                   : "The " + std::to_string(cards) + " cards are taken out.");
                if (!e.runs) {
                    Line(t, "There is no " + sim::Utf8(sim::AutoRunCopyPath) +
                                ", so the shell starts nothing.");
                }
            }
        } else if (name == u"run" && !e.exists.value_or(false)) {
            Line(t, sim::Utf8(e.path.value_or(u"")) +
                        " is not on the device; the program runs as if it were that file.");
        }
    }

    void Tell(std::uint64_t t, const ev::Start& e, const sim::Event*) {
        runPath_ = sim::Utf8(e.path);
        calls_.NewRun();
        Line(t,
             "The program starts as " + runPath_ + " with " + CommandLine(sim::Utf8(e.args)) + ".");
    }

    void Tell(std::uint64_t t, const ev::NotStarted& e, const sim::Event*) {
        Line(t, "The device cannot start " + sim::Utf8(e.path) + ": " + sim::Utf8(e.reason) + ".");
    }

    // What a call asked and what the device answered. Calls whose effect
    // has its own event are told by that event.
    void Tell(std::uint64_t, const ev::Call& call, const sim::Event* next) {
        if (trace_) {
            More(CallStory::Trace(call));
        }
        EventKind effect;
        if (next != nullptr && sim::EffectOf(call.op, effect) && next->kind == effect) {
            return;
        }
        const std::string sentence = calls_.Tell(call);
        if (!sentence.empty()) {
            More(sentence);
        }
    }

    void Tell(std::uint64_t t, const ev::Launch& e, const sim::Event*) {
        const std::string file = sim::Utf8(e.file);
        const std::string args = sim::Utf8(e.args);
        const std::string with = args.empty() ? "" : " with " + Quoted(args);
        if (!e.ok) {
            Line(t, "The program asks the shell to start " + file + with +
                        "; the shell cannot: " + WhyOf(e) + ".");
        } else if (sim::SameName(e.file, sim::UninstallerPath)) {
            Line(t,
                 "The program starts the uninstaller " + file + with + ", which works beside it.");
        } else if (sim::HasExtension(e.file, u".cab")) {
            Line(t, "The program opens " + file + with +
                        "; the shell hands it to the cabinet installer.");
        } else {
            Line(t, "The program starts " + file + with + ".");
        }
    }

    void Tell(std::uint64_t t, const ev::Copy& e, const sim::Event*) {
        const std::string from = sim::Utf8(e.from);
        const std::string to = sim::Utf8(e.to);
        if (runPath_.empty()) {
            Line(t, "The shell copies " + from + " to " + to + (e.ok ? "." : ", and fails."));
            return;
        }
        std::string what = (from == runPath_ ? std::string("itself") : from) +
                           (InProgramsMenu(e.to) ? " to the Programs menu as " : " to ") + to;
        Line(t, e.ok ? "The program copies " + what + "."
                     : "The program tries to copy " + what + ": " + WhyOf(e) + ".");
    }

    void Tell(std::uint64_t t, const ev::Delete& e, const sim::Event*) {
        const std::string what =
            (InProgramsMenu(e.path) ? "the Programs-menu entry " : "") + sim::Utf8(e.path);
        Line(t, e.ok ? "The program deletes " + what + "."
                     : "The program tries to delete " + what + ": " + WhyOf(e) + ".");
    }

    void Tell(std::uint64_t t, const ev::KeyDelete& e, const sim::Event*) {
        const std::string what =
            "the key " + sim::Utf8(e.key) + " (attempt " + std::to_string(e.attempt) + ")";
        Line(t, e.result == 0
                    ? "The program deletes " + what + "."
                    : "The program tries to delete " + what + ": " + Why(e.why, e.result) + ".");
    }

    void Tell(std::uint64_t t, const ev::Sleep& e, const sim::Event*) {
        Line(t, "The program pauses for " + Seconds(static_cast<std::uint64_t>(e.ms)) + ".");
    }

    void Tell(std::uint64_t t, const ev::MessageBox& e, const sim::Event*) {
        Line(t, "The program shows a message box titled " + Quoted(sim::Utf8(e.caption)) +
                    " saying " + Quoted(sim::Utf8(e.text)) + "; it is dismissed.");
    }

    void Tell(std::uint64_t t, const ev::Exit& e, const sim::Event*) {
        const long long instructions = e.instructions.value_or(0);
        Line(t, "The program exits with code " + std::to_string(e.code) +
                    (instructions > 0 ? ", after " + std::to_string(instructions) + " instructions"
                                      : std::string()) +
                    ".");
        runPath_.clear();
    }

    void Tell(std::uint64_t t, const ev::Crash& e, const sim::Event*) {
        runPath_.clear();
        char code[16];
        std::snprintf(code, sizeof code, "0x%08llX", static_cast<unsigned long long>(e.code));
        char address[24];
        std::snprintf(address, sizeof address, "0x%08llX",
                      static_cast<unsigned long long>(e.address));
        Line(t, "The program crashes: " + sim::Utf8(e.reason) + ", at " + address + " (exception " +
                    code + "). The run ends here.");
    }

    void Tell(std::uint64_t t, const ev::Package& e, const sim::Event*) {
        const std::string minVersion = sim::Utf8(e.minVersion);
        const std::string maxVersion = sim::Utf8(e.maxVersion);
        std::string versions = minVersion == "0.0" ? "any version of Windows CE"
                                                   : "Windows CE " + minVersion + " or later";
        if (maxVersion != "0.0") {
            versions += ", up to " + maxVersion;
        }
        if (e.minBuild > 0 || e.maxBuild > 0) {
            versions += " (builds " + std::to_string(e.minBuild) + " to " +
                        (e.maxBuild > 0 ? std::to_string(e.maxBuild) : std::string("any")) + ")";
        }
        std::vector<std::string> unsupported;
        for (const std::string& platform : Texts(e.unsupported)) {
            unsupported.push_back(Quoted(platform));
        }
        Line(t, "The cabinet installer reads " + sim::Utf8(e.package) + ": " +
                    Quoted(sim::Utf8(e.app)) + " (application " + Quoted(sim::Utf8(e.appName)) +
                    " of " + Quoted(sim::Utf8(e.provider)) + "), for " +
                    (e.processor == 0 ? std::string("any processor")
                                      : "processor " + sim::ProcessorText(e.processor)) +
                    " and " + versions +
                    (unsupported.empty() ? std::string()
                                         : "; not for the platforms " + Listed(unsupported)) +
                    ".");
    }

    void Tell(std::uint64_t t, const ev::Refused& e, const sim::Event*) {
        Line(t, "The cabinet installer refuses " + sim::Utf8(e.package) + ": " + sim::Utf8(e.why) +
                    ". Nothing is installed.");
    }

    void Tell(std::uint64_t t, const ev::Installed& e, const sim::Event*) {
        std::vector<std::string> what = Texts(e.files);
        for (const std::string& key : Texts(e.keys, "the key ")) {
            what.push_back(key);
        }
        const std::vector<std::string> kept = Texts(e.kept);
        Line(t, "The cabinet installer installs " + Quoted(sim::Utf8(e.app)) + " from " +
                    sim::Utf8(e.package) + ": " +
                    (what.empty() ? std::string("nothing") : Listed(what)) +
                    (kept.empty() ? std::string() : "; it leaves " + Listed(kept) + " as it was") +
                    ".");
        if (e.setupDll) {
            Line(t, "The package's setup DLL " + sim::Utf8(*e.setupDll) +
                        " is not run: the simulated device runs no setup DLL, so what it would "
                        "do is not in this story.");
        }
    }

    void Tell(std::uint64_t t, const ev::PackageDeleted& e, const sim::Event*) {
        const std::string package = sim::Utf8(e.package);
        Line(t, e.ok ? "The cabinet installer deletes the package " + package +
                           ", as it does once it has installed one."
                     : "The cabinet installer cannot delete the package " + package +
                           ", so it stays: " + WhyOf(e) + ".");
    }

    void Tell(std::uint64_t t, const ev::Uninstalled& e, const sim::Event*) {
        const std::string app = Quoted(sim::Utf8(e.app));
        if (e.inert.value_or(false)) {
            Line(t, "The uninstaller removes nothing of " + app +
                        ": on this device, uninstalling goes another way.");
            return;
        }
        std::vector<std::string> removed = Texts(e.files);
        for (const std::string& key : Texts(e.keys, "the key ")) {
            removed.push_back(key);
        }
        Line(t, removed.empty()
                    ? "The uninstaller finishes: it finds nothing of " + app + " to remove."
                    : "The uninstaller finishes: " + app + " is uninstalled; it removes " +
                          Listed(removed) + ".");
        if (e.kept) {
            Line(t, "It leaves " + Listed(Texts(*e.kept)) +
                        ", folders the installer made: " + WhyFoldersStay(device_.Facts()) + ".");
        }
    }

    void Tell(std::uint64_t t, const ev::Configure& e, const sim::Event*) {
        const auto result = static_cast<platform::HRESULT>(static_cast<std::uint32_t>(e.result));
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
        const std::string name = sim::ResultName(result);
        const std::string answer = name.empty() ? code : name + " (" + code + ")";
        if (trace_) {
            More("configure(document " + Quoted(sim::Utf8(e.document)) + ", flags " +
                 std::to_string(e.flags) + ") = " + answer + "; output " +
                 (e.output ? Quoted(sim::Utf8(*e.output)) : std::string("null")));
        }
        if (result != platform::SOk) {
            Line(t, "The program hands the Configuration Manager a provisioning document, which "
                    "it does not carry out: " +
                        sim::Utf8(e.why.value_or(u"")) + "; it answers " + answer + ".");
            return;
        }
        std::vector<std::string> apps;
        for (const std::string& app : Texts(e.apps)) {
            apps.push_back(Quoted(app));
        }
        std::vector<std::string> removed = Texts(e.files);
        for (const std::string& key : Texts(e.keys, "the key ")) {
            removed.push_back(key);
        }
        Line(t, apps.empty() ? "The Configuration Manager carries out the program's provisioning "
                               "document, which asks it to change nothing; it answers " +
                                   answer + "."
                             : "The Configuration Manager uninstalls " + Listed(apps) +
                                   ", as the program's provisioning document asks: it removes " +
                                   (removed.empty() ? std::string("nothing") : Listed(removed)) +
                                   "; it answers " + answer + ".");
        if (e.kept) {
            Line(t, "It leaves " + Listed(Texts(*e.kept)) +
                        ", folders the installer made: " + WhyFoldersStay(device_.Facts()) + ".");
        }
    }

    bool InProgramsMenu(const std::u16string& path) const {
        return sim::SameName(sim::ParentOf(path), device_.Facts().programsFolder);
    }

    std::ostream& out_;
    const sim::Device& device_;
    bool trace_;
    int step_ = 0;
    int steps_ = 0;
    std::string runPath_; // the run under way; empty between runs
    CallStory calls_;
};

std::string Entries(const std::vector<sim::Entry>& entries) {
    std::vector<std::string> paths;
    for (const sim::Entry& entry : entries) {
        paths.push_back(sim::Utf8(entry.path));
    }
    return Listed(paths);
}

std::string Keys(const std::vector<std::u16string>& keys) {
    std::vector<std::string> names;
    for (const std::u16string& key : keys) {
        names.push_back(sim::Utf8(key));
    }
    return Listed(names);
}

// The values, each by its name and key; those in the added keys go without
// saying.
std::string Values(const std::vector<KeyValue>& values, const std::vector<std::u16string>& keys) {
    std::vector<std::string> names;
    for (const KeyValue& kv : OutsideKeys(values, keys)) {
        names.push_back(ValueName(kv.key, kv.value.name));
    }
    return Listed(names);
}

void TellChanges(std::ostream& out, const DeviceChanges& changes) {
    auto line = [&out](const std::string& what, const std::string& list) {
        if (!list.empty()) {
            out << Escaped("  " + what + ": " + list) << ".\n";
        }
    };
    line("Added", Entries(changes.added));
    line("Added keys", Keys(changes.addedKeys));
    line("Added values", Values(changes.addedValues, changes.addedKeys));
    line("Changed", Entries(changes.changed));
    line("Changed values", Values(changes.changedValues, changes.removedKeys));
    line("Removed", Entries(changes.removed));
    line("Removed keys", Keys(changes.removedKeys));
    if (changes.Empty()) {
        out << "  Nothing on the device changed.\n";
    }
}

std::string Fault(const sim::FaultRule& rule) {
    std::string calls = rule.count == 0
                            ? (rule.from == 1 ? std::string("every call")
                                              : "every call from call " + std::to_string(rule.from))
                        : rule.count == 1 ? "call " + std::to_string(rule.from)
                                          : "calls " + std::to_string(rule.from) + " to " +
                                                std::to_string(rule.from + rule.count - 1);
    if (!rule.match.empty()) {
        calls += " whose " + std::string(sim::MatchedArgument(rule.op)) + " matches " +
                 Quoted(sim::Utf8(rule.match));
    }
    const platform::LONG error = rule.error != 0 ? rule.error : sim::UsualFailure(rule.op);
    const std::string text = sim::ErrorText(error);
    return std::string(sim::NameOf(rule.op)) + " fails on " + calls + ", with error " +
           std::to_string(error) + (text.empty() ? "" : " (" + text + ")");
}

} // namespace

void WriteIntro(std::ostream& out, const Description& description, const sim::Device& device,
                const std::string& program) {
    const sim::Config& facts = device.Facts();
    const std::string deviceOf = description.source == "built-in demo"
                                     ? "The built-in demo's device"
                                     : "The device described in " + description.source;
    out << Escaped(deviceOf + (description.name.empty() ? "" : " (" + description.name + ")") +
                   ": platform type " + Quoted(sim::Utf8(facts.platformType)) + ", version " +
                   std::to_string(facts.osMajor) + "." + std::to_string(facts.osMinor) +
                   " (build " + std::to_string(facts.osBuild) + "), processor " +
                   sim::ProcessorText(facts.processor) + ".")
        << "\n";
    out << Escaped("  The program: " + program) << "\n";
    std::string cards;
    for (const sim::Entry* entry : device.Files().Children(u"")) {
        if (sim::IsCard(*entry)) {
            cards += (cards.empty() ? "" : ", ") + sim::Utf8(entry->path);
        }
    }
    out << Escaped("  Cards in the device: " + (cards.empty() ? std::string("none") : cards))
        << ".\n";
    for (const sim::FaultRule& rule : device.Faults().Rules()) {
        out << Escaped("  Fault: " + Fault(rule)) << ".\n";
    }
    switch (facts.unload) {
    case sim::Unload::Uninstalls:
        out << "  The uninstaller holds an application's key for " << Seconds(facts.uninstallMs)
            << " while it works.\n";
        break;
    case sim::Unload::DoesNothing:
        out << "  " << sim::Utf8(sim::UninstallerPath)
            << " is there but removes nothing: on this device, uninstalling goes another way.\n";
        break;
    case sim::Unload::Absent:
        out << "  The device has no " << sim::Utf8(sim::UninstallerPath) << ".\n";
        break;
    }
    for (const sim::LibraryFacts& library : facts.libraries) {
        std::vector<std::string> exports;
        for (sim::Procedure procedure : library.exports) {
            exports.push_back(sim::NameOf(procedure));
        }
        out << Escaped("  " + sim::Utf8(library.name) + " exports " +
                       (exports.empty() ? std::string("nothing") : Listed(exports)) + ".")
            << "\n";
    }
    if (!facts.configurationProviders.empty()) {
        out << Escaped("  The Configuration Manager's providers: " +
                       Listed(facts.configurationProviders) + ".")
            << "\n";
    }
    out << "Times are seconds since " << FormatTime(facts.clockStart) << ", the device's clock.\n";
}

void WriteTimeline(std::ostream& out, const sim::Device& device, const DeviceState& before,
                   bool trace) {
    Story(out, device, trace).Tell();
    out << "\nAfter the last step, at " << Seconds(device.NowMs()) << ":\n";
    std::string cards;
    for (const std::u16string& card : device.CardsOut()) {
        cards += (cards.empty() ? "" : ", ") + sim::Utf8(card);
    }
    if (!cards.empty()) {
        out << Escaped("  Cards taken out: " + cards) << ".\n";
    }
    TellChanges(out, Compare(before, StateOf(device)));
    for (const std::string& violation : device.Violations()) {
        out << "  Warning: the program misused the platform: " << violation << "\n";
    }
}

} // namespace simtool
