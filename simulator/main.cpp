// autorun-sim: runs the autorun program through a card's life on a simulated
// Windows CE device and tells what it did.
//
//   autorun-sim [--device FILE|-] [--image FILE] [--json] [--trace] [STEP...]
//   autorun-sim check CARD [--devices NAME,...] [--image FILE | --stand-in]
//                          [--set FACT=VALUE]... [--expect FILE] [--json] [--junit FILE|-]
//                          [--explain DEVICE]
//   autorun-sim --help | --version
//
// With no description and no steps: the built-in demo (simulator/demo.h).
// Exit status 0 when every step ran, whatever the program did; 1 when
// standard output could not be written; 2 for unusable input, with one line
// on standard error, before anything runs; 3 when a run of the program
// crashed (the demo's check's runs too). The check has its own
// (simulator/check_command.h).
#include "runner/executed_file.h"
#include "runner/program_runner.h"
#include "simulator/card_program.h"
#include "simulator/check_command.h"
#include "simulator/check_report.h"
#include "simulator/demo.h"
#include "simulator/description.h"
#include "simulator/event_log.h"
#include "simulator/steps.h"
#include "simulator/timeline.h"
#include "simulator/version.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>

namespace {

const char Version[] = "autorun-sim " AUTORUN_SIM_VERSION;

constexpr int ExitOk = 0;
constexpr int ExitOutputFailed = 1;
constexpr int ExitBadInput = 2;
constexpr int ExitCrashed = 3;
constexpr int GoOn = -1;

class Formatter : public CLI::Formatter {
  public:
    std::string make_usage(const CLI::App*, std::string) const override {
        return "Usage: autorun-sim [--device FILE|-] [--image FILE] [--json] [--trace] [STEP...]\n"
               "   or: autorun-sim check CARD [--devices NAME,...] [--image FILE | --stand-in] "
               "[--set FACT=VALUE]... [--expect FILE] [--json] [--junit FILE|-] "
               "[--explain DEVICE]\n"
               "   or: autorun-sim --help | --version\n";
    }
};

struct Options {
    std::string deviceFile; // empty: the built-in demo; "-": standard input
    std::string imageFile;  // empty: the program built for the host runs
    bool json = false;
    bool trace = false;
    std::vector<std::string> steps;
};

// Reads the command line into options: GoOn, or the exit status once help,
// the version or an error has been printed.
int ParseOptions(int argc, char** argv, Options& options) {
    CLI::App app{"Runs the card's autorun program on a simulated Windows CE device and tells, "
                 "step by step, what it does. With no arguments: the built-in demo.",
                 "autorun-sim"};
    app.footer("The built-in demo (no --device, no steps) plays the example card, its real "
               "package built in, on a new Pocket PC 2003: insert, menu, remove; then it prints "
               "the card's check table over every device profile. Its card's autorun.exe holds "
               "nothing, so autorun.exe built for this computer stands in for it; --image runs "
               "the device image instead, in the demo and in its check. With --json, it prints "
               "the event log of the card's life alone.\n\n"
               "Steps replace the description's: insert, menu, remove, '{\"tap\": PATH}' or "
               "'{\"run\": PATH, \"args\": TEXT}', one argument each.\n\n"
               "Exit status: 0 when every step ran, whatever the program did; 1 when standard "
               "output could not be written; 2 for unusable input (one line on standard error "
               "says what), and then nothing runs; 3 when a run of the program crashed (in the "
               "demo, its check's runs too).\n\n"
               "autorun-sim check CARD plays a card's life on every device profile and judges "
               "it; see autorun-sim check --help.");
    app.set_version_flag("--version", Version, "Print the version and exit");
    CLI::Option* device =
        app.add_option("--device", options.deviceFile,
                       "Device description (JSON) to simulate; - reads it from standard input")
            ->type_name("FILE");
    CLI::Option* image =
        app.add_option("--image", options.imageFile,
                       "The program to run: an ARM or i386 image (autorun.exe), put in every "
                       "card's <processor>\\autorun.exe; without it, the card's own file runs, "
                       "and autorun.exe built for this computer stands in for one that holds "
                       "nothing")
            ->type_name("FILE");
    app.add_flag("--json", options.json,
                 "Print the event log, one JSON object a line, instead of the timeline");
    app.add_flag("--trace", options.trace,
                 "Add every platform call the program makes, with its arguments and result");
    // The steps are what is left, each argument one step as it is written:
    // the library's own positionals would read "[insert,menu]" as a list.
    app.allow_extras();
    app.formatter(std::make_shared<Formatter>());
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e); // --help, --version
    } catch (const CLI::ParseError& e) {
        std::cerr << "autorun-sim: command line: " << simtool::Escaped(e.what()) << "\n";
        return ExitBadInput;
    }
    options.steps = app.remaining();
    auto separator = std::find(options.steps.begin(), options.steps.end(), "--");
    if (separator != options.steps.end()) {
        options.steps.erase(separator); // "--" ends the options; it is no step
    }
    for (const std::string& step : options.steps) {
        if (step.size() > 1 && step[0] == '-') {
            std::cerr << "autorun-sim: command line: unknown option " << simtool::Quoted(step)
                      << " (see --help)\n";
            return ExitBadInput;
        }
    }
    if (image->count() > 0 && options.imageFile.empty()) {
        std::cerr << "autorun-sim: command line: --image was given an empty file name\n";
        return ExitBadInput;
    }
    if (device->count() > 0 && options.deviceFile.empty()) {
        std::cerr << "autorun-sim: command line: --device was given an empty file name (use - "
                     "for standard input; leave --device out for the built-in demo)\n";
        return ExitBadInput;
    }
    return GoOn;
}

// Everything written to standard output must have reached it: a full disk or
// a closed file is an error, not a quiet success. The output is written in
// one piece here, so that the first error is the one reported.
int Finish(int status, const std::string& output = std::string()) {
    errno = 0;
    const bool written = std::fwrite(output.data(), 1, output.size(), stdout) == output.size() &&
                         std::fflush(stdout) == 0;
    const int error = errno;
    if (!written || std::ferror(stdout) || !std::cout) {
        std::cerr << "autorun-sim: cannot write to standard output: "
                  << (error != 0 ? std::strerror(error) : "write error") << "\n";
        return ExitOutputFailed;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "check") == 0) {
        std::string output;
        const int status = simtool::CheckCommand(argc - 1, argv + 1, output);
        return Finish(status, output);
    }
    Options options;
    const int parsed = ParseOptions(argc, argv, options);
    if (parsed != GoOn) {
        return Finish(parsed);
    }

    // The built-in demo as it is, with its opening and its check table.
    const bool demo = options.deviceFile.empty() && options.steps.empty();
    simtool::Description description;
    try {
        description = options.deviceFile.empty() ? simtool::DemoDescription()
                                                 : simtool::ReadDescription(options.deviceFile);
        if (!options.steps.empty()) {
            description.steps.clear();
            for (std::size_t i = 0; i < options.steps.size(); ++i) {
                description.steps.push_back(simtool::ParseCommandLineStep(options.steps[i], i + 1));
            }
        }
    } catch (const simtool::InputError& e) {
        std::cerr << "autorun-sim: " << e.what() << "\n";
        return ExitBadInput;
    } catch (const std::exception& e) {
        // Whatever else reading the input may throw (memory running out).
        std::cerr << "autorun-sim: unusable input: " << simtool::Escaped(e.what()) << "\n";
        return ExitBadInput;
    }

    runner::ProgramRunner programs;
    runner::PeImage image;
    if (!options.imageFile.empty()) {
        std::string error;
        if (!runner::ReadImageFile(options.imageFile, programs.standIn, image, error)) {
            std::cerr << "autorun-sim: " << simtool::Escaped(options.imageFile) << ": "
                      << simtool::Escaped(error) << "\n";
            return ExitBadInput;
        }
    }

    simtool::ProgramChoice choice;
    if (programs.standIn) {
        choice.image = options.imageFile;
        choice.machine = runner::MachineName(image.machine);
    }
    sim::Device device(description.config);
    simtool::Populate(description, device, programs.standIn);
    device.SetLauncher(&programs);
    // What the shell starts from the cards, as it is before the first step.
    const std::string program = simtool::RunProgramText(simtool::ProgramOnCards(device), choice,
                                                        description.config.processor);
    std::ostringstream out;
    if (!options.json) {
        if (demo) {
            simtool::WriteDemoOpening(out, choice);
        }
        simtool::WriteIntro(out, description, device, program);
    }
    const simtool::DeviceState before = simtool::StateOf(device);
    simtool::RunSteps(device, description.steps);
    bool crashed =
        std::any_of(device.Events().begin(), device.Events().end(),
                    [](const sim::Event& event) { return event.kind == sim::EventKind::Crash; });
    if (options.json) {
        simtool::WriteEventLog(out, device, options.trace);
        for (const std::string& violation : device.Violations()) {
            std::cerr << "autorun-sim: warning: the program misused the platform: " << violation
                      << "\n";
        }
    } else {
        simtool::WriteTimeline(out, device, before, options.trace);
    }
    // The check's own programs, the same image or stand-in: the check plays
    // the card as it will be burnt, where the demo's device started any file.
    runner::ProgramRunner checking;
    checking.standIn = programs.standIn;
    if (demo && !options.json &&
        simtool::WriteDemoCheck(out, description, checking, choice) == simtool::CheckCrashed) {
        crashed = true;
    }
    // For developers: what the images ran, added to the file this names.
    std::string error;
    const char* executed = std::getenv("AUTORUN_SIM_EXECUTED");
    if (executed != nullptr && (!runner::AppendExecuted(programs.image, executed, error) ||
                                !runner::AppendExecuted(checking.image, executed, error))) {
        std::cerr << "autorun-sim: AUTORUN_SIM_EXECUTED: " << executed << ": " << error << "\n";
    }
    return Finish(crashed ? ExitCrashed : ExitOk, out.str());
}
