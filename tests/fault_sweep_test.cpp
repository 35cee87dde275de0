// Every flow of the program run with each failable platform operation failing,
// and with every pair of them failing. Whatever fails, the program exits with
// 0, starts only what it may, and touches nothing but its menu copy.
#include "autorun/constants.h"
#include "device/device.h"
#include "tests/device_fixture.h"
#include "tests/invariants.h"
#include "tests/sweep_flows.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using sweep::FailableOps;
using sweep::FaultSets;
using sweep::Flow;
using sweep::Flows;

std::unique_ptr<sim::Device> RunFlow(const Flow& flow, const std::set<sim::Op>& faults) {
    return sweep::RunFlow(flow, faults, fixture::Native());
}

int totalRuns = 0;

class FaultSweep : public testing::TestWithParam<Flow> {};

TEST_P(FaultSweep, EveryFaultAndPairKeepsTheInvariants) {
    const Flow& flow = GetParam();
    for (const std::set<sim::Op>& faults : FaultSets()) {
        SCOPED_TRACE(sweep::Describe(faults));
        const std::unique_ptr<sim::Device> run = RunFlow(flow, faults);
        const sim::Device& device = *run;
        ++totalRuns;

        if (faults.empty()) {
            // The flow does what it is named for, so the faults above hit a
            // flow that really runs.
            std::vector<std::string> launched;
            int boxes = 0;
            std::vector<sim::Number> configured;
            for (const sim::Event& e : device.Events()) {
                if (const auto* launch = e.As<sim::ev::Launch>()) {
                    launched.push_back(sim::Utf8(launch->file));
                }
                if (const auto* configure = e.As<sim::ev::Configure>()) {
                    configured.push_back(configure->result);
                }
                boxes += e.kind == sim::EventKind::MessageBox;
            }
            if (flow.configures) {
                EXPECT_EQ(configured, std::vector<sim::Number>{platform::SOk});
                EXPECT_TRUE(launched.empty());
                EXPECT_EQ(boxes, 0);
            } else if (flow.expectedLaunch.empty()) {
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

// A program that loads aygshell.dll twice and hands the Configuration Manager
// a document twice, freeing the library once: more than a run of autorun may.
class GreedyProgram : public sim::Launcher {
  public:
    sim::Outcome Run(sim::Device& device, const std::u16string& path, const sim::Entry*,
                     const std::u16string&) override {
        sim::Device::Use use(device, fixture::ProgramAt(path));
        const platform::HMODULE library = platform::LoadLibraryW(u"aygshell.dll");
        platform::LoadLibraryW(u"aygshell.dll");
        auto process = reinterpret_cast<platform::DMProcessConfigXMLProc>(
            platform::GetProcAddressW(library, u"DMProcessConfigXML"));
        char16_t* output = nullptr;
        process(UninstallDocument, platform::CfgflagProcess, &output);
        process(UninstallDocument, platform::CfgflagProcess, &output);
        platform::FreeLibrary(library);
        return sim::Outcome();
    }
};

// The checker itself catches what it is for: a device changed behind the
// program's back, a stray launch, and more libraries and configuration calls
// than a run may make are reported; a run of the program is not.
TEST(Invariants, ReportStrayChangesAndLaunches) {
    sim::Device device = fixture::NewDevice();
    sweep::AddPackage(device, sim::DefaultEntryTime);
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

    GreedyProgram greedy;
    sim::Device greedyDevice(fixture::WindowsMobile(), &greedy);
    before = invariants::Take(greedyDevice, fixture::Title);
    greedyDevice.Run(RemovalPath, u"uninstall");
    broken = invariants::CheckRun(greedyDevice, before);
    const std::vector<std::string> want = {"2 libraries loaded and 1 calls to free one",
                                           "2 calls of the Configuration Manager",
                                           "platform misuse: a library was left loaded"};
    EXPECT_EQ(want, broken);
}

} // namespace
