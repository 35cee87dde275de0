// Every flow of the program run with each failable platform operation failing,
// and with every pair of them failing. Whatever fails, the program exits with
// 0, starts only what it may, and touches nothing but its menu copy.
#include "autorun/constants.h"
#include "platform/sim/device.h"
#include "tests/invariants.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr sim::Ticks Older = sim::DefaultEntryTime;
constexpr sim::Ticks Newer = sim::DefaultEntryTime + sim::TicksPerSecond;

const std::u16string MenuCopy = std::u16string(sim::ProgramsFolder) + u"\\Dorna & Kel.exe";

struct Flow {
    const char* name;
    std::function<void(sim::Device&)> build;
    std::u16string path;
    std::u16string args;
    // What the flow does when nothing fails: the file it starts (empty: the
    // error box), to show the flow is really taken.
    std::string expectedLaunch;
};

// Shown by name in test output (the default would print the raw bytes).
void PrintTo(const Flow& flow, std::ostream* out) {
    *out << flow.name;
}

void AddCard(sim::Device& device, const std::u16string& card) {
    device.AddEntry({card, sim::AttrDirectory | sim::AttrTemporary});
    device.AddEntry({card + u"\\2577\\autorun.exe"});
}

void AddPackage(sim::Device& device, sim::Ticks time) {
    // A card without a package comes first: the search must go on past it.
    AddCard(device, u"\\Empty Card");
    AddCard(device, u"\\Storage Card");
    device.AddEntry({u"\\Storage Card\\2577\\Reader.cab", 0, time});
    device.AddEntry({u"\\Storage Card\\wince\\arm\\Reader.cab", 0, time});
}

void AddReader(sim::Device& device, sim::Ticks time) {
    device.AddEntry({ReaderPath, sim::AttrArchive, time});
    device.AddKey(std::u16string(sim::AppsKeyPath) + u"\\" + AppName);
}

void AddMenuCopy(sim::Device& device) {
    device.AddEntry({sim::ProgramsFolder, sim::AttrDirectory});
    device.AddEntry({MenuCopy});
}

const std::string Reader = sim::Utf8(ReaderPath);
const std::string Package = "\\Storage Card\\2577\\Reader.cab";
const std::string Unload = sim::Utf8(UninstallerPath);

std::vector<Flow> Flows() {
    const std::u16string shell = RemovalPath;
    return {
        {"InstallNoReaderNoPackage", [](sim::Device&) {}, shell, u"install", ""},
        {"InstallReaderNoPackage", [](sim::Device& d) { AddReader(d, Older); }, shell, u"install",
         ""},
        {"InstallNoReaderPackage", [](sim::Device& d) { AddPackage(d, Older); }, shell, u"install",
         Package},
        {"InstallCurrentReaderPackage",
         [](sim::Device& d) {
             AddReader(d, Newer);
             AddPackage(d, Older);
             AddMenuCopy(d);
         },
         shell, u"install", Reader},
        {"InstallOldReaderPackage",
         [](sim::Device& d) {
             AddReader(d, Older);
             AddPackage(d, Newer);
         },
         shell, u"install", Package},
        {"InstallOtherPlatform",
         [](sim::Device& d) {
             d.platformType = u"Jupiter";
             AddPackage(d, Older);
         },
         shell, u"install", "\\Storage Card\\wince\\arm\\Reader.cab"},
        {"LaunchReader",
         [](sim::Device& d) {
             AddReader(d, Older);
             AddPackage(d, Newer);
             AddMenuCopy(d);
         },
         MenuCopy, u"", Reader},
        {"LaunchNoReaderPackage",
         [](sim::Device& d) {
             AddPackage(d, Older);
             AddMenuCopy(d);
         },
         MenuCopy, u"", Package},
        {"LaunchNoReaderNoPackage", [](sim::Device& d) { AddMenuCopy(d); }, MenuCopy, u"", ""},
        {"RemovalWithKey",
         [](sim::Device& d) {
             AddReader(d, Older);
             AddMenuCopy(d);
             d.AddEntry({RemovalPath});
         },
         shell, u"uninstall", Unload},
        {"RemovalKeyGone",
         [](sim::Device& d) {
             AddMenuCopy(d);
             d.AddEntry({RemovalPath});
         },
         shell, u"uninstall", Unload},
        {"RemovalNoAppsKey",
         [](sim::Device& d) {
             d.ClearRegistry();
             d.AddKey(u"SOFTWARE\\Other");
             AddMenuCopy(d);
             d.AddEntry({RemovalPath});
         },
         shell, u"", Unload},
    };
}

// No fault, each single fault, and each pair.
std::vector<std::set<std::string>> FaultSets() {
    const std::vector<std::string>& ops = sim::FailableOperations();
    std::vector<std::set<std::string>> sets = {{}};
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

std::string Describe(const std::set<std::string>& faults) {
    std::string text = "failing:";
    for (const std::string& op : faults) {
        text += " " + op;
    }
    return text;
}

int totalRuns = 0;

class FaultSweep : public testing::TestWithParam<Flow> {};

TEST_P(FaultSweep, EveryFaultAndPairKeepsTheInvariants) {
    const Flow& flow = GetParam();
    for (const std::set<std::string>& faults : FaultSets()) {
        SCOPED_TRACE(Describe(faults));
        sim::Device device;
        flow.build(device);
        device.AddEntry({flow.path}); // the running program's own file
        device.failing = faults;
        invariants::Snapshot before = invariants::Take(device);

        EXPECT_EQ(device.Run(flow.path, flow.args), 0);
        ++totalRuns;
        for (const std::string& broken : invariants::CheckRun(device, before)) {
            ADD_FAILURE() << broken;
        }

        if (faults.empty()) {
            // The flow does what it is named for, so the faults above hit a
            // flow that really runs.
            std::vector<std::string> launched;
            int boxes = 0;
            for (const sim::Event& e : device.Events()) {
                if (e.event == "launch") {
                    launched.push_back(e.Text("file"));
                }
                boxes += e.event == "message-box";
            }
            if (flow.expectedLaunch.empty()) {
                EXPECT_TRUE(launched.empty());
                EXPECT_EQ(boxes, 1);
            } else {
                ASSERT_FALSE(launched.empty());
                EXPECT_EQ(launched[0], flow.expectedLaunch);
                EXPECT_EQ(boxes, 0);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Flows, FaultSweep, testing::ValuesIn(Flows()),
                         [](const testing::TestParamInfo<Flow>& info) {
                             return std::string(info.param.name);
                         });

// The sweep reports how many runs it made; with all flows run it is the full
// cross product.
class SweepCount : public testing::Environment {
  public:
    void TearDown() override {
        if (totalRuns > 0) {
            std::printf("fault sweep: %d runs\n", totalRuns);
        }
    }
};
const testing::Environment* const sweepCount = testing::AddGlobalTestEnvironment(new SweepCount);

// The checker itself catches what it is for: a device changed behind the
// program's back and a stray launch are reported.
TEST(Invariants, ReportStrayChangesAndLaunches) {
    sim::Device device;
    AddPackage(device, Older);
    invariants::Snapshot before = invariants::Take(device);
    device.Run(RemovalPath, u"install");
    EXPECT_TRUE(invariants::CheckRun(device, before).empty());

    device.AddEntry({u"\\Storage Card\\stray.txt"});
    device.Emit("launch",
                {{"file", sim::TextValue("\\Windows\\cmd.exe")}, {"args", sim::TextValue("")}});
    std::vector<std::string> broken = invariants::CheckRun(device, before);
    ASSERT_EQ(broken.size(), 2u);
    EXPECT_NE(broken[0].find("cmd.exe"), std::string::npos);
    EXPECT_NE(broken[1].find("stray.txt"), std::string::npos);
}

} // namespace
