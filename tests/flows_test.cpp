// The three flows run whole on the simulated device, and one card's life.
#include "autorun/autorun.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <ostream>

using fixture::AddCard;
using fixture::AddFile;
using fixture::AddReader;
using fixture::CountOf;
using fixture::EventsOf;
using fixture::Launched;
using fixture::MenuCopy;
using fixture::U8;

namespace {

const std::u16string Package = u"\\Storage Card\\2577\\Reader.cab";
constexpr sim::Ticks PackageTime = sim::DefaultEntryTime + 1000;

// A device with the program copied to \Windows, as the shell leaves it when a
// card goes in, and a card that holds the package unless told otherwise.
void Prepare(sim::Device& device, bool withPackage = true) {
    AddFile(device, RemovalPath);
    AddCard(device, u"Storage Card");
    AddFile(device, fixture::CardProgram);
    if (withPackage) {
        fixture::AddPackage(device, Package, PackageTime);
    }
}

int RunInstall(sim::Device& device) {
    return device.Run(RemovalPath, InstallArgument);
}

// The run mode the program chooses when it runs from path with a command
// line (asked of the program on a device of its own).
RunMode ModeFor(const std::u16string& path, const std::u16string& args) {
    sim::Device scratch = fixture::NewDevice();
    sim::Device::Use use(scratch, fixture::ProgramAt(path));
    return DetermineRunMode(runner::NativeProgram::Instance, args.c_str());
}

std::vector<std::string> Paths(const sim::Device& device) {
    std::vector<std::string> paths;
    for (const sim::Entry& entry : fixture::Entries(device)) {
        paths.push_back(U8(entry.path));
    }
    return paths;
}

// What the program did to the device, in order, from event `from` on.
std::vector<std::string> Actions(const sim::Device& device, std::size_t from = 0) {
    std::vector<std::string> actions;
    for (std::size_t i = from; i < device.Events().size(); ++i) {
        const sim::Event& event = device.Events()[i];
        if (event.kind == sim::EventKind::Launch || event.kind == sim::EventKind::Copy ||
            event.kind == sim::EventKind::Delete || event.kind == sim::EventKind::KeyDelete ||
            event.kind == sim::EventKind::MessageBox) {
            actions.push_back(event.Name());
        }
    }
    return actions;
}

void ExpectOnlyTheErrorBox(const sim::Device& device) {
    auto boxes = EventsOf<sim::ev::MessageBox>(device);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Unable to find the .CAB setup program. Exiting", U8(boxes[0].text));
    EXPECT_EQ("Fatal Error", U8(boxes[0].caption));
    EXPECT_TRUE(Launched(device).empty());
    EXPECT_EQ(0, CountOf(device, sim::EventKind::Copy));
    EXPECT_EQ(0, CountOf(device, sim::EventKind::Delete));
}

struct Install {
    const char* what;
    bool reader;
    long long readerOffset; // reader's time minus the package's, in ticks
    bool opensPackage;
};

std::ostream& operator<<(std::ostream& out, const Install& install) {
    return out << install.what;
}

class InstallFlow : public testing::TestWithParam<Install> {};

TEST_P(InstallFlow, OpensThePackageUnlessTheReaderIsAsNew) {
    const Install& c = GetParam();
    sim::Device device = fixture::NewDevice();
    Prepare(device);
    if (c.reader) {
        AddReader(device, PackageTime + c.readerOffset);
    }

    EXPECT_EQ(0, RunInstall(device));

    EXPECT_EQ(RunMode::Install, ModeFor(RemovalPath, InstallArgument));
    EXPECT_EQ((std::vector<std::string>{"copy", "launch"}), Actions(device));
    auto copies = EventsOf<sim::ev::Copy>(device);
    ASSERT_EQ(1u, copies.size());
    EXPECT_EQ(U8(MenuCopy), U8(copies[0].to));
    EXPECT_NE(nullptr, device.Files().Find(MenuCopy));

    auto launches = EventsOf<sim::ev::Launch>(device);
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(U8(c.opensPackage ? Package : ReaderPath), U8(launches[0].file));
    EXPECT_EQ("", U8(launches[0].args));
    EXPECT_EQ(c.opensPackage ? 1 : 0, CountOf(device, sim::EventKind::Installed));
    EXPECT_EQ(0, CountOf(device, sim::EventKind::MessageBox));
    EXPECT_TRUE(device.Violations().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Times, InstallFlow,
    testing::Values(Install{"no reader", false, 0, true},
                    Install{"package newer by one tick", true, -1, true},
                    Install{"equal times", true, 0, false},
                    Install{"reader newer by one tick", true, 1, false},
                    Install{"package older by years", true, 1000000000000000LL, false},
                    // The halves of a FILETIME are not compared separately.
                    Install{"package newer in the high half only", true, -(1LL << 32) + 1, true}));

TEST(InstallFlow, NoPackageShowsTheErrorAndDoesNothingElse) {
    for (bool reader : {false, true}) {
        SCOPED_TRACE(reader ? "reader installed" : "no reader");
        sim::Device device = fixture::NewDevice();
        Prepare(device, false);
        AddFile(device, u"\\Storage Card\\wince\\arm\\Reader.cab"); // not for a Pocket PC
        if (reader) {
            AddReader(device, PackageTime);
        }
        const std::vector<std::string> before = Paths(device);

        EXPECT_EQ(0, RunInstall(device));

        EXPECT_EQ(RunMode::Install, ModeFor(RemovalPath, InstallArgument));
        ExpectOnlyTheErrorBox(device);
        EXPECT_EQ(before, Paths(device));
    }
}

TEST(LaunchFlow, StartsTheInstalledReader) {
    sim::Device device = fixture::NewDevice();
    Prepare(device);
    AddReader(device, PackageTime - 1); // older than the package: not Launch's concern
    AddFile(device, MenuCopy);

    EXPECT_EQ(0, device.Run(MenuCopy, u""));

    EXPECT_EQ(RunMode::Launch, ModeFor(MenuCopy, u""));
    EXPECT_EQ(std::vector<std::string>{U8(ReaderPath)}, Launched(device));
    EXPECT_EQ(0, CountOf(device, sim::EventKind::Copy));
    EXPECT_EQ(0, CountOf(device, sim::EventKind::Delete));
    EXPECT_EQ(0, CountOf(device, sim::EventKind::MessageBox));
}

// Started from the menu copy with no reader installed, the program installs
// it as a card insertion would, without touching the copy it runs from.
TEST(LaunchFlow, WithoutReaderInstallsFromTheCard) {
    sim::Device device = fixture::NewDevice();
    Prepare(device);
    AddFile(device, MenuCopy);

    EXPECT_EQ(0, device.Run(MenuCopy, u""));

    EXPECT_EQ(RunMode::Launch, ModeFor(MenuCopy, u""));
    EXPECT_EQ(std::vector<std::string>{U8(Package)}, Launched(device));
    EXPECT_EQ(1, CountOf(device, sim::EventKind::Installed));
    EXPECT_EQ(0, CountOf(device, sim::EventKind::Copy));
    EXPECT_EQ(0, CountOf(device, sim::EventKind::Delete));
    EXPECT_EQ(0, CountOf(device, sim::EventKind::MessageBox));
    EXPECT_TRUE(device.Violations().empty());
}

TEST(LaunchFlow, WithoutReaderOrPackageShowsTheError) {
    sim::Device device = fixture::NewDevice();
    Prepare(device, false);
    AddFile(device, MenuCopy);

    EXPECT_EQ(0, device.Run(MenuCopy, u""));

    EXPECT_EQ(RunMode::Launch, ModeFor(MenuCopy, u""));
    ExpectOnlyTheErrorBox(device);
}

TEST(RemovalFlow, UninstallsDeletesTheCopyAndWaitsForTheKey) {
    sim::Device device = fixture::NewDevice();
    Prepare(device);
    // The reader and the menu copy, as the card's package and the program
    // put them there.
    EXPECT_EQ(0, RunInstall(device));
    ASSERT_NE(nullptr, device.Files().Find(ReaderPath));
    ASSERT_NE(nullptr, device.Files().Find(MenuCopy));
    const std::size_t removal = device.Events().size();

    EXPECT_EQ(0, device.Run(RemovalPath, u"uninstall"));

    EXPECT_EQ(RunMode::Removal, ModeFor(RemovalPath, u"uninstall"));
    EXPECT_EQ((std::vector<std::string>{"launch", "delete", "key-delete", "key-delete",
                                        "key-delete", "key-delete"}),
              Actions(device, removal));
    auto launches = EventsOf<sim::ev::Launch>(device);
    ASSERT_EQ(2u, launches.size());
    EXPECT_EQ(U8(UninstallerPath), U8(launches[1].file));
    EXPECT_EQ(U8(AppName), U8(launches[1].args));
    EXPECT_EQ(nullptr, device.Files().Find(MenuCopy));

    // The uninstaller holds the key for 2.5 s, then removes it itself: three
    // refused attempts, and the fourth finds it gone and ends the loop.
    auto attempts = EventsOf<sim::ev::KeyDelete>(device);
    ASSERT_EQ(4u, attempts.size());
    EXPECT_EQ(platform::ErrorAccessDenied, attempts[2].result);
    EXPECT_EQ(platform::ErrorFileNotFound, attempts[3].result);
    EXPECT_EQ(3, CountOf(device, sim::EventKind::Sleep));
    ASSERT_EQ(sim::EventKind::Exit, device.Events().back().kind);
    EXPECT_EQ(3000u, device.Events().back().t);
    EXPECT_FALSE(device.Keys().Has(fixture::AppKey));
    EXPECT_EQ(nullptr, device.Files().Find(ReaderPath));
    EXPECT_TRUE(device.Violations().empty());
}

// --- One card's life ----------------------------------------------------------

struct State {
    std::vector<sim::Entry> entries;
    std::vector<std::u16string> keys;
};

State StateOf(const sim::Device& device) {
    return {fixture::Entries(device), device.Keys().Keys()};
}

bool IsProgramsFolderOrAbove(const std::u16string& path) {
    std::u16string programs = fixture::ProgramsFolder;
    return programs.compare(0, path.size(), path) == 0 &&
           (path.size() == programs.size() || programs[path.size()] == u'\\');
}

TEST(CardLife, InsertMenuRemoveLeavesTheDeviceAsItWas) {
    sim::Device device = fixture::NewDevice();
    AddFile(device, u"\\My Documents\\notes.txt");
    device.PutKey(u"SOFTWARE\\Apps\\Other App");
    const State before = StateOf(device);

    // The card comes in.
    AddCard(device, u"Storage Card");
    AddFile(device, fixture::CardProgram);
    fixture::AddPackage(device, Package, PackageTime);
    fixture::AddPackage(device, u"\\Storage Card\\wince\\arm\\Reader.cab", PackageTime);

    device.Insert();
    EXPECT_EQ(1, CountOf(device, sim::EventKind::Installed));
    EXPECT_NE(nullptr, device.Files().Find(ReaderPath));
    EXPECT_NE(nullptr, device.Files().Find(MenuCopy));
    EXPECT_TRUE(device.Keys().Has(fixture::AppKey));

    device.Tap(MenuCopy);
    EXPECT_EQ(U8(ReaderPath), Launched(device).back());

    device.Remove();
    EXPECT_EQ(1, CountOf(device, sim::EventKind::Uninstalled));

    std::vector<std::string> starts;
    for (const sim::ev::Start& start : EventsOf<sim::ev::Start>(device)) {
        starts.push_back(U8(start.path) + " " + U8(start.args));
    }
    EXPECT_EQ((std::vector<std::string>{U8(RemovalPath) + " install", U8(MenuCopy) + " ",
                                        U8(RemovalPath) + " uninstall"}),
              starts);
    for (const sim::ev::Exit& exit : EventsOf<sim::ev::Exit>(device)) {
        EXPECT_EQ(0, exit.code);
    }
    EXPECT_EQ(0, CountOf(device, sim::EventKind::MessageBox));
    EXPECT_TRUE(device.Violations().empty());

    // What is left: the device as it was, the program in \Windows and the
    // (empty) Programs folder.
    EXPECT_EQ(before.keys, device.Keys().Keys());
    std::vector<sim::Entry> extra;
    for (const sim::Entry& entry : fixture::Entries(device)) {
        bool known = false;
        for (const sim::Entry& old : before.entries) {
            if (old.path == entry.path) {
                known = true;
                EXPECT_EQ(old.attributes, entry.attributes) << U8(entry.path);
                EXPECT_EQ(old.time, entry.time) << U8(entry.path);
            }
        }
        if (!known) {
            extra.push_back(entry);
        }
    }
    for (const sim::Entry& old : before.entries) {
        EXPECT_NE(nullptr, device.Files().Find(old.path)) << U8(old.path) << " is gone";
    }
    for (const sim::Entry& entry : extra) {
        bool allowed =
            entry.path == std::u16string(RemovalPath) ||
            (IsProgramsFolderOrAbove(entry.path) && (entry.attributes & sim::AttrDirectory) != 0);
        EXPECT_TRUE(allowed) << U8(entry.path) << " was left behind";
    }
    EXPECT_TRUE(device.Files().Children(fixture::ProgramsFolder).empty());
}

TEST(CardLife, ReinsertionStartsTheInstalledReader) {
    sim::Device device = fixture::NewDevice();
    AddCard(device, u"Storage Card");
    AddFile(device, fixture::CardProgram);
    fixture::AddPackage(device, Package, PackageTime, sim::AttrReadOnly);

    device.Insert();
    device.Insert(); // the reader is now newer than the package

    EXPECT_EQ((std::vector<std::string>{U8(Package), U8(ReaderPath)}), Launched(device));
    EXPECT_EQ(1, CountOf(device, sim::EventKind::Installed));
    EXPECT_EQ(4, CountOf(device,
                         sim::EventKind::Copy)); // each insertion: the program, then its menu copy
}

} // namespace
