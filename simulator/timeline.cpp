// The timeline tells the events of a simulation in sentences, one line per
// event with its time, grouped by step. Every sentence is read off an event or
// off the device's state; nothing is inferred from how the program works.
#include "simulator/timeline.h"

#include "autorun/constants.h"
#include "simulator/time_text.h"

#include <cstdio>

namespace simtool {

namespace {

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
    return sim::Utf8(std::u16string(sim::ProgramsFolder) + u"\\" + device.title + u".exe");
}

std::string AppKeyPath() {
    return "HKEY_LOCAL_MACHINE\\" + sim::Utf8(std::u16string(sim::AppsKeyPath) + u"\\" + AppName);
}

std::string StepTitle(const std::string& name) {
    if (name == "insert") {
        return "insert: the card goes in";
    }
    if (name == "menu") {
        return "menu: the user taps the program's entry in the Programs menu";
    }
    if (name == "remove") {
        return "remove: the card comes out";
    }
    return name + ": the program is started by hand";
}

class Story {
  public:
    Story(std::ostream& out, const sim::Device& device, const std::vector<Findings>& findings)
        : out_(out), device_(device), findings_(findings) {
        for (const sim::Event& event : device.Events()) {
            steps_ += event.event == "step";
        }
    }

    void Tell() {
        for (const sim::Event& event : device_.Events()) {
            Tell(event);
        }
    }

  private:
    void Line(std::uint64_t t, const std::string& text) {
        char time[32];
        std::snprintf(time, sizeof time, "%9.3f s  ", static_cast<double>(t) / 1000.0);
        out_ << time << text << '\n';
    }
    void More(const std::string& text) {
        out_ << std::string(13, ' ') << text << '\n';
    }

    void Tell(const sim::Event& e) {
        const std::string& kind = e.event;
        if (kind == "step") {
            TellStep(e);
        } else if (kind == "start") {
            TellStart(e);
        } else if (kind == "mode") {
            Line(e.t, "The program chooses the run mode " + e.Text("mode") + ".");
        } else if (kind == "launch") {
            TellLaunch(e);
        } else if (kind == "copy") {
            TellCopy(e);
        } else if (kind == "delete") {
            TellDelete(e);
        } else if (kind == "key-delete") {
            TellKeyDelete(e);
        } else if (kind == "sleep") {
            Line(e.t, "The program pauses for " +
                          Seconds(static_cast<std::uint64_t>(e.Number("ms"))) + ".");
        } else if (kind == "message-box") {
            Line(e.t, "The program shows a message box titled " + Q(e.Text("caption")) +
                          " saying " + Q(e.Text("text")) + "; it is dismissed.");
        } else if (kind == "exit") {
            Line(e.t, "The program exits with code " + std::to_string(e.Number("code")) + ".");
            runPath_.clear();
        } else if (kind == "installed") {
            Line(e.t, "The cabinet installer installs the reader at " + e.Text("path") + " from " +
                          e.Text("package") + ", with its application key.");
        } else if (kind == "uninstalled") {
            std::string what = Same(e.Text("app"), AppName)
                                   ? " (the reader and its application key are removed)"
                                   : " (its application key is removed)";
            Line(e.t,
                 "The uninstaller finishes: " + Q(e.Text("app")) + " is uninstalled" + what + ".");
        } else {
            Line(e.t, "Event " + Q(kind) + ".");
        }
    }

    void TellStep(const sim::Event& e) {
        const std::string name = e.Text("name");
        out_ << "\nStep " << ++step_ << " of " << steps_ << ", " << StepTitle(name) << "\n";
        bool runs = e.Flag("runs");
        if (name == "insert" && !runs) {
            Line(e.t, "No card holds 2577\\autorun.exe, so the shell starts nothing.");
        } else if (name == "menu" && !runs) {
            Line(e.t, "There is no " + MenuCopyPath(device_) + ", so there is nothing to tap.");
        } else if (name == "remove") {
            long long cards = e.Number("cards");
            Line(e.t, cards == 0   ? std::string("There is no card to take out.")
                      : cards == 1 ? std::string("The card is taken out.")
                                   : "The " + std::to_string(cards) + " cards are taken out.");
            if (!runs) {
                Line(e.t, "There is no \\Windows\\autorun.exe, so the shell starts nothing.");
            }
        }
    }

    void TellStart(const sim::Event& e) {
        runPath_ = e.Text("path");
        Line(e.t,
             "The program starts as " + runPath_ + " with " + CommandLine(e.Text("args")) + ".");
        if (run_ >= findings_.size()) {
            return;
        }
        const Findings& f = findings_[run_++];
        if (f.reader) {
            More("It finds the installed reader " + sim::Utf8(f.readerPath) + ", last written " +
                 FormatTime(f.readerTime) + ".");
        } else {
            More("It finds no installed reader.");
        }
        if (f.package) {
            std::string age;
            if (f.reader) {
                age = f.packageTime > f.readerTime    ? ", newer than the reader"
                      : f.packageTime == f.readerTime ? ", as new as the reader"
                                                      : ", older than the reader";
            }
            More("It finds the package " + sim::Utf8(f.packagePath) + ", last written " +
                 FormatTime(f.packageTime) + age + ".");
        } else {
            More(std::string("It finds no package in a card's ") +
                 (f.pocketPc ? "\"2577\"" : "\"wince\\arm\"") + " folder.");
        }
    }

    void TellLaunch(const sim::Event& e) {
        const std::string file = e.Text("file");
        const std::string args = e.Text("args");
        const std::string with = args.empty() ? "" : " with " + Q(args);
        const bool package = file.size() > 4 && Same(file.substr(file.size() - 4), u".cab");
        std::string what = Same(file, UninstallerPath) ? "the uninstaller " + file + with
                           : package                   ? "the package " + file + with
                           : Same(file, ReaderPath)    ? "the reader " + file + with
                                                       : file + with;
        if (!e.Flag("ok")) {
            Line(e.t, "The program asks the shell to start " + what + "; the shell cannot.");
        } else if (Same(file, UninstallerPath)) {
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
        std::string outcome = result == 5   ? "access denied (error 5)"
                              : result == 2 ? "the key does not exist (error 2)"
                                            : "error " + std::to_string(result);
        const std::string attempt = " (attempt " + std::to_string(e.Number("attempt")) + ")";
        Line(e.t, result == 0
                      ? "The program deletes the application key " + e.Text("key") + attempt + "."
                      : "The program tries to delete the application key " + e.Text("key") +
                            attempt + ": " + outcome + ".");
    }

    std::ostream& out_;
    const sim::Device& device_;
    const std::vector<Findings>& findings_;
    std::size_t run_ = 0;
    int step_ = 0;
    int steps_ = 0;
    std::string runPath_; // of the run under way, empty between runs
};

void TellReaderMenuKey(std::ostream& out, const sim::Device& device) {
    if (const sim::Entry* reader = device.FindEntry(ReaderPath)) {
        out << "  Reader: installed at " << sim::Utf8(reader->path) << ", last written "
            << FormatTime(reader->time) << ".\n";
    } else {
        out << "  Reader: not installed.\n";
    }
    std::string menu = MenuCopyPath(device);
    out << "  Programs-menu copy: " << (device.FindEntry(sim::Utf16(menu)) ? menu : "none")
        << ".\n";
    std::u16string key = std::u16string(sim::AppsKeyPath) + u"\\" + AppName;
    if (!device.HasKey(sim::AppsKeyPath)) {
        out << "  Application key: none, and there is no HKEY_LOCAL_MACHINE\\"
            << sim::Utf8(sim::AppsKeyPath) << ".\n";
    } else {
        out << "  Application key: " << (device.HasKey(key) ? AppKeyPath() : "none") << ".\n";
    }
}

} // namespace

void WriteIntro(std::ostream& out, const Description& description, const sim::Device& device) {
    out << "autorun-sim: " << description.source << "\n";
    out << "The device: platform type " << Q(sim::Utf8(device.platformType)) << ", version "
        << device.osMajor << "; product title " << Q(sim::Utf8(device.title)) << ".\n";
    std::string cards;
    for (const sim::Entry* entry : device.Children(u"")) {
        if (sim::IsCard(*entry)) {
            cards += (cards.empty() ? "" : ", ") + sim::Utf8(entry->path);
        }
    }
    out << "  Cards: " << (cards.empty() ? "none" : cards) << ".\n";
    TellReaderMenuKey(out, device);
    for (const std::string& name : device.failing) {
        out << "  Fault: " << name << " fails on every call.\n";
    }
    if (device.appKeyDeleteFailures > 0) {
        out << "  Fault: the first " << device.appKeyDeleteFailures
            << " deletions of the application key fail with access denied.\n";
    }
    out << "  The uninstaller holds the application key for " << Seconds(device.uninstallMs)
        << " while it works.\n";
    out << "Times are seconds since " << FormatTime(sim::ClockStart) << ", the device's clock.\n";
}

void WriteTimeline(std::ostream& out, const sim::Device& device,
                   const std::vector<Findings>& findings) {
    Story(out, device, findings).Tell();
    out << "\nAfter the last step, at " << Seconds(device.NowMs()) << ":\n";
    TellReaderMenuKey(out, device);
    for (const std::string& violation : device.Violations()) {
        out << "  Warning: the program misused the platform: " << violation << "\n";
    }
}

} // namespace simtool
