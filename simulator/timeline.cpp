// The timeline tells what the device saw, in sentences: one line for each
// effect with its time, and below the run that made them, what each call
// asked and what the device answered, grouped by step. Every sentence is read
// off an event; nothing is inferred from how the program works, so whatever
// kind of program runs, the same calls tell the same story.
#include "simulator/timeline.h"

#include "runner/image_program.h"
#include "simulator/json_input.h"
#include "simulator/time_text.h"

#include <cstdio>
#include <map>

namespace simtool {

namespace {

using sim::EventKind;

std::string Seconds(std::uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(ms) / 1000.0);
    return text;
}

std::string CommandLine(const std::string& args) {
    return args.empty() ? "an empty command line" : "the command line " + Quoted(args);
}

// "a, b and c".
std::string Listed(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
    }
    return text;
}

std::string StepTitle(const sim::Event& step) {
    const std::string name = step.Text("name");
    if (name == "insert") {
        const long long back = step.Number("cards");
        if (back > 0) {
            return back == 1 ? "insert: the card goes back in" : "insert: the cards go back in";
        }
        return step.Number("in") > 0 ? "insert: the card is in; the shell acts as when it goes in"
                                     : "insert: there is no card to put in";
    }
    if (name == "menu") {
        return "menu: the user taps the program's entry in the Programs menu";
    }
    if (name == "remove") {
        return step.Number("cards") > 0 ? "remove: the card comes out"
                                        : "remove: there is no card to take out";
    }
    return name + ": the program is started by hand";
}

// A value of a call as --trace shows it.
std::string Shown(const sim::Value& value) {
    switch (value.kind) {
    case sim::Value::Text:
        return Quoted(sim::Utf8(value.text));
    case sim::Value::Name:
        return Quoted(value.name);
    case sim::Value::Number:
        return std::to_string(value.number);
    case sim::Value::Flag:
        return value.number != 0 ? "true" : "false";
    case sim::Value::List: {
        std::vector<std::string> items;
        for (const std::u16string& item : value.items) {
            items.push_back(Quoted(sim::Utf8(item)));
        }
        return "[" + Listed(items) + "]";
    }
    case sim::Value::Null:
        break;
    }
    return "null";
}

bool IsNull(const sim::Event& e, const std::string& name) {
    const sim::Value* value = e.Find(name);
    return value == nullptr || value->kind == sim::Value::Null;
}

// Why a call or an effect failed, as the device said: "there is no such file
// (error 2)".
std::string Why(const sim::Event& e) {
    std::string why = e.Text("why");
    const long long error = e.Number("error") >= 0 ? e.Number("error") : e.Number("result");
    return why + (error > 0 ? " (error " + std::to_string(error) + ")" : "");
}

// What a search delivered: "a file last written ...", "a storage card".
std::string What(const sim::Event& e, bool atRoot) {
    const auto attributes = static_cast<std::uint32_t>(e.Number("attributes"));
    if ((attributes & sim::AttrDirectory) != 0) {
        return atRoot && (attributes & sim::AttrTemporary) != 0 ? "a storage card" : "a folder";
    }
    return std::string((attributes & sim::AttrReadOnly) != 0 ? "a read-only file" : "a file") +
           " last written " + FormatTime(static_cast<sim::Ticks>(e.Number("time")));
}

// An entry a search delivered, by name: "Reader.cab, a file last written ...".
std::string Delivered(const sim::Event& e, bool atRoot) {
    return e.Text("name") + ", " + What(e, atRoot);
}

bool EffectOf(const sim::Event& call, const sim::Event* next) {
    if (next == nullptr) {
        return false;
    }
    const std::string op = call.Text("op");
    return (op == "ShellExecuteEx" && next->kind == EventKind::Launch) ||
           (op == "CopyFileW" && next->kind == EventKind::Copy) ||
           (op == "DeleteFileW" && next->kind == EventKind::Delete) ||
           (op == "RegDeleteKeyW" && next->kind == EventKind::KeyDelete) ||
           (op == "Sleep" && next->kind == EventKind::Sleep) ||
           (op == "MessageBoxW" && next->kind == EventKind::MessageBox);
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
            if (events[i].kind == EventKind::Call) {
                TellCall(events[i], next);
            } else {
                Tell(events[i]);
            }
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

    void Tell(const sim::Event& e) {
        switch (e.kind) {
        case EventKind::Step:
            TellStep(e);
            break;
        case EventKind::Start:
            runPath_ = e.Text("path");
            searches_.clear();
            Line(e.t, "The program starts as " + runPath_ + " with " + CommandLine(e.Text("args")) +
                          ".");
            break;
        case EventKind::Launch:
            TellLaunch(e);
            break;
        case EventKind::Copy:
            TellCopy(e);
            break;
        case EventKind::Delete: {
            const std::string path = e.Text("path");
            const std::string what =
                (InProgramsMenu(path) ? "the Programs-menu entry " : "") + path;
            Line(e.t, e.Flag("ok") ? "The program deletes " + what + "."
                                   : "The program tries to delete " + what + ": " + Why(e) + ".");
            break;
        }
        case EventKind::KeyDelete: {
            const std::string what = "the key " + e.Text("key") + " (attempt " +
                                     std::to_string(e.Number("attempt")) + ")";
            Line(e.t, e.Number("result") == 0
                          ? "The program deletes " + what + "."
                          : "The program tries to delete " + what + ": " + Why(e) + ".");
            break;
        }
        case EventKind::Sleep:
            Line(e.t, "The program pauses for " +
                          Seconds(static_cast<std::uint64_t>(e.Number("ms"))) + ".");
            break;
        case EventKind::MessageBox:
            Line(e.t, "The program shows a message box titled " + Quoted(e.Text("caption")) +
                          " saying " + Quoted(e.Text("text")) + "; it is dismissed.");
            break;
        case EventKind::Exit: {
            const long long instructions = e.Number("instructions");
            Line(e.t,
                 "The program exits with code " + std::to_string(e.Number("code")) +
                     (instructions > 0 ? ", after " + std::to_string(instructions) + " instructions"
                                       : std::string()) +
                     ".");
            runPath_.clear();
            break;
        }
        case EventKind::Crash:
            TellCrash(e);
            runPath_.clear();
            break;
        case EventKind::Package:
            TellPackage(e);
            break;
        case EventKind::Refused:
            Line(e.t, "The cabinet installer refuses " + e.Text("package") + ": " + e.Text("why") +
                          ". Nothing is installed.");
            break;
        case EventKind::Installed:
            TellInstalled(e);
            break;
        case EventKind::PackageDeleted:
            Line(e.t, e.Flag("ok")
                          ? "The cabinet installer deletes the package " + e.Text("package") +
                                ", as it does once it has installed one."
                          : "The cabinet installer cannot delete the package " + e.Text("package") +
                                ", so it stays: " + Why(e) + ".");
            break;
        case EventKind::Uninstalled:
            TellUninstalled(e);
            break;
        case EventKind::Call:
            break;
        }
    }

    bool InProgramsMenu(const std::string& path) const {
        return sim::SameName(sim::ParentOf(sim::Utf16(path)), device_.Facts().programsFolder);
    }

    void TellStep(const sim::Event& e) {
        const std::string name = e.Text("name");
        out_ << "\nStep " << ++step_ << " of " << steps_ << ", " << Escaped(StepTitle(e)) << "\n";
        const bool runs = e.Flag("runs");
        if (name == "insert" && !runs && e.Number("in") > 0) {
            Line(e.t, "No card holds " + std::to_string(device_.Facts().processor) +
                          "\\autorun.exe, so the shell starts nothing.");
        } else if (name == "menu" && !runs) {
            Line(e.t, e.Text("path").empty()
                          ? std::string("The program has no title, so there is no entry to tap.")
                          : "There is no " + e.Text("path") + ", so there is nothing to tap.");
        } else if (name == "remove") {
            const long long cards = e.Number("cards");
            if (cards == 0) {
                Line(e.t, "Nothing happens.");
            } else {
                Line(e.t, cards == 1 ? std::string("The card is taken out.")
                                     : "The " + std::to_string(cards) + " cards are taken out.");
                if (!runs) {
                    Line(e.t, "There is no \\Windows\\autorun.exe, so the shell starts nothing.");
                }
            }
        } else if (name == "run" && !e.Flag("exists")) {
            Line(e.t, e.Text("path") +
                          " is not on the device; the program runs as if it were that file.");
        }
    }

    // What a call asked and what the device answered. Calls whose effect
    // has its own event are told by that event.
    void TellCall(const sim::Event& e, const sim::Event* next) {
        if (trace_) {
            TellTrace(e);
        }
        if (EffectOf(e, next)) {
            return;
        }
        const std::string op = e.Text("op");
        const bool failed = e.Find("why") != nullptr;
        const std::string why = failed ? Why(e) : std::string();
        if (op == "GetModuleFileNameW") {
            More("It asks for its own path: " +
                 (IsNull(e, "path") ? why : e.Text("path") + (failed ? "; " + why : "")) + ".");
        } else if (op == "LoadStringW") {
            More("It loads string " + std::to_string(e.Number("id")) + ": " +
                 (failed ? why : Quoted(e.Text("text"))) + ".");
        } else if (op == "FindFirstFileW") {
            TellFindFirst(e, failed, why);
        } else if (op == "FindNextFileW") {
            auto search = searches_.find(e.Number("handle"));
            const bool atRoot = search != searches_.end() && search->second;
            More(failed ? "Next: none; " + why + "." : "Next: " + Delivered(e, atRoot) + ".");
        } else if (op == "CompareFileTime") {
            const long long result = e.Number("result");
            More("It compares " + FormatTime(static_cast<sim::Ticks>(e.Number("first"))) +
                 " with " + FormatTime(static_cast<sim::Ticks>(e.Number("second"))) +
                 ": the first is " +
                 (result > 0   ? "later"
                  : result < 0 ? "earlier"
                               : "the same time") +
                 ".");
        } else if (op == "SystemParametersInfoW") {
            const std::string what = e.Number("action") == platform::SpiGetPlatformType
                                         ? "the platform type"
                                         : "system parameter " + std::to_string(e.Number("action"));
            More("It asks for " + what + ": " + (failed ? why : Quoted(e.Text("text"))) + ".");
        } else if (op == "GetVersionExW") {
            More("It asks for the version: " +
                 (failed ? why
                         : std::to_string(e.Number("major")) + "." +
                               std::to_string(e.Number("minor")) + ", build " +
                               std::to_string(e.Number("build"))) +
                 ".");
        } else if (op == "SHGetSpecialFolderPath") {
            const std::string what = e.Number("folder") == platform::CsidlPrograms
                                         ? "the Programs folder"
                                         : "special folder " + std::to_string(e.Number("folder"));
            More("It asks for " + what + ": " +
                 (failed ? why
                  : e.Number("result") == 0
                      ? e.Text("path") + ", though the call answers FALSE, as this kind of "
                                         "device's shell does even when it gives the path"
                      : e.Text("path")) +
                 ".");
        } else if (op == "RegOpenKeyExW") {
            const std::string key = "HKEY_LOCAL_MACHINE\\" + e.Text("subKey");
            More(failed ? "It cannot open the key " + key + ": " + why + "."
                        : "It opens the key " + key + ".");
        } else if (failed) {
            More("Its call of " + op + " fails: " + why + ".");
        }
    }

    void TellFindFirst(const sim::Event& e, bool failed, const std::string& why) {
        const std::string path = e.Text("path");
        const std::u16string wide = sim::Utf16(path);
        const bool pattern = sim::NameOf(wide).find_first_of(u"*?") != std::u16string::npos;
        const bool atRoot = sim::ParentOf(wide).empty();
        if (!failed) {
            searches_[e.Number("result")] = atRoot;
        }
        if (IsNull(e, "path")) {
            More("It searches for a path it cannot give: " + why + ".");
        } else if (!pattern) {
            More("It looks for " + path +
                 (failed ? ": " + why : " and finds it: " + What(e, atRoot)) + ".");
        } else {
            More("It searches " + path + ": " + (failed ? why : "first " + Delivered(e, atRoot)) +
                 ".");
        }
    }

    void TellTrace(const sim::Event& e) {
        std::string args;
        std::string outs;
        bool afterResult = false;
        std::string result;
        for (const auto& field : e.fields) {
            const std::string name = field.first;
            if (name == "op") {
                continue;
            }
            if (name == "result") {
                result = Shown(field.second);
                afterResult = true;
                continue;
            }
            std::string& list = afterResult ? outs : args;
            list += (list.empty() ? "" : ", ") + name + " " + Shown(field.second);
        }
        More("call " + e.Text("op") + "(" + args + ")" + (afterResult ? " = " + result : "") +
             (outs.empty() ? "" : "; " + outs));
    }

    void TellLaunch(const sim::Event& e) {
        const std::string file = e.Text("file");
        const std::string args = e.Text("args");
        const std::string with = args.empty() ? "" : " with " + Quoted(args);
        const bool package = sim::HasExtension(sim::Utf16(file), u".cab");
        const bool uninstaller = sim::SameName(sim::Utf16(file), sim::UninstallerPath);
        if (!e.Flag("ok")) {
            Line(e.t, "The program asks the shell to start " + file + with +
                          "; the shell cannot: " + Why(e) + ".");
        } else if (uninstaller) {
            Line(e.t,
                 "The program starts the uninstaller " + file + with + ", which works beside it.");
        } else if (package) {
            Line(e.t, "The program opens " + file + with +
                          "; the shell hands it to the cabinet installer.");
        } else {
            Line(e.t, "The program starts " + file + with + ".");
        }
    }

    void TellCopy(const sim::Event& e) {
        const std::string from = e.Text("from");
        const std::string to = e.Text("to");
        const bool ok = e.Flag("ok");
        if (runPath_.empty()) {
            Line(e.t, "The shell copies " + from + " to " + to + (ok ? "." : ", and fails."));
            return;
        }
        std::string what = (from == runPath_ ? std::string("itself") : from) +
                           (InProgramsMenu(to) ? " to the Programs menu as " : " to ") + to;
        Line(e.t, ok ? "The program copies " + what + "."
                     : "The program tries to copy " + what + ": " + Why(e) + ".");
    }

    static std::vector<std::string> Items(const sim::Event& e, const std::string& name,
                                          const std::string& prefix) {
        std::vector<std::string> items;
        if (const sim::Value* value = e.Find(name)) {
            for (const std::u16string& item : value->items) {
                items.push_back(prefix + sim::Utf8(item));
            }
        }
        return items;
    }

    void TellPackage(const sim::Event& e) {
        const long long processor = e.Number("processor");
        std::string versions = e.Text("minVersion") == "0.0"
                                   ? "any version of Windows CE"
                                   : "Windows CE " + e.Text("minVersion") + " or later";
        if (e.Text("maxVersion") != "0.0") {
            versions += ", up to " + e.Text("maxVersion");
        }
        if (e.Number("minBuild") > 0 || e.Number("maxBuild") > 0) {
            versions += " (builds " + std::to_string(e.Number("minBuild")) + " to " +
                        (e.Number("maxBuild") > 0 ? std::to_string(e.Number("maxBuild"))
                                                  : std::string("any")) +
                        ")";
        }
        std::vector<std::string> unsupported = Items(e, "unsupported", "");
        for (std::string& platform : unsupported) {
            platform = Quoted(platform);
        }
        Line(e.t, "The cabinet installer reads " + e.Text("package") + ": " +
                      Quoted(e.Text("app")) + " (application " + Quoted(e.Text("appName")) +
                      " of " + Quoted(e.Text("provider")) + "), for " +
                      (processor == 0 ? std::string("any processor")
                                      : "processor " + std::to_string(processor)) +
                      " and " + versions +
                      (unsupported.empty() ? std::string()
                                           : "; not for the platforms " + Listed(unsupported)) +
                      ".");
    }

    void TellInstalled(const sim::Event& e) {
        std::vector<std::string> what = Items(e, "files", "");
        for (const std::string& key : Items(e, "keys", "the key ")) {
            what.push_back(key);
        }
        const std::vector<std::string> kept = Items(e, "kept", "");
        Line(e.t,
             "The cabinet installer installs " + Quoted(e.Text("app")) + " from " +
                 e.Text("package") +
                 (e.Flag("standIn") ? " (it holds no bytes, so it stands in for a package)" : "") +
                 ": " + (what.empty() ? std::string("nothing") : Listed(what)) +
                 (kept.empty() ? std::string() : "; it leaves " + Listed(kept) + " as it was") +
                 ".");
    }

    void TellUninstalled(const sim::Event& e) {
        const std::string app = Quoted(e.Text("app"));
        if (e.Flag("inert")) {
            Line(e.t, "The uninstaller removes nothing of " + app +
                          ": on this device, uninstalling goes another way.");
            return;
        }
        std::vector<std::string> removed = Items(e, "files", "");
        for (const std::string& key : Items(e, "keys", "the key ")) {
            removed.push_back(key);
        }
        Line(e.t, removed.empty()
                      ? "The uninstaller finishes: it finds nothing of " + app + " to remove."
                      : "The uninstaller finishes: " + app + " is uninstalled; it removes " +
                            Listed(removed) + ".");
    }

    void TellCrash(const sim::Event& e) {
        if (e.Number("code") == runner::BadExeFormat) {
            Line(e.t, "The device cannot start the file: " + e.Text("reason") + ".");
            return;
        }
        char code[16];
        std::snprintf(code, sizeof code, "0x%08llX",
                      static_cast<unsigned long long>(e.Number("code")));
        char address[24];
        std::snprintf(address, sizeof address, "0x%08llX",
                      static_cast<unsigned long long>(e.Number("address")));
        Line(e.t, "The program crashes: " + e.Text("reason") + ", at " + address + " (exception " +
                      code + "). The run ends here.");
    }

    std::ostream& out_;
    const sim::Device& device_;
    bool trace_;
    int step_ = 0;
    int steps_ = 0;
    std::string runPath_;                // the run under way; empty between runs
    std::map<long long, bool> searches_; // open searches of the run: of the root folder?
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

void TellChanges(std::ostream& out, const DeviceChanges& changes) {
    auto line = [&out](const std::string& what, const std::string& list) {
        if (!list.empty()) {
            out << Escaped("  " + what + ": " + list) << ".\n";
        }
    };
    line("Added", Entries(changes.added));
    line("Added keys", Keys(changes.addedKeys));
    line("Changed", Entries(changes.changed));
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
                const std::string& program, const std::u16string& menuEntry) {
    const sim::Config& facts = device.Facts();
    const std::string deviceOf = description.source == "built-in demo"
                                     ? "The built-in demo's device"
                                     : "The device described in " + description.source;
    out << Escaped(deviceOf + (description.name.empty() ? "" : " (" + description.name + ")") +
                   ": platform type " + Quoted(sim::Utf8(facts.platformType)) + ", version " +
                   std::to_string(facts.osMajor) + "." + std::to_string(facts.osMinor) +
                   " (build " + std::to_string(facts.osBuild) + "), processor " +
                   std::to_string(facts.processor) + ".")
        << "\n";
    out << Escaped("  The program: " + program) << "\n";
    out << Escaped(
               "  Its Programs-menu entry: " +
               (menuEntry.empty() ? std::string("none (it has no title)") : sim::Utf8(menuEntry)) +
               ".")
        << "\n";
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
        out << "  \\Windows\\Unload.exe is there but removes nothing: on this device, "
               "uninstalling goes another way.\n";
        break;
    case sim::Unload::Absent:
        out << "  The device has no \\Windows\\Unload.exe.\n";
        break;
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
