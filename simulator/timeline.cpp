// The timeline tells the events of a simulation in sentences, one line per
// event with its time, grouped by step. Every sentence is read off an event or
// off the device's state; nothing is inferred from how the program works.
#include "simulator/timeline.h"

#include "runner/image_program.h"
#include "simulator/json_input.h"
#include "simulator/time_text.h"

#include <cstdio>

namespace simtool {

namespace {

using sim::EventKind;

std::string Q(const std::string& text) {
    return "\"" + text + "\"";
}

std::string Seconds(std::uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(ms) / 1000.0);
    return text;
}

std::string CommandLine(const std::string& args) {
    return args.empty() ? "an empty command line" : "the command line " + Q(args);
}

bool Same(const std::string& a, const std::u16string& b) {
    return sim::SameName(sim::Utf16(a), b);
}

bool InProgramsMenu(const std::string& path) {
    return sim::SameName(sim::ParentOf(sim::Utf16(path)), sim::ProgramsFolder);
}

std::string MenuCopyPath(const sim::Device& device) {
    return sim::Utf8(std::u16string(sim::ProgramsFolder) + u"\\" + device.app.title + u".exe");
}

std::u16string AppKey(const sim::Device& device) {
    return std::u16string(sim::AppsKeyPath) + u"\\" + device.app.name;
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

// A value of a traced call as the timeline shows it.
std::string Shown(const sim::Value& value) {
    switch (value.kind) {
    case sim::Value::Text:
        return Q(value.text);
    case sim::Value::Number:
        return std::to_string(value.number);
    case sim::Value::Flag:
        return value.number != 0 ? "true" : "false";
    case sim::Value::Null:
        break;
    }
    return "null";
}

class Story {
  public:
    Story(std::ostream& out, const sim::Device& device) : out_(out), device_(device) {
        for (const sim::Event& event : device.Events()) {
            steps_ += event.kind == EventKind::Step;
        }
    }

    void Tell() {
        for (const sim::Event& event : device_.Events()) {
            Tell(event);
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
            runMode_.clear();
            runPackage_ = false;
            runCopied_ = false;
            Line(e.t, "The program starts as " + runPath_ + " with " + CommandLine(e.Text("args")) +
                          ".");
            break;
        case EventKind::Found:
            TellFound(e);
            break;
        case EventKind::Mode:
            runMode_ = e.Text("mode");
            Line(e.t, "The program chooses the run mode " + runMode_ + ".");
            break;
        case EventKind::Launch:
            TellLaunch(e);
            break;
        case EventKind::Copy:
            TellCopy(e);
            break;
        case EventKind::Delete:
            TellDelete(e);
            break;
        case EventKind::KeyDelete:
            TellKeyDelete(e);
            break;
        case EventKind::Sleep:
            Line(e.t, "The program pauses for " +
                          Seconds(static_cast<std::uint64_t>(e.Number("ms"))) + ".");
            break;
        case EventKind::MessageBox:
            Line(e.t, "The program shows a message box titled " + Q(e.Text("caption")) +
                          " saying " + Q(e.Text("text")) + "; it is dismissed.");
            break;
        case EventKind::Exit:
            if (runMode_ == "install" && runPackage_ && !runCopied_) {
                Line(e.t, "The program makes no Programs-menu copy: " + NoMenuCopyReason() + ".");
            }
            Line(e.t, "The program exits with code " + std::to_string(e.Number("code")) + ".");
            runPath_.clear();
            break;
        case EventKind::Crash:
            TellCrash(e);
            runPath_.clear();
            break;
        case EventKind::Installed:
            Line(e.t, "The cabinet installer installs the reader at " + e.Text("path") + " from " +
                          e.Text("package") + ", with its application key.");
            break;
        case EventKind::Uninstalled:
            TellUninstalled(e);
            break;
        case EventKind::Call:
            TellCall(e);
            break;
        }
    }

    void TellStep(const sim::Event& e) {
        const std::string name = e.Text("name");
        out_ << "\nStep " << ++step_ << " of " << steps_ << ", " << Escaped(StepTitle(e)) << "\n";
        const bool runs = e.Flag("runs");
        if (name == "insert" && !runs && e.Number("in") > 0) {
            Line(e.t, "No card holds 2577\\autorun.exe, so the shell starts nothing.");
        } else if (name == "menu" && !runs) {
            Line(e.t,
                 device_.app.title.empty()
                     ? std::string("The program has no title, so there is no entry to tap.")
                     : "There is no " + MenuCopyPath(device_) + ", so there is nothing to tap.");
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

    // Why the program does or does not take the device for a Pocket PC: the
    // platform type begins with "P" and the major version is 3 or later.
    std::string Platform(bool pocketPc) const {
        const std::string type = Q(sim::Utf8(device_.platformType));
        const std::string version = "version " + std::to_string(device_.osMajor);
        if (pocketPc) {
            return "It takes the device for a Pocket PC (platform type " + type +
                   " begins with \"P\", " + version + " is 3 or later), so it searches each " +
                   "card's \"2577\" folder.";
        }
        std::string why = device_.failing.count(sim::Op::SystemParametersInfoW) != 0
                              ? "the platform type cannot be had"
                          : device_.failing.count(sim::Op::GetVersionExW) != 0
                              ? "the version cannot be had"
                          : device_.platformType.empty() || device_.platformType[0] != u'P'
                              ? "platform type " + type + " does not begin with \"P\""
                              : version + " is before 3";
        return "It does not take the device for a Pocket PC (" + why +
               "), so it searches each card's \"wince\\arm\" folder.";
    }

    void TellFound(const sim::Event& e) {
        const sim::Value* reader = e.Find("reader");
        const sim::Value* package = e.Find("package");
        const bool haveReader = reader != nullptr && reader->kind == sim::Value::Text;
        runPackage_ = package != nullptr && package->kind == sim::Value::Text;
        if (haveReader) {
            More("It finds the installed reader " + reader->text + ", last written " +
                 FormatTime(static_cast<sim::Ticks>(e.Number("readerTime"))) + ".");
        } else {
            More("It finds no installed reader.");
        }
        More(Platform(e.Flag("pocketPc")));
        if (runPackage_) {
            std::string age;
            if (haveReader) {
                const long long p = e.Number("packageTime");
                const long long r = e.Number("readerTime");
                age = p > r    ? ", newer than the reader"
                      : p == r ? ", as new as the reader"
                               : ", older than the reader";
            }
            More("It finds the package " + package->text + ", last written " +
                 FormatTime(static_cast<sim::Ticks>(e.Number("packageTime"))) + age + ".");
        } else {
            More(std::string("It finds no package in a card's ") +
                 (e.Flag("pocketPc") ? "\"2577\"" : "\"wince\\arm\"") + " folder.");
        }
        if (!e.Text("passedOver").empty()) {
            More("It passes over " + e.Text("passedOver") + ".");
        }
    }

    // Why an install that opens a package or starts the reader made no
    // Programs-menu copy, read off the device's description.
    std::string NoMenuCopyReason() const {
        const std::u16string copy =
            std::u16string(sim::ProgramsFolder) + u"\\" + device_.app.title + u".exe";
        if (device_.failing.count(sim::Op::LoadStringW) != 0) {
            return "its title (string resource 1) cannot be loaded";
        }
        if (device_.app.title.empty()) {
            return "its title (string resource 1) is empty";
        }
        if (device_.failing.count(sim::Op::SHGetSpecialFolderPath) != 0) {
            return "the Programs folder's path cannot be had";
        }
        if (copy.size() >= static_cast<std::size_t>(platform::MaxPath)) {
            return "the copy's path would be " + std::to_string(copy.size()) +
                   " units, more than the 259 that fit";
        }
        if (device_.failing.count(sim::Op::GetModuleFileNameW) != 0) {
            return "its own path cannot be had";
        }
        return "no reason the device can tell";
    }

    void TellLaunch(const sim::Event& e) {
        const std::string file = e.Text("file");
        const std::string args = e.Text("args");
        const std::string with = args.empty() ? "" : " with " + Q(args);
        const bool package = sim::HasExtension(sim::Utf16(file), u".cab");
        const bool uninstaller = Same(file, sim::UninstallerPath);
        std::string what = uninstaller                          ? "the uninstaller " + file + with
                           : package                            ? "the package " + file + with
                           : Same(file, device_.app.readerPath) ? "the reader " + file + with
                                                                : file + with;
        if (!e.Flag("ok")) {
            Line(e.t, "The program asks the shell to start " + what + "; the shell cannot.");
        } else if (uninstaller) {
            Line(e.t, "The program starts " + what + ", which works beside it.");
        } else if (package) {
            Line(e.t,
                 "The program opens " + what + "; the shell hands it to the cabinet installer.");
        } else {
            Line(e.t, "The program starts " + what + ".");
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
        runCopied_ = true;
        std::string what = (from == runPath_ ? std::string("itself") : from) +
                           (InProgramsMenu(to) ? " to the Programs menu as " : " to ") + to;
        Line(e.t, ok ? "The program copies " + what + "."
                     : "The program tries to copy " + what + "; the copy fails.");
    }

    void TellDelete(const sim::Event& e) {
        const std::string path = e.Text("path");
        const std::string what = (InProgramsMenu(path) ? "the Programs-menu copy " : "") + path;
        Line(e.t, e.Flag("ok") ? "The program deletes " + what + "."
                               : "The program tries to delete " + what + "; nothing is deleted.");
    }

    void TellKeyDelete(const sim::Event& e) {
        long long result = e.Number("result");
        std::string outcome = result == sim::ErrorAccessDenied ? "access denied (error 5)"
                              : result == sim::ErrorFileNotFound
                                  ? "the key does not exist (error 2)"
                                  : "error " + std::to_string(result);
        const std::string attempt = " (attempt " + std::to_string(e.Number("attempt")) + ")";
        Line(e.t, result == 0
                      ? "The program deletes the application key " + e.Text("key") + attempt + "."
                      : "The program tries to delete the application key " + e.Text("key") +
                            attempt + ": " + outcome + ".");
    }

    void TellUninstalled(const sim::Event& e) {
        const sim::Value* reader = e.Find("reader");
        const bool removedReader = reader != nullptr && reader->kind == sim::Value::Text;
        const bool removedKey = e.Flag("key");
        const std::string app = Q(e.Text("app"));
        if (!removedReader && !removedKey) {
            Line(e.t, "The uninstaller finishes: it finds nothing of " + app + " to remove.");
            return;
        }
        std::string what =
            removedReader && removedKey
                ? "the reader " + reader->text + " and the application key are removed"
            : removedReader
                ? "the reader " + reader->text + " is removed; there was no application key"
                : "the application key is removed; there was no reader";
        Line(e.t, "The uninstaller finishes: " + app + " is uninstalled (" + what + ").");
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

    void TellCall(const sim::Event& e) {
        std::string args;
        std::string outs;
        bool afterResult = false;
        std::string result;
        for (const auto& field : e.fields) {
            if (field.first == "op") {
                continue;
            }
            if (field.first == "result") {
                result = Shown(field.second);
                afterResult = true;
                continue;
            }
            std::string& list = afterResult ? outs : args;
            list += (list.empty() ? "" : ", ") + field.first + " " + Shown(field.second);
        }
        More("call " + e.Text("op") + "(" + args + ")" + (afterResult ? " = " + result : "") +
             (outs.empty() ? "" : "; " + outs));
    }

    std::ostream& out_;
    const sim::Device& device_;
    int step_ = 0;
    int steps_ = 0;
    // The run under way: its path (empty between runs), its mode and whether
    // it found a package and made a copy.
    std::string runPath_;
    std::string runMode_;
    bool runPackage_ = false;
    bool runCopied_ = false;
};

void TellCardsOut(std::ostream& out, const sim::Device& device) {
    std::string cards;
    for (const std::u16string& card : device.CardsOut()) {
        cards += (cards.empty() ? "" : ", ") + sim::Utf8(card);
    }
    if (!cards.empty()) {
        out << Escaped("  Cards taken out: " + cards) << ".\n";
    }
}

void TellReaderMenuKey(std::ostream& out, const sim::Device& device) {
    const sim::Entry* reader =
        device.app.readerPath.empty() ? nullptr : device.files.Find(device.app.readerPath);
    if (reader != nullptr) {
        out << "  Reader: installed at " << sim::Utf8(reader->path) << ", last written "
            << FormatTime(reader->time) << ".\n";
    } else {
        out << "  Reader: not installed.\n";
    }
    std::string menu = MenuCopyPath(device);
    out << "  Programs-menu copy: " << (device.files.Find(sim::Utf16(menu)) ? menu : "none")
        << ".\n";
    if (!device.registry.Has(sim::AppsKeyPath)) {
        out << "  Application key: none, and there is no HKEY_LOCAL_MACHINE\\"
            << sim::Utf8(sim::AppsKeyPath) << ".\n";
    } else {
        out << "  Application key: "
            << (device.registry.Has(AppKey(device))
                    ? "HKEY_LOCAL_MACHINE\\" + sim::Utf8(AppKey(device))
                    : std::string("none"))
            << ".\n";
    }
}

} // namespace

void WriteIntro(std::ostream& out, const Description& description, const sim::Device& device,
                const std::string& imageFile, const runner::PeImage& image) {
    const std::string deviceOf = description.source == "built-in demo"
                                     ? "The built-in demo's device"
                                     : "The device described in " + description.source;
    out << Escaped(deviceOf + ": platform type " + Q(sim::Utf8(device.platformType)) +
                   ", version " + std::to_string(device.osMajor) + "; product title " +
                   Q(sim::Utf8(device.app.title)) + ".")
        << "\n";
    std::string cards;
    for (const sim::Entry* entry : device.files.Children(u"")) {
        if (sim::IsCard(*entry)) {
            cards += (cards.empty() ? "" : ", ") + sim::Utf8(entry->path);
        }
    }
    if (imageFile.empty()) {
        out << "  The program: autorun.exe built for this machine, standing in for every program "
               "file the device starts.\n";
    } else {
        out << Escaped("  The program: the " + runner::MachineName(image.machine) + " image " +
                       imageFile +
                       ", in every card's 2577\\autorun.exe and standing in for every program "
                       "file that holds no image; it runs in an emulated processor.")
            << "\n";
    }
    out << Escaped("  Cards in the device: " + (cards.empty() ? std::string("none") : cards))
        << ".\n";
    TellReaderMenuKey(out, device);
    for (sim::Op op : device.failing) {
        out << "  Fault: " << sim::NameOf(op) << " fails on every call.\n";
    }
    if (device.appKeyDeleteFailures > 0) {
        out << "  Fault: the first " << device.appKeyDeleteFailures
            << " deletions of the application key fail with access denied.\n";
    }
    out << "  The uninstaller holds the application key for " << Seconds(device.uninstallMs)
        << " while it works.\n";
    out << "Times are seconds since " << FormatTime(device.clockStart) << ", the device's clock.\n";
}

void WriteTimeline(std::ostream& out, const sim::Device& device) {
    Story(out, device).Tell();
    out << "\nAfter the last step, at " << Seconds(device.NowMs()) << ":\n";
    TellCardsOut(out, device);
    TellReaderMenuKey(out, device);
    for (const std::string& violation : device.Violations()) {
        out << "  Warning: the program misused the platform: " << violation << "\n";
    }
}

} // namespace simtool
