// Driving the device through a card's life.
#include "simulator/session.h"

#include "autorun/autorun.h"

namespace simtool {

std::vector<Findings> RunSteps(sim::Device& device, const std::vector<Step>& steps) {
    std::vector<Findings> findings;
    // The device calls this at the start of each run, with its calls to the
    // platform uncounted; the look-ups change nothing on the device.
    device.beforeRun = [&findings] {
        Findings found;
        char16_t path[platform::MaxPath];
        platform::FILETIME time{};
        found.pocketPc = IsPocketPcPlatform() != 0;
        if (FindInstalledReader(path, &time) != 0) {
            found.reader = true;
            found.readerPath = path;
            found.readerTime = sim::TicksOf(time);
        }
        if (FindCardInstaller(path, &time) != 0) {
            found.package = true;
            found.packagePath = path;
            found.packageTime = sim::TicksOf(time);
        }
        findings.push_back(found);
    };
    for (const Step& step : steps) {
        switch (step.kind) {
        case Step::Insert:
            device.Insert();
            break;
        case Step::Menu:
            device.Menu();
            break;
        case Step::Remove:
            device.Remove();
            break;
        case Step::Run:
            device.Emit("step", {{"name", sim::TextValue("run")}, {"runs", sim::FlagValue(true)}});
            device.Run(step.path, step.args);
            break;
        }
    }
    device.beforeRun = nullptr;
    return findings;
}

} // namespace simtool
