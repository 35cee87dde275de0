// Driving the device through a card's life.
#include "simulator/steps.h"

namespace simtool {

void RunSteps(sim::Device& device, const std::vector<Step>& steps,
              const std::u16string& menuEntry) {
    for (const Step& step : steps) {
        switch (step.kind) {
        case Step::Insert:
            device.Insert();
            break;
        case Step::Menu:
            device.Tap(menuEntry);
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

std::u16string MenuEntry(const sim::Device& device, const std::u16string& title) {
    return title.empty() ? std::u16string()
                         : device.Facts().programsFolder + u"\\" + title + u".exe";
}

} // namespace simtool
