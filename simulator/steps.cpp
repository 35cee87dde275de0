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
            device.TapMenu();
            break;
        case Step::Tap:
            device.Tap(step.path);
            break;
        case Step::Remove:
            device.Remove();
            break;
        case Step::Run: {
            sim::ev::Step run{u"run"};
            run.path = step.path;
            run.exists = device.Files().Find(step.path) != nullptr;
            run.runs = true;
            device.Step(run);
            device.Run(step.path, step.args);
            break;
        }
        }
    }
}

} // namespace simtool
