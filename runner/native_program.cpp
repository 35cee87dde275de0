// Runs the program built for the host on the simulated device.
#include "runner/native_program.h"

#include "autorun/autorun.h"
#include "autorun/constants.h"
#include "resources/product.h"

#include <vector>

namespace runner {

NativeProgram::NativeProgram() : title(u"" PRODUCT_TITLE) {}

sim::Process NativeProgram::ProcessOf(const std::u16string& path,
                                      const std::u16string& args) const {
    sim::Process process;
    process.path = path;
    process.args = args;
    process.instance = Instance;
    process.loadString = [title = title](platform::UINT id, std::u16string& text) {
        text = id == TitleStringId ? title : u"";
        return !text.empty();
    };
    return process;
}

sim::Outcome NativeProgram::Run(sim::Device& device, const std::u16string& path, const sim::Entry*,
                                const std::u16string& args) {
    sim::LoadDecision decision;
    if (asDeviceImage) {
        decision = device.TheLoader().Decide(
            {sim::MachineArm, sim::SubsystemWindowsCeGui, DeviceImageMajor, DeviceImageMinor});
    }
    if (!decision.refusal.empty()) {
        return sim::NotStarted(decision.refusal, decision.facts);
    }
    std::vector<char16_t> commandLine(args.begin(), args.end());
    commandLine.push_back(0);
    sim::Device::Use use(device, ProcessOf(path, args));
    sim::Outcome outcome;
    outcome.code = static_cast<std::uint32_t>(
        WinMain(Instance, 0, commandLine.data(), platform::SwShowNormal));
    return outcome;
}

} // namespace runner
