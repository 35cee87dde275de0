// The run-mode choice: command line, own path and product title.
#include "autorun/autorun.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>

using fixture::CardProgram;
using fixture::MenuCopy;

namespace {

struct Start {
    const char* what;
    std::u16string path;
    std::u16string args;
    RunMode expected;
    std::u16string title = fixture::Title;
    std::set<sim::Op> failing = {}; // operations that fail on every call
};

std::ostream& operator<<(std::ostream& out, const Start& start) {
    return out << start.what;
}

RunMode Choose(const Start& start) {
    sim::Device device = fixture::NewDevice();
    fixture::Failing(device, start.failing);
    std::u16string args = start.args;
    RunMode mode;
    {
        sim::Device::Use use(device, fixture::ProgramAt(start.path, start.title));
        mode = DetermineRunMode(runner::NativeProgram::Instance, args.c_str());
    }
    EXPECT_TRUE(device.Violations().empty());
    return mode;
}

class RunModeChoice : public testing::TestWithParam<Start> {};

TEST_P(RunModeChoice, FollowsHowTheProgramWasStarted) {
    EXPECT_EQ(GetParam().expected, Choose(GetParam()));
}

const std::u16string Removal = RemovalPath;

INSTANTIATE_TEST_SUITE_P(
    CommandLine, RunModeChoice,
    testing::Values(Start{"install from the card", CardProgram, u"install", RunMode::Install},
                    Start{"install as the removal path", Removal, u"install", RunMode::Install},
                    Start{"install as the menu copy", MenuCopy, u"install", RunMode::Install},
                    Start{"INSTALL in capitals", Removal, u"INSTALL", RunMode::Install},
                    Start{"Install capitalised", Removal, u"Install", RunMode::Install},
                    Start{"install with a trailing space", Removal, u"install ", RunMode::Removal},
                    Start{"installer", Removal, u"installer", RunMode::Removal}));

INSTANTIATE_TEST_SUITE_P(
    OwnPath, RunModeChoice,
    testing::Values(
        Start{"removal path, uninstall", Removal, u"uninstall", RunMode::Removal},
        Start{"removal path, empty command line", Removal, u"", RunMode::Removal},
        Start{"removal path in capitals", u"\\WINDOWS\\AUTORUN.EXE", u"", RunMode::Removal},
        Start{"removal path in mixed case", u"\\windows\\Autorun.Exe", u"x", RunMode::Removal},
        Start{"a longer path than the removal path", u"\\Windows\\autorun.exe.old", u"",
              RunMode::Install},
        Start{"started by hand from the card", CardProgram, u"", RunMode::Install},
        Start{"the menu copy", MenuCopy, u"", RunMode::Launch},
        Start{"title as a folder name", u"\\Storage Card\\Dorna & Kel\\autorun.exe", u"",
              RunMode::Launch},
        Start{"title inside a file name", u"\\My Documents\\old Dorna & Kel copy.exe", u"run",
              RunMode::Launch},
        Start{"title in another case", u"\\Windows\\Start Menu\\Programs\\dorna & kel.exe", u"",
              RunMode::Install},
        Start{"part of the title", u"\\Windows\\Start Menu\\Programs\\Dorna & Ke.exe", u"",
              RunMode::Install}));

// A title that cannot be had names nothing, and a path that cannot be had is
// neither the removal path nor the menu copy.
INSTANTIATE_TEST_SUITE_P(
    Missing, RunModeChoice,
    testing::Values(
        Start{"empty title, started from the card", CardProgram, u"", RunMode::Install, u""},
        Start{"empty title, started as the menu copy", MenuCopy, u"", RunMode::Install, u""},
        Start{"title not loadable",
              MenuCopy,
              u"",
              RunMode::Install,
              fixture::Title,
              {sim::Op::LoadStringW}},
        Start{"own path not obtainable",
              Removal,
              u"",
              RunMode::Install,
              fixture::Title,
              {sim::Op::GetModuleFileNameW}},
        Start{"own path of 259 units", u"\\Dorna & Kel\\" + std::u16string(242, u'a') + u".exe",
              u"", RunMode::Launch},
        Start{"own path too long for the buffer",
              u"\\Dorna & Kel\\" + std::u16string(300, u'a') + u".exe", u"", RunMode::Install},
        Start{"own path not obtainable, install",
              Removal,
              u"install",
              RunMode::Install,
              fixture::Title,
              {sim::Op::GetModuleFileNameW}}));

TEST(RunModeChoice, NoCommandLineIsNotInstall) {
    sim::Device device = fixture::NewDevice();
    sim::Device::Use use(device, fixture::ProgramAt(RemovalPath));
    EXPECT_EQ(RunMode::Removal, DetermineRunMode(runner::NativeProgram::Instance, nullptr));
}

} // namespace
