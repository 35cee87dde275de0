// bench_check: how long autorun-sim check takes over every device profile,
// a device at a time and in all, with the program built for the host and
// with each image as the card's program. The first round is what one run of
// the command costs (the emulator is opened on the first device); the best
// of the rounds is the steady figure. A measurement, not a test:
// scripts/bench-check runs it.
//
//   bench_check [--rounds N] CARD [IMAGE...]
#include "runner/program_runner.h"
#include "simulator/check.h"
#include "simulator/profiles.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The figures of one kind of program: ms[round][device], and each round's
// whole, card and profiles read included.
struct Figures {
    std::vector<std::vector<double>> ms;
    std::vector<double> totals;
};

// Plays the card on every profile, rounds times, with a fresh set of
// programs (so that the first round opens its emulator as the command does).
bool Measure(const std::string& card, const std::string& image, int rounds, Figures& figures) {
    runner::ProgramRunner programs;
    programs.native.asDeviceImage = true;
    if (!image.empty()) {
        runner::PeImage read;
        std::string error;
        if (!runner::ReadImageFile(image, programs.standIn, read, error)) {
            std::fprintf(stderr, "bench_check: %s: %s\n", image.c_str(), error.c_str());
            return false;
        }
    }
    for (int round = 0; round < rounds; ++round) {
        const Clock::time_point whole = Clock::now();
        const simtool::Description description = simtool::CardFolderDescription(card);
        std::vector<double> ms;
        for (const simtool::ProfileText& profile : simtool::Profiles()) {
            const Clock::time_point start = Clock::now();
            simtool::CheckDevice(simtool::OnDevice(description, simtool::ReadProfile(profile)),
                                 programs);
            ms.push_back(MsSince(start));
        }
        figures.totals.push_back(MsSince(whole));
        figures.ms.push_back(ms);
    }
    return true;
}

void Print(const char* what, const Figures& figures) {
    std::printf("\n%s\n  %-16s %12s %12s\n", what, "device", "first round", "best");
    for (std::size_t d = 0; d < simtool::Profiles().size(); ++d) {
        double best = figures.ms[0][d];
        for (const std::vector<double>& round : figures.ms) {
            best = std::min(best, round[d]);
        }
        std::printf("  %-16s %9.2f ms %9.2f ms\n", simtool::Profiles()[d].name, figures.ms[0][d],
                    best);
    }
    std::printf("  %-16s %9.2f ms %9.2f ms\n", "in all", figures.totals[0],
                *std::min_element(figures.totals.begin(), figures.totals.end()));
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 20;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--rounds") == 0) {
        rounds = std::max(1, std::atoi(argv[2]));
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: bench_check [--rounds N] CARD [IMAGE...]\n");
        return 2;
    }
    const std::string card = argv[first];
    std::printf("autorun-sim check %s over %zu profiles, %d rounds\n", card.c_str(),
                simtool::Profiles().size(), rounds);
    try {
        Figures host;
        if (!Measure(card, "", rounds, host)) {
            return 1;
        }
        Print("autorun.exe built for this machine:", host);
        for (int i = first + 1; i < argc; ++i) {
            Figures image;
            if (!Measure(card, argv[i], rounds, image)) {
                return 1;
            }
            Print(("the image " + std::string(argv[i]) + ":").c_str(), image);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_check: %s\n", e.what());
        return 1;
    }
    return 0;
}
