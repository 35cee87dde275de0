// autorun-sim: runs the autorun program through a card's life on a simulated
// Windows CE device and tells what it did.
//
//   autorun-sim [--device FILE] [--json] [STEP...]
//
// Exit status 0 when every step ran, whatever the program did; 2 for unusable
// input, with one line on standard error, before anything runs.
#include "simulator/description.h"
#include "simulator/event_log.h"
#include "simulator/native_program.h"
#include "simulator/session.h"
#include "simulator/timeline.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
    CLI::App app{"Runs the card's autorun program on a simulated Windows CE device and tells, "
                 "step by step, what it does. With no arguments: the built-in demo.",
                 "autorun-sim"};
    std::string deviceFile;
    bool json = false;
    bool trace = false;
    std::vector<std::string> steps;
    app.add_option("--device", deviceFile, "Device description (JSON) to simulate");
    app.add_flag("--json", json,
                 "Print the event log, one JSON object a line, instead of the timeline");
    app.add_flag("--trace", trace,
                 "Add every platform call the program makes, with its arguments and result");
    app.add_option("steps", steps,
                   "Steps replacing the description's: insert, menu, remove, or "
                   "'{\"run\": PATH, \"args\": TEXT}'");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "autorun-sim: command line: " << e.what() << "\n";
        return 2;
    }

    simtool::Description description;
    try {
        description =
            deviceFile.empty() ? simtool::DemoDescription() : simtool::ReadDescription(deviceFile);
        if (!steps.empty()) {
            description.steps.clear();
            for (std::size_t i = 0; i < steps.size(); ++i) {
                description.steps.push_back(simtool::ParseCommandLineStep(steps[i], i + 1));
            }
        }
    } catch (const simtool::InputError& e) {
        std::cerr << "autorun-sim: " << e.what() << "\n";
        return 2;
    }

    sim::Device device;
    simtool::Configure(description, device);
    simtool::NativeProgram native;
    device.launcher = &native;
    device.trace = trace;
    std::ostringstream intro;
    if (!json) {
        simtool::WriteIntro(intro, description, device);
    }
    simtool::RunSteps(device, description.steps);
    if (json) {
        simtool::WriteEventLog(std::cout, device);
        for (const std::string& violation : device.Violations()) {
            std::cerr << "autorun-sim: warning: the program misused the platform: " << violation
                      << "\n";
        }
    } else {
        std::cout << intro.str();
        simtool::WriteTimeline(std::cout, device);
    }
    return 0;
}
