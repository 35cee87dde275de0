// autorun-sim check: reading the command line and the card, playing the
// card's life on each device profile, and telling the verdict.
#include "simulator/check_command.h"

#include "runner/program_runner.h"
#include "simulator/check.h"
#include "simulator/check_expect.h"
#include "simulator/check_junit.h"
#include "simulator/check_notes.h"
#include "simulator/check_report.h"
#include "simulator/json_input.h"
#include "simulator/profiles.h"
#include "simulator/version.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/stat.h>

namespace simtool {

namespace {

constexpr int OutputFailed = 1;
constexpr int BadInput = 2;
constexpr int GoOn = -1;

const char Usage[] =
    "Usage: autorun-sim check CARD [--devices NAME,...] [--image FILE | --stand-in] "
    "[--set FACT=VALUE]... [--expect FILE] [--json] [--junit FILE|-] [--explain DEVICE]\n";

class Formatter : public CLI::Formatter {
  public:
    std::string make_usage(const CLI::App*, std::string) const override {
        return Usage;
    }
};

struct CheckOptions {
    std::string card;
    std::string devices; // NAME,...; empty: every profile
    std::string image;
    bool standIn = false;
    bool json = false;
    std::string explain;
    std::vector<std::string> set; // FACT=VALUE each
    std::string expect;
    std::string junit; // a file, or "-" for standard output
};

int Refuse(const std::string& what) {
    std::cerr << "autorun-sim: " << Escaped(what) << "\n";
    return BadInput;
}

int ParseCheckOptions(int argc, char** argv, CheckOptions& options) {
    CLI::App app{"Plays a card's life on each device profile (insert, tap the Programs-menu "
                 "entry, remove, insert again, tap, remove) and judges it from the device's "
                 "state: one row per device, a column per judgement, a line saying why under "
                 "each one that fails.",
                 "autorun-sim check"};
    app.footer(
        "CARD is the folder that will be burnt (it becomes the card \\Storage Card) or a device "
        "description, whose entries, registry, faults, clock and uninstallMs are used; "
        "each profile gives the device's own facts. The card is judged as it will be burnt: an "
        "empty <processor>\\autorun.exe starts nothing, as on a device, unless --image or "
        "--stand-in says what runs; the first line says what ran.\n\nUnder a failed judgement, a "
        "line says why in the device's words, and \"to change:\" what its record shows would "
        "change it; "
        "a ? after a mark says the verdict rests on a fact the profile assumes, and a line "
        "under the row names it (docs/devices.md gives each fact's source or assumption).\n\n"
        "Devices, in this order: " +
        ProfileNames() + ".\n\nFacts --set may replace: " +
        [] {
            std::string facts;
            for (const std::string& fact : FactNames()) {
                facts += (facts.empty() ? "" : ", ") + fact;
            }
            return facts;
        }() +
        ".\n\nExit status: 0 when every device passes, or fails only as --expect "
        "expects; 1 when an output could not be written; 2 for unusable input (one line on "
        "standard error says what), and then nothing runs; 3 when a run of the program "
        "crashed on some device; 4 when any judgement fails. With --explain, the status of "
        "that device's check.");
    app.set_version_flag("--version", "autorun-sim " AUTORUN_SIM_VERSION,
                         "Print the version and exit");
    app.add_option("CARD", options.card,
                   "The card folder, or a device description (- reads it "
                   "from standard input)")
        ->required();
    // Given with no value, --devices and --explain say what to name rather
    // than the library's count of missing values.
    CLI::Option* devices =
        app.add_option("--devices", options.devices,
                       "The profiles to play it on, by name, separated by commas; default: all")
            ->type_name("NAME,...")
            ->expected(0, 1);
    CLI::Option* image =
        app.add_option("--image", options.image,
                       "The program: an ARM or i386 image put in the card's "
                       "<processor>\\autorun.exe; without it, the card's own file runs")
            ->type_name("FILE");
    app.add_flag("--stand-in", options.standIn,
                 "For an empty <processor>\\autorun.exe, let autorun.exe built for this computer "
                 "stand in, started where the device's loader would start the ARM device image")
        ->excludes(image);
    app.add_option("--set", options.set,
                   "Replace a fact of every device's profile for this check (repeatable): "
                   "processor=2577, autoRunPolicy=1; VALUE is JSON when it starts as JSON does, "
                   "else a text")
        ->type_name("FACT=VALUE")
        ->allow_extra_args(false);
    app.add_option("--expect", options.expect,
                   "A file of the failed judgements the card's author accepts, one a line: DEVICE "
                   "JUDGEMENT: REASON ('#' starts a comment); they leave the exit status 0 and "
                   "show in parentheses")
        ->type_name("FILE");
    app.add_flag("--json", options.json, "Print the verdict as one JSON document");
    CLI::Option* junit =
        app.add_option("--junit", options.junit,
                       "Also write the verdict as JUnit XML for a release pipeline: a testsuite "
                       "per device, a testcase per judgement; - writes it to standard output "
                       "instead of the table")
            ->type_name("FILE|-");
    CLI::Option* explain =
        app.add_option("--explain", options.explain, "Print that device's whole timeline instead")
            ->type_name("DEVICE")
            ->expected(0, 1);
    app.formatter(std::make_shared<Formatter>());
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return Refuse("command line: " + std::string(e.what()));
    }
    if (options.card.empty()) {
        return Refuse("command line: the card was given as an empty name");
    }
    if (image->count() > 0 && options.image.empty()) {
        return Refuse("command line: --image was given an empty file name");
    }
    if (devices->count() > 0 && options.devices.empty()) {
        return Refuse("command line: --devices: name at least one device, or leave it out for "
                      "every device (known: " +
                      ProfileNames() + ")");
    }
    if (explain->count() > 0 && options.explain.empty()) {
        return Refuse("command line: --explain: name the device (known: " + ProfileNames() + ")");
    }
    if (explain->count() > 0 && options.json) {
        return Refuse("command line: --explain prints a timeline; it does not go with --json");
    }
    if (junit->count() > 0 && options.junit.empty()) {
        return Refuse("command line: --junit was given an empty file name (- is standard output)");
    }
    if (junit->count() > 0 && explain->count() > 0) {
        return Refuse("command line: --explain prints a timeline; it does not go with --junit");
    }
    if (options.junit == "-" && options.json) {
        return Refuse("command line: --junit - and --json would both go to standard output");
    }
    return GoOn;
}

// The profiles named, in the order given; every profile for none.
std::vector<const ProfileText*> Chosen(const std::string& names) {
    std::vector<const ProfileText*> chosen;
    if (names.empty()) {
        for (const ProfileText& profile : Profiles()) {
            chosen.push_back(&profile);
        }
        return chosen;
    }
    for (std::size_t start = 0; start <= names.size();) {
        std::size_t comma = std::min(names.find(',', start), names.size());
        const std::string name = names.substr(start, comma - start);
        const ProfileText* profile = FindProfile(name);
        if (profile == nullptr) {
            throw InputError("command line", "--devices",
                             (name.empty() ? std::string("an empty device name")
                                           : "unknown device " + Quoted(name)) +
                                 " (known: " + ProfileNames() + ")");
        }
        if (std::find(chosen.begin(), chosen.end(), profile) != chosen.end()) {
            throw InputError("command line", "--devices", Quoted(name) + " is named twice");
        }
        chosen.push_back(profile);
        start = comma + 1;
    }
    return chosen;
}

// The card: a folder on the host, or a device description. A package or a
// program given in its place is named for what it is, not read as a
// description.
Description ReadCard(const std::string& card) {
    if (card == "-") {
        return ReadDescription(card);
    }
    struct stat info;
    if (::stat(card.c_str(), &info) != 0) {
        throw InputError("command line", "CARD",
                         Quoted(card) + " is neither a card folder nor a device description: " +
                             std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        return CardFolderDescription(card);
    }
    char magic[4] = {};
    std::ifstream(card, std::ios::binary).read(magic, sizeof magic);
    const char* what = std::memcmp(magic, "MSCF", 4) == 0 ? "a cabinet (a package), not a card"
                       : std::memcmp(magic, "MZ", 2) == 0
                           ? "a program image, not a card (an image to run goes with --image)"
                           : nullptr;
    if (what != nullptr) {
        throw InputError("command line", "CARD",
                         Quoted(card) + " is " + what +
                             ": CARD is a card folder, or a device description");
    }
    return ReadDescription(card);
}

} // namespace

void CheckCard(const Description& card, const std::vector<const ProfileText*>& profiles,
               const std::vector<Description>& kinds, runner::ProgramRunner& programs,
               CheckRun& run, std::ostream* explain, bool timelines) {
    // The card as it will be burnt: a file that holds nothing starts nothing,
    // unless the program built for this computer is to stand in. Standing in
    // for the device image, it starts only where that image would.
    programs.hostStandsIn = run.choice.standIn;
    programs.native.asDeviceImage = true;
    std::ostringstream untold;
    const Explain told{explain != nullptr ? *explain : untold, run.choice};
    for (const ProfileText* profile : profiles) {
        const Description& kind = kinds[static_cast<std::size_t>(profile - Profiles().data())];
        if (timelines) {
            // A pipeline gets the timeline of each device that does not pass.
            std::ostringstream timeline;
            const Explain own{timeline, run.choice};
            run.devices.push_back(CheckDevice(OnDevice(card, kind), programs, &own));
            run.devices.back().timeline = timeline.str();
        } else {
            run.devices.push_back(
                CheckDevice(OnDevice(card, kind), programs, explain == nullptr ? nullptr : &told));
        }
    }
    std::vector<std::uint32_t> processors;
    for (const Description& kind : kinds) {
        const std::uint32_t processor = kind.config.processor;
        if (std::find(processors.begin(), processors.end(), processor) == processors.end()) {
            processors.push_back(processor);
        }
    }
    run.notes = CardNotes(card, run.devices, processors);
}

int CheckCommand(int argc, char** argv, std::string& output) {
    CheckOptions options;
    const int parsed = ParseCheckOptions(argc, argv, options);
    if (parsed != GoOn) {
        return parsed;
    }
    Description card;
    std::vector<const ProfileText*> chosen;
    std::vector<Description> kinds; // every profile, with the facts --set gives
    std::vector<Expectation> expectations;
    try {
        for (const ProfileText& profile : Profiles()) {
            kinds.push_back(options.set.empty() ? ReadProfile(profile)
                                                : ProfileWith(profile.name, options.set));
        }
        chosen = Chosen(options.devices);
        if (!options.explain.empty()) {
            const ProfileText* explained = FindProfile(options.explain);
            if (explained == nullptr) {
                throw InputError("command line", "--explain",
                                 "unknown device " + Quoted(options.explain) +
                                     " (known: " + ProfileNames() + ")");
            }
            if (std::find(chosen.begin(), chosen.end(), explained) == chosen.end()) {
                throw InputError("command line", "--explain",
                                 Quoted(options.explain) + " is not among --devices");
            }
            chosen = {explained};
        }
        card = ReadCard(options.card);
        if (!options.expect.empty()) {
            expectations = ReadExpectations(options.expect);
        }
    } catch (const InputError& e) {
        return Refuse(e.what());
    } catch (const std::exception& e) {
        return Refuse("unusable input: " + std::string(e.what()));
    }

    runner::ProgramRunner programs;
    runner::PeImage image;
    CheckRun run;
    run.card = options.card;
    run.set = options.set;
    run.expect = options.expect;
    if (!options.image.empty()) {
        std::string error;
        if (!runner::ReadImageFile(options.image, programs.standIn, image, error)) {
            return Refuse(options.image + ": " + error);
        }
        run.choice.image = options.image;
        run.choice.machine = runner::MachineName(image.machine);
    }
    run.choice.standIn = options.standIn;
    run.unused = card.facts;
    if (card.hasSteps) {
        run.unused.push_back("steps");
    }

    // The JUnit file, opened before anything runs.
    std::ofstream junitFile;
    if (!options.junit.empty() && options.junit != "-") {
        junitFile.open(options.junit, std::ios::binary);
        if (!junitFile.is_open()) {
            std::cerr << "autorun-sim: cannot write " << Escaped(options.junit) << ": "
                      << std::strerror(errno) << "\n";
            return OutputFailed;
        }
    }
    std::ostringstream out;
    CheckCard(card, chosen, kinds, programs, run, options.explain.empty() ? nullptr : &out,
              !options.junit.empty());
    run.unfailing = Expect(expectations, run.devices);
    if (junitFile.is_open()) {
        WriteCheckJUnit(junitFile, run);
        junitFile.close();
        if (!junitFile) {
            std::cerr << "autorun-sim: cannot write " << Escaped(options.junit) << "\n";
            return OutputFailed;
        }
    }
    if (options.junit == "-") {
        WriteCheckJUnit(out, run);
    } else if (options.explain.empty()) {
        if (options.json) {
            WriteCheckJson(out, run);
        } else {
            WriteCheckTable(out, run);
        }
    }
    output = out.str();
    return CheckStatus(run.devices);
}

} // namespace simtool
