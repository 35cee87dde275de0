// Driving the device through a card's life.
#include "simulator/steps.h"

namespace simtool {

void RunSteps(sim::Device& device, const std::vector<Step>& steps) {
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
            device.Step("run", {{"path", sim::TextValue(step.path)},
                                {"exists", sim::FlagValue(device.files.Find(step.path) != nullptr)},
                                {"runs", sim::FlagValue(true)}});
            device.Run(step.path, step.args);
            break;
        }
    }
}

} // namespace simtool
