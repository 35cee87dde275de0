// What the program does to the device: starting programs, the Programs-menu
// copy, and deleting the application key.
#include "autorun/autorun.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <set>

using fixture::AddFile;
using fixture::CountOf;
using fixture::EventsOf;
using fixture::MenuCopy;
using fixture::U8;

namespace {

constexpr platform::HINSTANCE Instance = runner::NativeProgram::Instance;
const std::u16string OwnPath = RemovalPath;

void SetMenuEntry(sim::Device& device, bool present, const std::u16string& ownPath = OwnPath,
                  const std::u16string& title = fixture::Title) {
    sim::Device::Use use(device, fixture::ProgramAt(ownPath, title));
    SetProgramsMenuEntry(Instance, platform::CsidlPrograms, present);
}

void RemoveRegistration(sim::Device& device) {
    sim::Device::Use use(device, fixture::ProgramAt());
    RemoveAppRegistration();
}

// The program in \Windows, as a card insertion leaves it.
void AddProgram(sim::Device& device) {
    AddFile(device, OwnPath, sim::DefaultEntryTime + 7);
}

// The first `count` deletions of the application key fail with access denied.
void KeyResists(sim::Device& device, std::uint32_t count) {
    sim::FaultRule rule;
    rule.op = sim::Op::RegDeleteKeyW;
    rule.match = u"*\\" + std::u16string(AppName);
    rule.count = count;
    rule.error = platform::ErrorAccessDenied;
    device.AddFault(rule);
}

bool AnyEntryNamedExe(const sim::Device& device) {
    for (const sim::Entry& entry : fixture::Entries(device)) {
        if (sim::SameName(sim::NameOf(entry.path), u".exe")) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(LaunchProgram, StartsThroughTheShellWithTheGivenCommandLine) {
    sim::Device device = fixture::NewDevice();
    {
        sim::Device::Use use(device, fixture::ProgramAt());
        LaunchProgram(UninstallerPath, AppName);
        LaunchProgram(u"\\Nowhere\\missing.exe", u"");
    }
    auto launches = EventsOf<sim::ev::Launch>(device);
    ASSERT_EQ(2u, launches.size());
    EXPECT_EQ(U8(UninstallerPath), U8(launches[0].file));
    EXPECT_EQ(U8(AppName), U8(launches[0].args));
    EXPECT_TRUE(launches[0].ok);
    // A failed start is not noticed: the second call was still made.
    EXPECT_EQ(U8(u"\\Nowhere\\missing.exe"), U8(launches[1].file));
    EXPECT_EQ("", U8(launches[1].args));
    EXPECT_FALSE(launches[1].ok);
    EXPECT_TRUE(device.Violations().empty()); // record size and paths as the device wants
}

TEST(ProgramsMenuEntry, CreatesTheFolderAndACopyNamedAfterTheTitle) {
    sim::Device device = fixture::NewDevice();
    AddProgram(device);
    ASSERT_EQ(nullptr, device.Files().Find(fixture::ProgramsFolder));

    SetMenuEntry(device, true);

    auto copies = EventsOf<sim::ev::Copy>(device);
    ASSERT_EQ(1u, copies.size());
    EXPECT_EQ(U8(OwnPath), U8(copies[0].from));
    // The title's spaces and "&" stand in the name unchanged.
    EXPECT_EQ("\\Windows\\Start Menu\\Programs\\Dorna & Kel.exe", U8(copies[0].to));
    const sim::Entry* copy = device.Files().Find(MenuCopy);
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ(sim::DefaultEntryTime + 7, copy->time); // a byte copy of the program
    // The Programs folder and the Start Menu above it are made now.
    const std::u16string programs = fixture::ProgramsFolder;
    for (const std::u16string& made : {programs, sim::ParentOf(programs)}) {
        const sim::Entry* folder = device.Files().Find(made);
        ASSERT_TRUE(folder != nullptr && (folder->attributes & sim::AttrDirectory) != 0);
        EXPECT_EQ(device.Time().Now(), folder->time) << U8(folder->path);
    }
    EXPECT_TRUE(device.Violations().empty());

    // A file where the Start Menu goes stays a file, and no folder is made.
    sim::Device blocked = fixture::NewDevice();
    AddProgram(blocked);
    AddFile(blocked, sim::ParentOf(fixture::ProgramsFolder));
    SetMenuEntry(blocked, true);
    EXPECT_TRUE(sim::IsFile(blocked.Files().Find(sim::ParentOf(fixture::ProgramsFolder))));
    EXPECT_EQ(nullptr, blocked.Files().Find(fixture::ProgramsFolder));
    EXPECT_EQ(0, CountOf(blocked, sim::EventKind::Copy));
    EXPECT_TRUE(blocked.Violations().empty());
}

// The shell of Pocket PC 2002 and earlier answers FALSE even when it gives
// the folder's path: the path is what counts, for the copy and its deletion.
TEST(ProgramsMenuEntry, TheFoldersPathCountsWhateverTheCallAnswers) {
    sim::Config kind = fixture::Kind();
    kind.folderPathAnswersFalse = true;
    for (bool present : {true, false}) {
        sim::Device device = fixture::NewDevice(kind);
        AddProgram(device);
        AddFile(device, MenuCopy, sim::DefaultEntryTime - 100);
        SetMenuEntry(device, present);
        EXPECT_EQ(present ? 1 : 0, CountOf(device, sim::EventKind::Copy));
        EXPECT_EQ(present ? 0 : 1, CountOf(device, sim::EventKind::Delete));
        const sim::Entry* copy = device.Files().Find(MenuCopy);
        EXPECT_EQ(present, copy != nullptr && copy->time == sim::DefaultEntryTime + 7);
    }
}

TEST(ProgramsMenuEntry, ReplacesAnExistingCopy) {
    sim::Device device = fixture::NewDevice();
    AddProgram(device);
    AddFile(device, MenuCopy, sim::DefaultEntryTime - 100);

    SetMenuEntry(device, true);

    auto copies = EventsOf<sim::ev::Copy>(device);
    ASSERT_EQ(1u, copies.size());
    EXPECT_TRUE(copies[0].ok);
    EXPECT_EQ(sim::DefaultEntryTime + 7, device.Files().Find(MenuCopy)->time);
}

TEST(ProgramsMenuEntry, DeletesTheCopyAndOnlyIt) {
    sim::Device device = fixture::NewDevice();
    AddProgram(device);
    AddFile(device, MenuCopy);
    AddFile(device, std::u16string(fixture::ProgramsFolder) + u"\\Other.exe");

    SetMenuEntry(device, false);

    EXPECT_EQ(nullptr, device.Files().Find(MenuCopy));
    EXPECT_NE(nullptr,
              device.Files().Find(std::u16string(fixture::ProgramsFolder) + u"\\Other.exe"));
    EXPECT_EQ(0, CountOf(device, sim::EventKind::Copy));
}

TEST(ProgramsMenuEntry, DeletingAMissingCopyChangesNothing) {
    sim::Device device = fixture::NewDevice();
    AddProgram(device);
    SetMenuEntry(device, true); // makes the folder ...
    SetMenuEntry(device, false);
    const std::vector<sim::Entry> before = fixture::Entries(device); // ... which stays

    SetMenuEntry(device, false);

    auto deletes = EventsOf<sim::ev::Delete>(device);
    ASSERT_EQ(2u, deletes.size());
    EXPECT_FALSE(deletes[1].ok);
    ASSERT_EQ(before.size(), fixture::Entries(device).size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(before[i].path, fixture::Entries(device)[i].path);
    }
}

// Without a title, a Programs folder or the program's own path there is no
// copy to make or delete; above all, no file called ".exe" appears.
TEST(ProgramsMenuEntry, NoNameNoCopy) {
    struct Case {
        const char* what;
        std::u16string title;
        std::set<sim::Op> failing;
        std::u16string ownPath;
        bool stillDeletes; // the own path matters only to the copy
    };
    const Case cases[] = {
        {"empty title", u"", {}, OwnPath, false},
        {"title not loadable", fixture::Title, {sim::Op::LoadStringW}, OwnPath, false},
        {"Programs folder not obtainable",
         fixture::Title,
         {sim::Op::SHGetSpecialFolderPath},
         OwnPath,
         false},
        {"title too long for the copy's path", std::u16string(240, u't'), {}, OwnPath, false},
        {"own path not obtainable", fixture::Title, {sim::Op::GetModuleFileNameW}, OwnPath, true},
        {"own path too long", fixture::Title, {}, u"\\" + std::u16string(300, u'a'), true},
    };
    for (const Case& c : cases) {
        for (bool present : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (present ? ", create" : ", delete"));
            sim::Device device = fixture::NewDevice();
            AddProgram(device);
            AddFile(device, MenuCopy);
            fixture::Failing(device, c.failing);
            SetMenuEntry(device, present, c.ownPath, c.title);

            EXPECT_EQ(0, CountOf(device, sim::EventKind::Copy));
            const bool deleted = !present && c.stillDeletes;
            EXPECT_EQ(deleted ? 1 : 0, CountOf(device, sim::EventKind::Delete));
            EXPECT_EQ(deleted, device.Files().Find(MenuCopy) == nullptr);
            EXPECT_FALSE(AnyEntryNamedExe(device));
            EXPECT_TRUE(device.Violations().empty());
        }
    }
}

// --- The application key -----------------------------------------------------

TEST(AppRegistration, FirstSuccessMakesNoPause) {
    sim::Device device = fixture::NewDevice();
    device.PutKey(fixture::AppKey);

    RemoveRegistration(device);

    auto attempts = EventsOf<sim::ev::KeyDelete>(device);
    ASSERT_EQ(1u, attempts.size());
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\SOFTWARE\\Apps\\Velluma Reader ZRV", U8(attempts[0].key));
    EXPECT_EQ(0, attempts[0].result);
    EXPECT_EQ(0, CountOf(device, sim::EventKind::Sleep));
    EXPECT_FALSE(device.Keys().Has(fixture::AppKey));
    EXPECT_TRUE(device.Keys().Has(sim::AppsKeyPath));
    EXPECT_TRUE(device.Violations().empty()); // the key was closed
}

TEST(AppRegistration, RetriesUntilTheKeyGoes) {
    sim::Device device = fixture::NewDevice();
    device.PutKey(fixture::AppKey);
    KeyResists(device, 3);

    RemoveRegistration(device);

    EXPECT_EQ(4, CountOf(device, sim::EventKind::KeyDelete));
    EXPECT_EQ(3, CountOf(device, sim::EventKind::Sleep));
    EXPECT_EQ(3000u, device.NowMs());
    EXPECT_FALSE(device.Keys().Has(fixture::AppKey));
}

TEST(AppRegistration, GivesUpAfterElevenAttemptsAndTenPauses) {
    sim::Device device = fixture::NewDevice();
    device.PutKey(fixture::AppKey);
    KeyResists(device, 1000);

    RemoveRegistration(device);

    auto attempts = EventsOf<sim::ev::KeyDelete>(device);
    ASSERT_EQ(11u, attempts.size());
    for (const sim::ev::KeyDelete& attempt : attempts) {
        EXPECT_EQ(platform::ErrorAccessDenied, attempt.result);
    }
    auto pauses = EventsOf<sim::ev::Sleep>(device);
    ASSERT_EQ(10u, pauses.size());
    for (const sim::ev::Sleep& pause : pauses) {
        EXPECT_EQ(1000, pause.ms);
    }
    EXPECT_EQ(10000u, device.NowMs());
    EXPECT_TRUE(device.Keys().Has(fixture::AppKey)); // left in place, silently
    EXPECT_TRUE(device.Violations().empty());
}

TEST(AppRegistration, NoAppsKeyNoAttempt) {
    sim::Device device = fixture::NewDevice();
    device.ClearRegistry();

    RemoveRegistration(device);

    EXPECT_EQ(1, device.Faults().CallsOf(sim::Op::RegOpenKeyExW));
    EXPECT_EQ(0, device.Faults().CallsOf(sim::Op::RegDeleteKeyW));
    EXPECT_EQ(0, CountOf(device, sim::EventKind::KeyDelete));
    EXPECT_EQ(0, CountOf(device, sim::EventKind::Sleep));
    EXPECT_TRUE(device.Violations().empty());
}

// The uninstaller removes the key itself; once it is gone there is nothing
// to wait for.
TEST(AppRegistration, StopsWhenTheKeyIsAlreadyGone) {
    sim::Device device = fixture::NewDevice(); // "SOFTWARE\Apps" without the application's key

    RemoveRegistration(device);

    auto attempts = EventsOf<sim::ev::KeyDelete>(device);
    ASSERT_EQ(1u, attempts.size());
    EXPECT_EQ(platform::ErrorFileNotFound, attempts[0].result);
    EXPECT_EQ(0, CountOf(device, sim::EventKind::Sleep));
    EXPECT_EQ(0u, device.NowMs());
    EXPECT_TRUE(device.Violations().empty());
}

// --- Removal through the device's uninstaller --------------------------------

// On Windows Mobile 5 and later the Configuration Manager's UnInstall
// provider removes the reader; where that cannot be done, and on every older
// device, Unload.exe is started as before. The library is freed whenever it
// was loaded.
TEST(UninstallReader, ThroughTheConfigurationManagerOrUnload) {
    const sim::Config windowsMobile = fixture::WindowsMobile();
    sim::Config noProvider = windowsMobile;
    noProvider.configurationProviders.clear();
    sim::Config versionFiveOnly = fixture::Kind(); // no aygshell.dll
    versionFiveOnly.osMajor = 5;
    struct Case {
        const char* what;
        sim::Config kind;
        std::set<sim::Op> failing;
        bool installed;                     // by the cabinet installer
        std::vector<sim::Number> configure; // what each configuration call answered
        bool unload;
    };
    const sim::Number cspException = static_cast<std::uint32_t>(sim::ConfigECspException);
    const sim::Number entryNotFound = static_cast<std::uint32_t>(sim::ConfigEEntryNotFound);
    const Case cases[] = {
        {"Windows Mobile", windowsMobile, {}, true, {platform::SOk}, false},
        {"freeing the library fails",
         windowsMobile,
         {sim::Op::FreeLibrary},
         true,
         {platform::SOk},
         false},
        {"a Pocket PC 2003 (version 4)", fixture::Kind(), {}, true, {}, true},
        {"version 5 without aygshell.dll", versionFiveOnly, {}, true, {}, true},
        {"the version cannot be had", windowsMobile, {sim::Op::GetVersionExW}, true, {}, true},
        {"the library does not load", windowsMobile, {sim::Op::LoadLibraryW}, true, {}, true},
        {"no DMProcessConfigXML", windowsMobile, {sim::Op::GetProcAddressW}, true, {}, true},
        {"nothing installed under the name", windowsMobile, {}, false, {cspException}, true},
        {"no UnInstall provider", noProvider, {}, true, {entryNotFound}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Device device = fixture::NewDevice(c.kind);
        if (c.installed) {
            fixture::InstallReader(device);
        } else {
            fixture::AddReader(device, sim::DefaultEntryTime);
        }
        fixture::Failing(device, c.failing);
        {
            sim::Device::Use use(device, fixture::ProgramAt(OwnPath));
            UninstallReader();
        }
        std::vector<sim::Number> configured;
        for (const sim::ev::Configure& e : EventsOf<sim::ev::Configure>(device)) {
            configured.push_back(e.result);
            EXPECT_EQ(U8(UninstallDocument), U8(e.document));
            EXPECT_EQ(platform::CfgflagProcess, e.flags);
        }
        EXPECT_EQ(c.configure, configured);
        const std::vector<std::string> unload = {U8(UninstallerPath)};
        EXPECT_EQ(c.unload ? unload : std::vector<std::string>(), fixture::Launched(device));
        const bool removed = c.configure == std::vector<sim::Number>{platform::SOk};
        EXPECT_EQ(removed, device.Files().Find(ReaderPath) == nullptr);
        EXPECT_EQ(removed, !device.Keys().Has(fixture::AppKey));
        int loaded = 0;
        for (const sim::Event& e : device.Events()) {
            const auto* load = sim::RecordOf<sim::rec::LoadLibraryW>(e);
            loaded += load != nullptr && load->result != 0 ? 1 : 0;
        }
        EXPECT_EQ(loaded, device.Faults().CallsOf(sim::Op::FreeLibrary));
        EXPECT_TRUE(device.Violations().empty()) << device.Violations()[0];
    }
}
