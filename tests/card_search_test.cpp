// The look-ups of the card's package and of the installed reader, and the
// platform probe that picks the card folder.
#include "autorun/autorun.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>

using fixture::AddCard;
using fixture::AddFile;
using platform::MaxPath;

namespace {

constexpr platform::FILETIME Untouched = {0x89ABCDEFu, 0x01234567u};

struct LookUp {
    int found = 0;
    std::u16string path;
    sim::Ticks time = 0;
    bool outputsUntouched = false;
};

// Runs one look-up with outputs that hold a recognisable pattern, and tells
// whether the look-up left every unit of them alone.
LookUp Look(sim::Device& device, int (*lookUp)(char16_t*, platform::FILETIME*)) {
    char16_t path[MaxPath];
    for (int i = 0; i < MaxPath; ++i) {
        path[i] = static_cast<char16_t>(u'A' + i % 26);
    }
    path[MaxPath - 1] = 0;
    const std::u16string before(path, MaxPath);
    platform::FILETIME time = Untouched;

    LookUp result;
    {
        sim::Device::Use use(device, fixture::ProgramAt());
        result.found = lookUp(path, &time);
    }
    EXPECT_TRUE(device.Violations().empty()) << device.Violations().front();
    result.outputsUntouched = std::u16string(path, MaxPath) == before &&
                              time.dwLowDateTime == Untouched.dwLowDateTime &&
                              time.dwHighDateTime == Untouched.dwHighDateTime;
    if (result.found) {
        result.path = path;
        result.time = sim::TicksOf(time);
    }
    return result;
}

LookUp Search(sim::Device& device) {
    return Look(device, FindCardInstaller);
}

std::u16string Name(int units, char16_t unit = u'n') {
    return std::u16string(static_cast<std::size_t>(units), unit);
}

} // namespace

TEST(CardSearch, FirstCardInRootOrderWinsAndFirstFileWithinIt) {
    sim::Device device = fixture::NewDevice();
    AddCard(device, u"Zeta");
    AddFile(device, u"\\Zeta\\2577\\New.cab", sim::DefaultEntryTime + 5);
    AddFile(device, u"\\Zeta\\2577\\Alpha.cab", sim::DefaultEntryTime + 9);
    AddCard(device, u"Alpha");
    AddFile(device, u"\\Alpha\\2577\\Reader.cab", sim::DefaultEntryTime + 99);

    LookUp result = Search(device);
    ASSERT_EQ(1, result.found);
    // Neither names nor times are compared: the search's order decides.
    EXPECT_EQ(u"\\Zeta\\2577\\New.cab", result.path);
    EXPECT_EQ(sim::DefaultEntryTime + 5, result.time);
}

TEST(CardSearch, OnlyFoldersMarkedTemporaryAreCards) {
    sim::Device device = fixture::NewDevice();
    // An ordinary folder of the device's store, holding what looks like a package.
    AddFile(device, u"\\Store\\2577\\Plain.cab");
    // A file marked temporary; the simulated store lets it hold a folder, so
    // searching under it would find something.
    device.Put({u"\\Scratch", sim::AttrTemporary | sim::AttrArchive});
    AddFile(device, u"\\Scratch\\2577\\Scratch.cab");
    // A card with more attributes than the two that make it one.
    device.Put({u"\\SD Card", fixture::CardAttributes | sim::AttrReadOnly | sim::AttrHidden});
    AddFile(device, u"\\SD Card\\2577\\Reader.cab");

    LookUp result = Search(device);
    ASSERT_EQ(1, result.found);
    EXPECT_EQ(u"\\SD Card\\2577\\Reader.cab", result.path);
    // The probe is asked once for every card examined, and only for cards.
    EXPECT_EQ(1, device.Faults().CallsOf(sim::Op::SystemParametersInfoW));
}

TEST(CardSearch, CardsWithoutPackageArePassedOver) {
    sim::Device device = fixture::NewDevice();
    AddCard(device, u"Empty");
    AddCard(device, u"Music");
    AddFile(device, u"\\Music\\2577\\autorun.exe");
    AddFile(device, u"\\Music\\2577\\notes.txt");
    AddFile(device, u"\\Music\\Reader.cab"); // not in the platform folder
    AddCard(device, u"Reader Card");
    AddFile(device, u"\\Reader Card\\2577\\READER.CAB", sim::DefaultEntryTime + 1);

    LookUp result = Search(device);
    ASSERT_EQ(1, result.found);
    EXPECT_EQ(u"\\Reader Card\\2577\\READER.CAB", result.path); // the name as reported
    EXPECT_EQ(sim::DefaultEntryTime + 1, result.time);
    EXPECT_EQ(3, device.Faults().CallsOf(sim::Op::SystemParametersInfoW));
}

TEST(CardSearch, NothingFoundLeavesTheOutputsAlone) {
    sim::Device bare = fixture::NewDevice(); // no card at all
    LookUp result = Search(bare);
    EXPECT_EQ(0, result.found);
    EXPECT_TRUE(result.outputsUntouched);

    sim::Device emptyCard = fixture::NewDevice();
    AddCard(emptyCard, u"Storage Card");
    AddFile(emptyCard, u"\\Storage Card\\2577\\autorun.exe");
    result = Search(emptyCard);
    EXPECT_EQ(0, result.found);
    EXPECT_TRUE(result.outputsUntouched);

    sim::Device noRoot = fixture::NewDevice();
    AddCard(noRoot, u"Storage Card");
    AddFile(noRoot, u"\\Storage Card\\2577\\Reader.cab");
    fixture::Failing(noRoot, {sim::Op::FindFirstFileW});
    result = Search(noRoot);
    EXPECT_EQ(0, result.found);
    EXPECT_TRUE(result.outputsUntouched);
}

// --- The card folder, chosen by the platform probe ---------------------------

struct Platform {
    const char* what;
    std::u16string type;
    std::uint32_t major;
    bool pocketPc;
    std::set<sim::Op> failing = {};
};

std::ostream& operator<<(std::ostream& out, const Platform& platform) {
    return out << platform.what;
}

class CardFolder : public testing::TestWithParam<Platform> {};

TEST_P(CardFolder, FollowsTheProbe) {
    const Platform& p = GetParam();
    sim::Config kind = fixture::Kind();
    kind.platformType = p.type;
    kind.osMajor = p.major;
    sim::Device device = fixture::NewDevice(kind);
    fixture::Failing(device, p.failing);
    // Each card holds a package in one of the two folders only.
    AddCard(device, u"Other");
    AddFile(device, u"\\Other\\wince\\arm\\Generic.cab");
    AddCard(device, u"Pocket");
    AddFile(device, u"\\Pocket\\2577\\Pocket.cab");

    {
        sim::Device::Use use(device, fixture::ProgramAt());
        EXPECT_EQ(p.pocketPc ? 1 : 0, IsPocketPcPlatform());
    }
    LookUp result = Search(device);
    ASSERT_EQ(1, result.found);
    EXPECT_EQ(p.pocketPc ? u"\\Pocket\\2577\\Pocket.cab" : u"\\Other\\wince\\arm\\Generic.cab",
              result.path);
}

INSTANTIATE_TEST_SUITE_P(
    Probe, CardFolder,
    testing::Values(
        Platform{"PocketPC 4", u"PocketPC", 4, true}, Platform{"PocketPC 3", u"PocketPC", 3, true},
        Platform{"only the first letter counts", u"P", 3, true},
        Platform{"version compared unsigned", u"PocketPC", 0x80000000u, true},
        Platform{"version 2", u"PocketPC", 2, false},
        Platform{"lower-case p", u"pocketpc", 5, false},
        Platform{"another platform", u"Smartphone", 5, false},
        Platform{"empty platform type", u"", 5, false},
        Platform{"platform type not obtainable",
                 u"PocketPC",
                 4,
                 false,
                 {sim::Op::SystemParametersInfoW}},
        Platform{"version not obtainable", u"PocketPC", 4, false, {sim::Op::GetVersionExW}}));

// Fills the stack below the caller with "P" units, so that a probe buffer
// that nobody cleared would read as a Pocket PC of a high version.
[[gnu::noinline]] char16_t SoilStack() {
    volatile char16_t soil[8192];
    for (int i = 0; i < 8192; ++i) {
        soil[i] = u'P';
    }
    return soil[8191];
}

TEST(Probe, AFailedQueryReadsAsNotAPocketPc) {
    for (sim::Op failing : {sim::Op::SystemParametersInfoW, sim::Op::GetVersionExW}) {
        SCOPED_TRACE(sim::NameOf(failing));
        sim::Device device = fixture::NewDevice();
        fixture::Failing(device, {failing});
        sim::Device::Use use(device, fixture::ProgramAt());
        ASSERT_EQ(u'P', SoilStack());
        int answer = IsPocketPcPlatform();
        EXPECT_EQ(0, answer);
    }
}

// --- Names that do not fit ---------------------------------------------------

// "\" card "\2577\" "*.cab": a card name of 247 units makes a pattern of 259.
TEST(CardSearch, LongestNamesThatFitAreFound) {
    sim::Device device = fixture::NewDevice();
    const std::u16string card = Name(247);
    AddCard(device, card);
    AddFile(device, u"\\" + card + u"\\2577\\R.cab");

    LookUp result = Search(device);
    ASSERT_EQ(1, result.found);
    EXPECT_EQ(u"\\" + card + u"\\2577\\R.cab", result.path);
    EXPECT_EQ(MaxPath - 1, static_cast<int>(result.path.size()));
}

TEST(CardSearch, NamesThatDoNotFitPassTheCardOver) {
    struct Case {
        std::u16string card;
        std::u16string package;
    };
    const Case cases[] = {
        {Name(248), u"R.cab"},                      // the pattern would take 260 units
        {Name(MaxPath - 3), u"R.cab"},              // the folder path alone would not fit
        {Name(MaxPath), u"R.cab"},                  // delivered without a terminator
        {Name(MaxPath + 40), u"R.cab"},             // longer than any name field
        {Name(247), u"RR.cab"},                     // the result would take 260 units
        {Name(247), Name(MaxPath - 4) + u".cab"},   // a name that fills the name field
        {Name(247), Name(MaxPath + 100) + u".cab"}, // longer than any name field
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.card.size()) + " " + std::to_string(c.package.size()));
        sim::Device device = fixture::NewDevice();
        AddCard(device, c.card);
        AddFile(device, u"\\" + c.card + u"\\2577\\" + c.package);

        LookUp alone = Search(device);
        EXPECT_EQ(0, alone.found);
        EXPECT_TRUE(alone.outputsUntouched);

        AddCard(device, u"Next");
        AddFile(device, u"\\Next\\2577\\Reader.cab");
        EXPECT_EQ(u"\\Next\\2577\\Reader.cab", Search(device).path);
    }
}

// --- The installed reader ----------------------------------------------------

TEST(ReaderLookUp, ReportsThePathAndLastWriteTime) {
    sim::Device device = fixture::NewDevice();
    fixture::AddReader(device, sim::DefaultEntryTime + 12345);

    LookUp result = Look(device, FindInstalledReader);
    ASSERT_EQ(1, result.found);
    EXPECT_EQ(std::u16string(ReaderPath), result.path);
    EXPECT_EQ(sim::DefaultEntryTime + 12345, result.time);
}

TEST(ReaderLookUp, NoReaderLeavesTheOutputsAlone) {
    sim::Device device = fixture::NewDevice();
    AddFile(device, u"\\Program Files\\VellumaZRV\\readme.txt");
    LookUp result = Look(device, FindInstalledReader);
    EXPECT_EQ(0, result.found);
    EXPECT_TRUE(result.outputsUntouched);
}

TEST(CardSearch, AFolderNamedLikeAPackageIsPassedOver) {
    sim::Device device = fixture::NewDevice();
    AddCard(device, u"Old");
    device.Put({u"\\Old\\2577\\Backup.cab", sim::AttrDirectory});
    AddCard(device, u"Storage Card");
    device.Put({u"\\Storage Card\\2577\\Old.cab", sim::AttrDirectory});
    AddFile(device, u"\\Storage Card\\2577\\Reader.cab", sim::DefaultEntryTime + 7);

    // The first card holds only a folder: it has no package. In the second,
    // the file after the folder is the package.
    LookUp result = Search(device);
    ASSERT_EQ(1, result.found);
    EXPECT_EQ(u"\\Storage Card\\2577\\Reader.cab", result.path);
    EXPECT_EQ(sim::DefaultEntryTime + 7, result.time);
}
