// Every flow of the program run with each failable platform operation failing,
// and with every pair of them failing. Whatever fails, the program exits with
// 0, starts only what it may, and touches nothing but its menu copy.
#include "autorun/constants.h"
#include "device/device.h"
#include "tests/device_fixture.h"
#include "tests/invariants.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr sim::Ticks Older = sim::DefaultEntryTime;
constexpr sim::Ticks Newer = sim::DefaultEntryTime + sim::TicksPerSecond;

const std::u16string MenuCopy = std::u16string(fixture::ProgramsFolder) + u"\\Dorna & Kel.exe";

struct Flow {
    const char* name;
    std::function<void(sim::Device&)> build;
    std::u16string path;
    std::u16string args;
    // What the flow does when nothing fails: the file it starts (empty: the
    // error box), to show the flow is really taken.
    std::string expectedLaunch;
    std::u16string platform = u"PocketPC";
};

// Shown by name in test output (the default would print the raw bytes).
void PrintTo(const Flow& flow, std::ostream* out) {
    *out << flow.name;
}

void AddCard(sim::Device& device, const std::u16string& card) {
    device.Put({card, sim::AttrDirectory | sim::AttrTemporary});
    device.Put({card + u"\\2577\\autorun.exe"});
}

void AddPackage(sim::Device& device, sim::Ticks time) {
    // A card without a package comes first: the search must go on past it.
    AddCard(device, u"\\Empty Card");
    AddCard(device, u"\\Storage Card");
    device.Put({u"\\Storage Card\\2577\\Reader.cab", 0, time});
    device.Put({u"\\Storage Card\\wince\\arm\\Reader.cab", 0, time});
}

using fixture::AddReader;

void AddMenuCopy(sim::Device& device) {
    device.Put({fixture::ProgramsFolder, sim::AttrDirectory});
    device.Put({MenuCopy});
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
        {"InstallOtherPlatform", [](sim::Device& d) { AddPackage(d, Older); }, shell, u"install",
         "\\Storage Card\\wince\\arm\\Reader.cab", u"Jupiter"},
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
             d.Put({RemovalPath});
         },
         shell, u"uninstall", Unload},
        {"RemovalKeyGone",
         [](sim::Device& d) {
             AddMenuCopy(d);
             d.Put({RemovalPath});
         },
         shell, u"uninstall", Unload},
        {"RemovalNoAppsKey",
         [](sim::Device& d) {
             d.ClearRegistry();
             d.PutKey(u"SOFTWARE\\Other");
             AddMenuCopy(d);
             d.Put({RemovalPath});
         },
         shell, u"", Unload},
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

// No fault, each single fault, and each pair.
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

// Runs a flow on a fresh device with the given operations failing.
std::unique_ptr<sim::Device> RunFlow(const Flow& flow, const std::set<sim::Op>& faults) {
    static const sim::Config base = fixture::Kind();
    sim::Config kind = base;
    kind.platformType = flow.platform;
    auto device = std::make_unique<sim::Device>(std::move(kind), &fixture::Native());
    flow.build(*device);
    device->Put({flow.path}); // the running program's own file
    fixture::Failing(*device, faults);
    invariants::Snapshot before = invariants::Take(*device, fixture::Title);
    EXPECT_EQ(device->Run(flow.path, flow.args), 0);
    for (const std::string& broken : invariants::CheckRun(*device, before)) {
        ADD_FAILURE() << broken;
    }
    return device;
}

int totalRuns = 0;

class FaultSweep : public testing::TestWithParam<Flow> {};

TEST_P(FaultSweep, EveryFaultAndPairKeepsTheInvariants) {
    const Flow& flow = GetParam();
    for (const std::set<sim::Op>& faults : FaultSets()) {
        SCOPED_TRACE(Describe(faults));
        const std::unique_ptr<sim::Device> run = RunFlow(flow, faults);
        const sim::Device& device = *run;
        ++totalRuns;

        if (faults.empty()) {
            // The flow does what it is named for, so the faults above hit a
            // flow that really runs.
            std::vector<std::string> launched;
            int boxes = 0;
            for (const sim::Event& e : device.Events()) {
                if (e.kind == sim::EventKind::Launch) {
                    launched.push_back(e.Text("file"));
                }
                boxes += e.kind == sim::EventKind::MessageBox;
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

// A fault only tests something if the operation is called and made to fail:
// each failable operation must fail in at least one flow.
TEST(FaultSweep, EachFaultFailsACallInSomeFlow) {
    for (sim::Op op : FailableOps()) {
        int failures = 0;
        for (const Flow& flow : Flows()) {
            failures += RunFlow(flow, {op})->Faults().FailuresOf(op);
        }
        EXPECT_GT(failures, 0) << sim::NameOf(op) << " never failed";
    }
}

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

// A program that starts \Windows\cmd.exe, which no run of autorun may.
class StrayProgram : public sim::Launcher {
  public:
    sim::Outcome Run(sim::Device& device, const std::u16string& path, const sim::Entry*,
                     const std::u16string&) override {
        sim::Device::Use use(device, fixture::ProgramAt(path));
        platform::SHELLEXECUTEINFO info = {};
        info.cbSize = platform::ShellExecuteInfoSize;
        info.lpFile = u"\\Windows\\cmd.exe";
        info.lpParameters = u"";
        platform::ShellExecuteEx(&info);
        return sim::Outcome();
    }
};

// The checker itself catches what it is for: a device changed behind the
// program's back and a stray launch are reported; a run of the program is
// not.
TEST(Invariants, ReportStrayChangesAndLaunches) {
    sim::Device device = fixture::NewDevice();
    AddPackage(device, Older);
    invariants::Snapshot before = invariants::Take(device, fixture::Title);
    device.Run(RemovalPath, u"install");
    EXPECT_TRUE(invariants::CheckRun(device, before).empty());

    StrayProgram stray;
    sim::Device other(fixture::Kind(), &stray);
    other.Put({u"\\Windows\\cmd.exe"});
    before = invariants::Take(other, fixture::Title);
    other.Put({u"\\Windows\\stray.txt"});
    other.Run(RemovalPath, u"install");
    std::vector<std::string> broken = invariants::CheckRun(other, before);
    ASSERT_EQ(broken.size(), 2u);
    EXPECT_NE(broken[0].find("cmd.exe"), std::string::npos);
    EXPECT_NE(broken[1].find("stray.txt"), std::string::npos);
}

} // namespace
