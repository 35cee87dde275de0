// Runs the program built for the host on the simulated device.
#include "runner/native_program.h"

#include "autorun/autorun.h"
#include "autorun/constants.h"

#include <vector>

namespace runner {

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
    return sim::NumberValue(static_cast<long long>(sim::TicksOf(time)));
}

// Files named like a package, in the card folder the program searches, that
// no look-up can take: a folder, or a path that does not fit in MaxPath units
// with its terminator. Told so that a user sees why a package was passed over.
std::string PassedOver(const sim::Device& device, bool pocketPc, const std::u16string& found) {
    std::string notes;
    const std::u16string folderName = pocketPc ? PocketPcCardDir : DefaultCardDir;
    for (const sim::Entry* card : device.files.Children(u"")) {
        if (!sim::IsCard(*card)) {
            continue;
        }
        for (const sim::Entry* entry : device.files.Children(card->path + u"\\" + folderName)) {
            if (!sim::MatchesPattern(sim::NameOf(entry->path), u"*.cab") ||
                sim::SameName(entry->path, found)) {
                continue;
            }
            std::string why;
            if ((entry->attributes & sim::AttrDirectory) != 0) {
                why = " (a folder)";
            } else if (entry->path.size() >= static_cast<std::size_t>(platform::MaxPath)) {
                why = " (a path of " + std::to_string(entry->path.size()) +
                      " units; at most 259 fit)";
            } else {
                continue;
            }
            notes += (notes.empty() ? "" : "; ") + sim::Utf8(entry->path) + why;
        }
    }
    return notes;
}

// What this run's look-ups will find and the mode it will choose, asked of the
// program's own functions with the inputs WinMain will see. They change
// nothing on the device, and their calls are neither counted nor traced.
void RecordFindingsAndMode(sim::Device& device, char16_t* commandLine) {
    sim::Device::Quiet quiet(device);
    char16_t path[platform::MaxPath];
    platform::FILETIME time{};
    const bool pocketPc = IsPocketPcPlatform() != 0;
    sim::Fields found = {{"pocketPc", sim::FlagValue(pocketPc)}};
    if (FindInstalledReader(path, &time) != 0) {
        found.push_back({"reader", sim::TextValue(std::u16string(path))});
        found.push_back({"readerTime", TicksValue(time)});
    } else {
        found.push_back({"reader", sim::NullValue()});
        found.push_back({"readerTime", sim::NullValue()});
    }
    std::u16string package;
    if (FindCardInstaller(path, &time) != 0) {
        package = path;
        found.push_back({"package", sim::TextValue(package)});
        found.push_back({"packageTime", TicksValue(time)});
    } else {
        found.push_back({"package", sim::NullValue()});
        found.push_back({"packageTime", sim::NullValue()});
    }
    const std::string passedOver = PassedOver(device, pocketPc, package);
    if (!passedOver.empty()) {
        found.push_back({"passedOver", sim::TextValue(passedOver)});
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
    process.loadString = [title = device.app.title](platform::UINT id, std::u16string& text) {
        text = id == TitleStringId ? title : u"";
        return !text.empty();
    };
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

} // namespace runner
