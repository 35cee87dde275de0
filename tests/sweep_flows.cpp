#include "tests/sweep_flows.h"

#include "autorun/constants.h"
#include "tests/device_fixture.h"
#include "tests/invariants.h"

#include <gtest/gtest.h>

namespace sweep {

namespace {

constexpr sim::Ticks Older = sim::DefaultEntryTime;
constexpr sim::Ticks Newer = sim::DefaultEntryTime + sim::TicksPerSecond;

void AddCard(sim::Device& device, const std::u16string& card) {
    device.Put({card, sim::AttrDirectory | sim::AttrTemporary});
    device.Put({card + u"\\2577\\autorun.exe"});
}

// In both of the card's package folders.
void AddFolderNamedLikeAPackage(sim::Device& device, const std::u16string& card) {
    device.Put({card + u"\\2577\\Folder.cab", sim::AttrDirectory});
    device.Put({card + u"\\wince\\arm\\Folder.cab", sim::AttrDirectory});
}

using fixture::AddReader;
using fixture::MenuCopy;

void AddMenuCopy(sim::Device& device) {
    device.Put({fixture::ProgramsFolder, sim::AttrDirectory});
    device.Put({MenuCopy});
}

} // namespace

void AddPackage(sim::Device& device, sim::Ticks time) {
    // What the search must go on past comes first: a card whose only "*.cab"
    // is a folder, a card whose name leaves no room for the pattern its
    // packages are searched with ("\<name>\2577\*.cab": 260 units, and a
    // path holds 259 and its terminator), and, on the card with the package,
    // a folder named like one before it.
    AddCard(device, u"\\Empty Card");
    AddFolderNamedLikeAPackage(device, u"\\Empty Card");
    device.Put({u"\\" + std::u16string(248, u'n'), sim::AttrDirectory | sim::AttrTemporary});
    AddCard(device, u"\\Storage Card");
    AddFolderNamedLikeAPackage(device, u"\\Storage Card");
    fixture::AddPackage(device, u"\\Storage Card\\2577\\Reader.cab", time);
    fixture::AddPackage(device, u"\\Storage Card\\wince\\arm\\Reader.cab", time);
}

std::vector<Flow> Flows() {
    const std::string reader = sim::Utf8(ReaderPath);
    const std::string package = "\\Storage Card\\2577\\Reader.cab";
    const std::string unload = sim::Utf8(UninstallerPath);
    const std::u16string shell = RemovalPath;
    return {
        {"InstallNoReaderNoPackage", [](sim::Device&) {}, shell, u"install", ""},
        {"InstallReaderNoPackage", [](sim::Device& d) { AddReader(d, Older); }, shell, u"install",
         ""},
        {"InstallNoReaderPackage", [](sim::Device& d) { AddPackage(d, Older); }, shell, u"install",
         package},
        {"InstallCurrentReaderPackage",
         [](sim::Device& d) {
             AddReader(d, Newer);
             AddPackage(d, Older);
             AddMenuCopy(d);
         },
         shell, u"install", reader},
        {"InstallOldReaderPackage",
         [](sim::Device& d) {
             AddReader(d, Older);
             AddPackage(d, Newer);
         },
         shell, u"install", package},
        {"InstallOtherPlatform", [](sim::Device& d) { AddPackage(d, Older); }, shell, u"install",
         "\\Storage Card\\wince\\arm\\Reader.cab", u"Jupiter"},
        {"LaunchReader",
         [](sim::Device& d) {
             AddReader(d, Older);
             AddPackage(d, Newer);
             AddMenuCopy(d);
         },
         MenuCopy, u"", reader},
        {"LaunchNoReaderPackage",
         [](sim::Device& d) {
             AddPackage(d, Older);
             AddMenuCopy(d);
         },
         MenuCopy, u"", package},
        {"LaunchNoReaderNoPackage", [](sim::Device& d) { AddMenuCopy(d); }, MenuCopy, u"", ""},
        {"RemovalWithKey",
         [](sim::Device& d) {
             AddReader(d, Older);
             AddMenuCopy(d);
             d.Put({RemovalPath});
         },
         shell, u"uninstall", unload},
        {"RemovalKeyGone",
         [](sim::Device& d) {
             AddMenuCopy(d);
             d.Put({RemovalPath});
         },
         shell, u"uninstall", unload},
        {"RemovalNoAppsKey",
         [](sim::Device& d) {
             d.ClearRegistry();
             d.PutKey(u"SOFTWARE\\Other");
             AddMenuCopy(d);
             d.Put({RemovalPath});
         },
         shell, u"", unload},
        // On Windows Mobile the Configuration Manager uninstalls what the
        // installer installed; a reader it has no record of leaves it to
        // Unload.exe.
        {"RemovalWindowsMobile",
         [](sim::Device& d) {
             fixture::InstallReader(d);
             AddMenuCopy(d);
             d.Put({RemovalPath});
         },
         shell, u"uninstall", "", u"PocketPC", fixture::WindowsMobile, true},
        {"RemovalWindowsMobileNotInstalled",
         [](sim::Device& d) {
             AddReader(d, Older);
             AddMenuCopy(d);
             d.Put({RemovalPath});
         },
         shell, u"uninstall", unload, u"PocketPC", fixture::WindowsMobile},
    };
}

std::vector<sim::Op> FailableOps() {
    std::vector<sim::Op> ops;
    for (std::size_t i = 0; i < sim::OpCount; ++i) {
        if (sim::Failable(static_cast<sim::Op>(i))) {
            ops.push_back(static_cast<sim::Op>(i));
        }
    }
    return ops;
}

std::vector<std::set<sim::Op>> FaultSets() {
    const std::vector<sim::Op> ops = FailableOps();
    std::vector<std::set<sim::Op>> sets = {{}};
    for (std::size_t i = 0; i < ops.size(); ++i) {
        sets.push_back({ops[i]});
    }
    for (std::size_t i = 0; i < ops.size(); ++i) {
        for (std::size_t j = i + 1; j < ops.size(); ++j) {
            sets.push_back({ops[i], ops[j]});
        }
    }
    return sets;
}

std::string Describe(const std::set<sim::Op>& faults) {
    std::string text = "failing:";
    for (sim::Op op : faults) {
        text += std::string(" ") + sim::NameOf(op);
    }
    return text;
}

std::unique_ptr<sim::Device> RunFlow(const Flow& flow, const std::set<sim::Op>& faults,
                                     sim::Launcher& launcher, sim::Content image,
                                     const sim::Config& kind) {
    // The flow's kind of device, on the processor of the kind given (the
    // machine of the image that runs).
    sim::Config flowKind = flow.kind != nullptr ? flow.kind() : kind;
    flowKind.processor = kind.processor;
    flowKind.platformType = flow.platform;
    auto device = std::make_unique<sim::Device>(std::move(flowKind), &launcher);
    flow.build(*device);
    // The running program's own file.
    device->Put({flow.path, 0, sim::DefaultEntryTime, std::move(image)});
    fixture::Failing(*device, faults);
    invariants::Snapshot before = invariants::Take(*device, fixture::Title);
    EXPECT_EQ(device->Run(flow.path, flow.args), 0);
    for (const std::string& broken : invariants::CheckRun(*device, before)) {
        ADD_FAILURE() << broken;
    }
    return device;
}

} // namespace sweep
