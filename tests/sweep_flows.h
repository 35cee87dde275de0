// The fault sweep's flows and fault sets: every flow of the program, each
// run with no fault, with each failable operation failing and with every
// pair of them failing. Shared by the sweep of the host build and the sweep
// of the shipped images.
#pragma once

#include "device/device.h"

#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace sweep {

struct Flow {
    const char* name;
    std::function<void(sim::Device&)> build;
    std::u16string path;
    std::u16string args;
    // What the flow does when nothing fails: the file it starts (empty: the
    // error box, or the Configuration Manager's uninstall where the flow
    // configures), to show the flow is really taken.
    std::string expectedLaunch;
    std::u16string platform = u"PocketPC";
    // The kind of device (null: a Pocket PC), and whether the program has
    // the Configuration Manager uninstall the reader, starting nothing.
    sim::Config (*kind)() = nullptr;
    bool configures = false;
};

// Shown by name in test output (the default would print the raw bytes).
inline void PrintTo(const Flow& flow, std::ostream* out) {
    *out << flow.name;
}

std::vector<Flow> Flows();
std::vector<sim::Op> FailableOps();
// No fault, each single fault, and each pair.
std::vector<std::set<sim::Op>> FaultSets();
std::string Describe(const std::set<sim::Op>& faults);

// A card with the program and the reader's real package, of that time
// (behind a card without one).
void AddPackage(sim::Device& device, sim::Ticks time);

// A fresh device for the flow with the given operations failing, run by
// launcher, its program's file holding image (none: nothing, so that the
// launcher's stand-in runs), on a device of that kind with the flow's
// platform. The run is checked against the invariants and must exit with 0;
// a broken rule is a test failure.
std::unique_ptr<sim::Device> RunFlow(const Flow& flow, const std::set<sim::Op>& faults,
                                     sim::Launcher& launcher, sim::Content image = nullptr,
                                     const sim::Config& kind = sim::Config());

} // namespace sweep
