// Runs the program built for the host on the simulated device.
#include "simulator/native_program.h"

#include "autorun/autorun.h"
#include "autorun/constants.h"

#include <vector>

namespace simtool {

namespace {

const char* ModeName(RunMode mode) {
    switch (mode) {
    case RunMode::Install:
        return "install";
    case RunMode::Launch:
        return "launch";
    case RunMode::Removal:
        return "removal";
    }
    return "?";
}

sim::Value TicksValue(const platform::FILETIME& time) {
    return sim::NumberValue(static_cast<long long>(
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime));
}

// What this run's look-ups will find and the mode it will choose, asked of the
// program's own functions with the inputs WinMain will see. They change
// nothing on the device, and their calls are neither counted nor traced.
void RecordFindingsAndMode(sim::Device& device, char16_t* commandLine) {
    sim::Device::Quiet quiet(device);
    char16_t path[platform::MaxPath];
    platform::FILETIME time{};
    sim::Fields found = {{"pocketPc", sim::FlagValue(IsPocketPcPlatform() != 0)}};
    if (FindInstalledReader(path, &time) != 0) {
        found.push_back({"reader", sim::TextValue(std::u16string(path))});
        found.push_back({"readerTime", TicksValue(time)});
    } else {
        found.push_back({"reader", sim::NullValue()});
        found.push_back({"readerTime", sim::NullValue()});
    }
    if (FindCardInstaller(path, &time) != 0) {
        found.push_back({"package", sim::TextValue(std::u16string(path))});
        found.push_back({"packageTime", TicksValue(time)});
    } else {
        found.push_back({"package", sim::NullValue()});
        found.push_back({"packageTime", sim::NullValue()});
    }
    device.Emit(sim::EventKind::Found, std::move(found));
    const RunMode mode = DetermineRunMode(NativeProgram::Instance, commandLine);
    device.Emit(sim::EventKind::Mode, {{"mode", sim::TextValue(ModeName(mode))}});
}

} // namespace

sim::Process NativeProgram::ProcessOf(const sim::Device& device, const std::u16string& path) {
    sim::Process process;
    process.path = path;
    process.instance = Instance;
    process.strings[TitleStringId] = device.app.title;
    return process;
}

sim::Outcome NativeProgram::Run(sim::Device& device, const std::u16string& path, const sim::Entry*,
                                const std::u16string& args) {
    std::vector<char16_t> commandLine(args.begin(), args.end());
    commandLine.push_back(0);
    sim::Device::Use use(device, ProcessOf(device, path));
    RecordFindingsAndMode(device, commandLine.data());
    sim::Outcome outcome;
    outcome.code = static_cast<std::uint32_t>(
        WinMain(Instance, 0, commandLine.data(), platform::SwShowNormal));
    return outcome;
}

} // namespace simtool
