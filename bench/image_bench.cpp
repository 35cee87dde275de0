// bench_image: how long the demo's steps take with the program built for the
// host and with images in the emulated processor (the desktop image on an
// x86 device, whose loader runs it), how many instructions each step
// emulates and the deepest stack its runs use. A measurement, not a test:
// scripts/bench-image runs it.
//
//   bench_image [--rounds N] IMAGE...
#include "device/device.h"
#include "simulator/description.h"
#include "runner/program_runner.h"
#include "simulator/steps.h"
#include "runner/pe_image.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct StepFigures {
    std::vector<double> ms; // one a round
    std::uint64_t instructions = 0;
    long long stack = 0; // bytes: the deepest of the step's runs
};

// The demo on a device whose processor runs images for machine: an x86 one
// for the desktop image, its card's program in that processor's folder.
simtool::Description DemoFor(std::uint16_t machine) {
    simtool::Description demo = simtool::DemoDescription();
    if (machine != runner::MachineI386) {
        return demo;
    }
    const std::u16string from = u"\\" + sim::Utf16(std::to_string(demo.config.processor)) + u"\\";
    demo.config.processor = 586; // PROCESSOR_INTEL_PENTIUM
    const std::u16string to = u"\\" + sim::Utf16(std::to_string(demo.config.processor)) + u"\\";
    for (sim::Entry& entry : demo.entries) {
        const std::size_t at = entry.path.find(from);
        if (at != std::u16string::npos && sim::NameOf(entry.path) == sim::AutoRunName) {
            entry.path.replace(at, from.size(), to);
        }
    }
    return demo;
}

// One round of the demo; the card's program holds image (none: the host
// build runs), for machine. Empty, or why a run crashed.
std::string RunDemo(const sim::Content& image, std::uint16_t machine,
                    std::vector<StepFigures>& steps) {
    const simtool::Description demo = DemoFor(machine);
    runner::ProgramRunner launcher;
    sim::Device device(demo.config, &launcher);
    simtool::Populate(demo, device, image);
    steps.resize(demo.steps.size());
    for (std::size_t i = 0; i < demo.steps.size(); ++i) {
        const std::uint64_t before = launcher.instructions;
        const std::size_t events = device.Events().size();
        const Clock::time_point start = Clock::now();
        simtool::RunSteps(device, {demo.steps[i]});
        steps[i].ms.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        steps[i].instructions = launcher.instructions - before;
        steps[i].stack = 0;
        for (std::size_t e = events; e < device.Events().size(); ++e) {
            if (const auto* exit = device.Events()[e].As<sim::ev::Exit>()) {
                steps[i].stack = std::max(steps[i].stack, exit->stack.value_or(0));
            }
        }
    }
    for (const sim::Event& event : device.Events()) {
        if (const auto* crash = event.As<sim::ev::Crash>()) {
            return sim::Utf8(crash->reason);
        }
    }
    return "";
}

double Best(std::vector<double> values) {
    return *std::min_element(values.begin(), values.end());
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 20;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: bench_image [--rounds N] IMAGE...\n");
        return 2;
    }

    std::vector<std::string> names = {"native"};
    std::vector<sim::Content> images = {nullptr};
    std::vector<std::uint16_t> machines = {runner::MachineArm};
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "bench_image: cannot read %s\n", file.c_str());
            return 2;
        }
        auto bytes = std::make_shared<std::vector<std::uint8_t>>(std::istreambuf_iterator<char>(in),
                                                                 std::istreambuf_iterator<char>());
        runner::PeImage image;
        std::string error;
        if (!runner::ReadPeImage(*bytes, image, error)) {
            std::fprintf(stderr, "bench_image: %s: %s\n", file.c_str(), error.c_str());
            return 2;
        }
        names.push_back(runner::MachineName(image.machine) + " image");
        images.push_back(bytes);
        machines.push_back(image.machine);
    }

    // figures[k][step]: the demo with images[k] on the card.
    std::vector<std::vector<StepFigures>> figures(images.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < images.size(); ++k) {
            const std::string crash = RunDemo(images[k], machines[k], figures[k]);
            if (!crash.empty()) {
                std::fprintf(stderr, "bench_image: %s: a run crashed: %s\n",
                             k == 0 ? "the host build" : files[k - 1].c_str(), crash.c_str());
                return 1;
            }
        }
    }

    const simtool::Description demo = simtool::DemoDescription();
    const char* stepNames[] = {"insert", "menu", "tap", "remove", "run"}; // by Step::Kind
    std::printf("The demo's steps, wall time in ms: best of %d rounds (median); each image's\n"
                "emulated instructions, and the deepest stack its runs used (bytes)\n",
                rounds);
    std::printf("%-8s", "step");
    for (std::size_t k = 0; k < images.size(); ++k) {
        std::printf("  %-20s", names[k].c_str());
    }
    for (std::size_t k = 1; k < images.size(); ++k) {
        std::printf("  %-12s", (names[k].substr(0, names[k].find(' ')) + " instr.").c_str());
    }
    for (std::size_t k = 1; k < images.size(); ++k) {
        std::printf("  %-12s", (names[k].substr(0, names[k].find(' ')) + " stack").c_str());
    }
    std::printf("\n");
    std::vector<double> totals(images.size(), 0);
    std::vector<double> medians(images.size(), 0);
    for (std::size_t step = 0; step < demo.steps.size(); ++step) {
        std::printf("%-8s", stepNames[demo.steps[step].kind]);
        for (std::size_t k = 0; k < images.size(); ++k) {
            const std::vector<double>& ms = figures[k][step].ms;
            totals[k] += Best(ms);
            medians[k] += Median(ms);
            char cell[64];
            std::snprintf(cell, sizeof cell, "%.3f (%.3f)", Best(ms), Median(ms));
            std::printf("  %-20s", cell);
        }
        for (std::size_t k = 1; k < images.size(); ++k) {
            std::printf("  %-12llu",
                        static_cast<unsigned long long>(figures[k][step].instructions));
        }
        for (std::size_t k = 1; k < images.size(); ++k) {
            std::printf("  %-12lld", figures[k][step].stack);
        }
        std::printf("\n");
    }
    std::printf("%-8s", "total");
    for (std::size_t k = 0; k < images.size(); ++k) {
        char cell[64];
        std::snprintf(cell, sizeof cell, "%.3f (%.3f)", totals[k], medians[k]);
        std::printf("  %-20s", cell);
    }
    std::printf("\n");
    return 0;
}
