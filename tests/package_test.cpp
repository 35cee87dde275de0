// The package reader on cabinets that scripts/make-cab makes, stored and
// MSZIP-compressed: a good package read whole, and malformed ones refused
// with the reason that names what is wrong.
#include "device/package.h"
#include "tests/package_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

using fixture::Compressions;

std::string Text(const sim::Content& bytes) {
    return bytes ? std::string(bytes->begin(), bytes->end()) : "(none)";
}

TEST(Package, GoodPackageReadWhole) {
    std::vector<fixture::CabinetOrder> orders;
    for (const char* compression : Compressions) {
        orders.push_back({std::string("good") + compression,
                          "--json " + fixture::ReaderPackage + " " + compression});
    }
    const std::vector<Bytes> cabinets = fixture::MakeCabinets("good", orders);
    ASSERT_EQ(cabinets.size(), orders.size());
    for (std::size_t c = 0; c < cabinets.size(); ++c) {
        SCOPED_TRACE(orders[c].name);
        sim::Package package;
        std::string error;
        ASSERT_TRUE(sim::ReadPackage(cabinets[c], package, error)) << error;

        const sim::PackageHeader& header = package.header;
        EXPECT_EQ(header.processor, 2577u);
        EXPECT_EQ(header.minMajor, 4u);
        EXPECT_EQ(header.minMinor, 0u);
        EXPECT_EQ(header.maxMajor, 5u);
        EXPECT_EQ(header.maxMinor, 2u);
        EXPECT_EQ(header.minBuild, 1000u);
        EXPECT_EQ(header.maxBuild, 30000u);
        EXPECT_EQ(header.appName, "Reader ZRV");
        EXPECT_EQ(header.provider, "Velluma");
        EXPECT_EQ(header.unsupported, (std::vector<std::string>{"HPC", "JORDAN"}));

        const std::map<std::uint16_t, std::string> strings = {
            {1, "%CE1%"},        {2, "VellumaZRV"},     {3, "Books"},
            {4, "%InstallDir%"}, {5, "Software"},       {6, "Velluma"},
            {7, "Reader"},       {8, "Velluma Reader"}, {9, "Home"}};
        EXPECT_EQ(package.strings, strings);

        ASSERT_EQ(package.folders.size(), 3u);
        EXPECT_EQ(package.folders[0].id, 1);
        EXPECT_EQ(package.folders[0].path, "%CE1%\\VellumaZRV");
        EXPECT_EQ(package.folders[1].path, "%CE1%\\VellumaZRV\\Books");
        EXPECT_EQ(package.folders[2].path, "%InstallDir%");

        ASSERT_EQ(package.files.size(), 3u);
        const sim::PackageFile& reader = package.files[0];
        EXPECT_EQ(reader.id, 1);
        EXPECT_EQ(reader.folder, "%CE1%\\VellumaZRV");
        EXPECT_EQ(reader.name, "vellumabook.exe");
        EXPECT_EQ(reader.flags, sim::PackageFileIgnoreDate);
        EXPECT_EQ(Text(reader.bytes), std::string("MZ\x90\0\3\0\0\0", 8));
        EXPECT_EQ(reader.time, 134170743680000000ull); // 2026-03-04T05:06:08Z
        const sim::PackageFile& welcome = package.files[1];
        EXPECT_EQ(welcome.id, 2);
        EXPECT_EQ(welcome.folder, "%CE1%\\VellumaZRV\\Books");
        EXPECT_EQ(welcome.name, "Welcome.txt");
        EXPECT_EQ(welcome.flags, 0u);
        EXPECT_EQ(Text(welcome.bytes), "Welcome to Velluma.\r\n");
        EXPECT_EQ(welcome.time, 134116991980000000ull); // 2025-12-31T23:59:58Z
        const sim::PackageFile& readme = package.files[2];
        EXPECT_EQ(readme.folder, "%InstallDir%");
        EXPECT_EQ(readme.flags, sim::PackageFileNoOverwrite);
        EXPECT_EQ(Text(readme.bytes), "");

        ASSERT_EQ(package.hives.size(), 2u);
        EXPECT_EQ(package.hives[0].root, sim::PackageRootLocalMachine);
        EXPECT_EQ(package.hives[0].path, "Software\\Velluma\\Reader");
        EXPECT_EQ(package.hives[1].root, sim::PackageRootCurrentUser);
        EXPECT_EQ(package.hives[1].path, "Software\\Velluma");

        ASSERT_EQ(package.values.size(), 4u);
        const sim::PackageValue& dir = package.values[0];
        EXPECT_EQ(dir.root, sim::PackageRootLocalMachine);
        EXPECT_EQ(dir.key, "Software\\Velluma\\Reader");
        EXPECT_EQ(dir.name, "InstallDir");
        EXPECT_EQ(dir.type, sim::PackageValueType::String);
        EXPECT_EQ(dir.text, "%InstallDir%");
        EXPECT_TRUE(dir.substitute);
        EXPECT_FALSE(dir.noClobber);
        const sim::PackageValue& version = package.values[1];
        EXPECT_EQ(version.name, "Version");
        EXPECT_EQ(version.type, sim::PackageValueType::Dword);
        EXPECT_EQ(version.number, 65538u);
        EXPECT_FALSE(version.substitute);
        EXPECT_TRUE(version.noClobber);
        const sim::PackageValue& shelves = package.values[2];
        EXPECT_EQ(shelves.root, sim::PackageRootCurrentUser);
        EXPECT_EQ(shelves.key, "Software\\Velluma");
        EXPECT_EQ(shelves.type, sim::PackageValueType::MultiString);
        EXPECT_EQ(shelves.texts, (std::vector<std::string>{"Books", "%CE5%"}));
        EXPECT_TRUE(shelves.substitute);
        const sim::PackageValue& binary = package.values[3];
        EXPECT_EQ(binary.name, "");
        EXPECT_EQ(binary.type, sim::PackageValueType::Binary);
        EXPECT_EQ(binary.data, (Bytes{0x00, 0xFF, 0x10}));

        ASSERT_EQ(package.links.size(), 3u);
        EXPECT_EQ(package.links[0].folder, "%CE11%");
        EXPECT_EQ(package.links[0].name, "Velluma Reader");
        EXPECT_TRUE(package.links[0].toFile);
        EXPECT_EQ(package.links[0].target, "%CE1%\\VellumaZRV\\vellumabook.exe");
        EXPECT_EQ(package.links[1].folder, "%CE17%");
        EXPECT_EQ(package.links[1].name, "Books");
        EXPECT_FALSE(package.links[1].toFile);
        EXPECT_EQ(package.links[1].target, "%CE1%\\VellumaZRV\\Books");
        EXPECT_EQ(package.links[2].folder, "%InstallDir%");
        EXPECT_EQ(package.links[2].target, "%InstallDir%");

        EXPECT_FALSE(package.hasSetupDll);
    }
}

// What the reader settles that a package leaves implicit: the install
// directory, where a link goes and the name of its file, the setup DLL; on
// packages shaped as CabWiz writes them and as the format document shows.
struct Shape {
    const char* name;
    std::string args; // make-cab's
    std::string installDir;
    sim::PackageInstallDirFrom from;
    std::string fileFolder;                     // the first file's, when there is one
    std::string linkFolder, linkName, linkFile; // the first link's, when there is one
    std::string setupDll;                       // empty: none
};

TEST(Package, ShapesAsCabWizWritesThem) {
    using From = sim::PackageInstallDirFrom;
    const std::string cabwiz = "--json " + fixture::CabWizPackage + " ";
    const std::string reader = "--json " + fixture::ReaderPackage + " ";
    const std::string app = "%CE1%\\Maker\\App";
    auto link = [](const std::string& fields) {
        return R"(--with 'links=[{"file": "App.exe", )" + fields + "}]' ";
    };
    const Shape rows[] = {
        // The Pocket PC 2003 SDK's CabWiz: the folder in the old field, no 0
        // after the ids, ".lnk" in the name, the INF's InstallDir as
        // string 1 and directory 1.
        {"cabwiz", cabwiz, app, From::Folder1, app, "%CE11%", "App.lnk", "App.lnk", ""},
        {"old-field-deeper", cabwiz + link(R"("name": "App.lnk", "inDir": "%InstallDir%\\Help")"),
         app, From::Folder1, app, app + "\\Help", "App.lnk", "App.lnk", ""},
        {"old-field-games", cabwiz + link(R"("name": "App.lnk", "inDir": "%CE14%")"), app,
         From::Folder1, app, "%CE14%", "App.lnk", "App.lnk", ""},
        // Visual Studio 2008's: the folder in base, 0 in the old field.
        {"base", cabwiz + link(R"("name": "App.lnk", "in": "%CE11%", "terminated": false)"), app,
         From::Folder1, app, "%CE11%", "App.lnk", "App.lnk", ""},
        {"base-over-old-field", cabwiz + link(R"("name": "App.lnk", "in": "%CE17%", "inDir": 40)"),
         app, From::Folder1, app, "%CE17%", "App.lnk", "App.lnk", ""},
        {"install-dir-link", cabwiz + link(R"("name": "App", "in": "%InstallDir%")"), app,
         From::Folder1, app, "%InstallDir%", "App", "App.lnk", ""},
        // Names as the format document shows them, and ".lnk" in any case.
        {"closed-by-0", cabwiz + link(R"("name": "App", "in": "%CE11%", "terminated": true)"), app,
         From::Folder1, app, "%CE11%", "App", "App.lnk", ""},
        {"lnk-in-capitals", cabwiz + link(R"("name": "Sub\\App.LNK", "terminated": false)"), app,
         From::Folder1, app, "%CE11%", "Sub\\App.LNK", "Sub\\App.LNK", ""},
        // The install directory.
        {"install-dir-windows", cabwiz + R"(--with 'installDir="%CE2%"')", "%CE2%", From::Folder1,
         "%CE2%", "%CE11%", "App.lnk", "App.lnk", ""},
        {"install-dir-rooted", cabwiz + R"(--with 'installDir="\\Storage Card\\App"')",
         "\\Storage Card\\App", From::Folder1, "\\Storage Card\\App", "%CE11%", "App.lnk",
         "App.lnk", ""},
        {"install-dir-no-folders",
         cabwiz + R"(--with 'installDir="%CE2%"' --with files=[] --with links=[])", "%CE2%",
         From::String1, "", "", "", "", ""},
        {"format-document", reader, "%CE1%\\VellumaZRV", From::Folder1, "%CE1%\\VellumaZRV",
         "%CE11%", "Velluma Reader", "Velluma Reader.lnk", ""},
        {"folder-1-install-dir",
         reader + R"(--with 'files=[{"folder": "%InstallDir%", "name": "a"}]' --with links=[])",
         "%CE1%\\Reader ZRV", From::AppName, "%InstallDir%", "", "", "", ""},
        {"no-app-name", reader + "--with files=[] --with links=[] --app-name ''", "%CE1%",
         From::AppName, "", "", "", "", ""},
        // A setup DLL, the cabinet's .999.
        {"setup-dll", cabwiz + R"(--with 'setupDll="Setup.dll"')", app, From::Folder1, app,
         "%CE11%", "App.lnk", "App.lnk", "000Setup.999"},
    };
    std::vector<fixture::CabinetOrder> orders;
    for (const Shape& row : rows) {
        for (const char* compression : Compressions) {
            orders.push_back({std::string(row.name) + compression, row.args + " " + compression});
        }
    }
    const std::vector<Bytes> cabinets = fixture::MakeCabinets("shapes", orders);
    ASSERT_EQ(cabinets.size(), orders.size());
    for (std::size_t c = 0; c < cabinets.size(); ++c) {
        const Shape& row = rows[c / 2];
        SCOPED_TRACE(orders[c].name);
        sim::Package package;
        std::string error;
        if (!sim::ReadPackage(cabinets[c], package, error)) {
            ADD_FAILURE() << error;
            continue;
        }
        EXPECT_EQ(package.installDir, row.installDir);
        EXPECT_EQ(package.installDirFrom, row.from);
        EXPECT_EQ(package.files.empty() ? "" : package.files[0].folder, row.fileFolder);
        EXPECT_EQ(package.links.empty(), row.linkName.empty());
        if (!package.links.empty() && !row.linkName.empty()) {
            EXPECT_EQ(package.links[0].folder, row.linkFolder);
            EXPECT_EQ(package.links[0].name, row.linkName);
            EXPECT_EQ(package.links[0].file, row.linkFile);
        }
        EXPECT_EQ(package.setupDll, row.setupDll);
        EXPECT_EQ(package.hasSetupDll, !row.setupDll.empty());
    }
}

// A description of a package with `count` one-byte files.
std::string ManyFiles(int count) {
    const std::string path = std::string(AUTORUN_PACKAGES_DIR) + "/many.json";
    std::ofstream out(path);
    out << R"({"appName": "Many", "provider": "Velluma", "files": [)";
    for (int i = 1; i <= count; ++i) {
        out << (i > 1 ? "," : "") << R"({"folder": "%CE1%\\Many", "name": "f)" << i
            << R"(.txt", "text": "x"})";
    }
    out << "]}";
    return path;
}

struct Malformed {
    const char* name;
    std::string args; // make-cab's, after the reader's description
    std::string error;
};

TEST(Package, MalformedPackagesAreRefused) {
    std::filesystem::create_directories(AUTORUN_PACKAGES_DIR);
    const std::string many = ManyFiles(999);
    const Malformed rows[] = {
        // Counts past the section's end: the entries that follow are read as
        // this section's, up to a mismatch or the file's end.
        {"strings-count", "--set strings_count=65535", "string 1 is given twice"},
        {"dirs-count", "--set dirs_count=65535", "folder 1 is given twice"},
        {"files-count", "--set files_count=998", "file 1 is given twice"},
        {"reghives-count", "--set reghives_count=65535", "hive 1 is given twice"},
        {"regkeys-count", "--set regkeys_count=65535",
         "registry value 1 is in hive 0, which does not exist"},
        {"links-count", "--set links_count=4",
         "entry 4 of 4 of the LINKS section runs past the end of the 539-byte setup file"},
        // Offsets past the end, or inside the header.
        {"strings-offset", "--set strings_offset=4000",
         "the STRINGS offset 4000 is past the end of the 539-byte setup file"},
        {"dirs-offset", "--set dirs_offset=539",
         "the DIRS offset 539 is past the end of the 539-byte setup file"},
        {"files-offset", "--set files_offset=4000",
         "the FILES offset 4000 is past the end of the 539-byte setup file"},
        {"reghives-offset", "--set reghives_offset=4294967295",
         "the REGHIVES offset 4294967295 is past the end of the 539-byte setup file"},
        {"regkeys-offset", "--set regkeys_offset=4000",
         "the REGKEYS offset 4000 is past the end of the 539-byte setup file"},
        {"links-offset", "--set links_offset=4000",
         "the LINKS offset 4000 is past the end of the 539-byte setup file"},
        {"links-in-header", "--set links_offset=40",
         "the LINKS offset 40 is inside the 100-byte header"},
        {"appname-offset", "--set appname_offset=4000",
         "the APPNAME string at 4000 (11 bytes) runs past the end of the 539-byte setup file"},
        {"appname-length", "--set appname_length=65535",
         "the APPNAME string at 100 (65535 bytes) runs past the end of the 539-byte setup file"},
        {"provider-offset", "--set provider_offset=535",
         "the PROVIDER string at 535 (8 bytes) runs past the end of the 539-byte setup file"},
        {"unsupported-offset", "--set unsupported_offset=4000",
         "the UNSUPPORTED string at 4000 (12 bytes) runs past the end of the 539-byte setup "
         "file"},
        {"unsupported-in-header", "--set unsupported_offset=8",
         "the UNSUPPORTED string at 8 is inside the 100-byte header"},
        {"length", "--set length=600",
         "the setup file gives its length as 600 bytes, but it is 539"},
        {"signature", "--set signature=0", "the setup file does not start with \"MSCE\""},
        // Strings without their terminator.
        {"unterminated-string", "--unterminated Books",
         "string 3 has no terminator within its 5 bytes"},
        {"unterminated-appname", "--set appname_length=10",
         "the APPNAME string has no terminator within its 10 bytes"},
        {"unterminated-unsupported", "--set unsupported_length=6",
         "the UNSUPPORTED list has a name with no terminator within its 6 bytes"},
        // Ids of entries that do not exist.
        {"folder-string", "--drop-string VellumaZRV",
         "folder 1 names string 2, which does not exist"},
        {"hive-string", "--drop-string Reader", "hive 1 names string 7, which does not exist"},
        {"link-string", "--drop-string Home", "link 3 names string 9, which does not exist"},
        {"link-string-without-0", "--json " + fixture::CabWizPackage + " --drop-string App.lnk",
         "link 1 names string 7, which does not exist"},
        {"link-half-id",
         "--json " + fixture::CabWizPackage +
             R"( --with 'links=[{"name": "A", "file": "App.exe", "specHex": "0100ff"}]')",
         "link 1's string ids end in half an id (3 bytes)"},
        {"link-folder",
         "--json " + fixture::CabWizPackage +
             R"( --with 'links=[{"name": "A", "file": "App.exe", "inDir": 40}]')",
         "link 1 goes in folder 40, which does not exist"},
        {"file-not-in-cabinet", "--leave-out 2",
         "file 2 (Welcome.txt) is not in the cabinet, which holds no .002"},
        {"link-standard-folder",
         R"(--with 'links=[{"in": 18, "name": "X", "folder": "%InstallDir%"}]')",
         "link 1 goes in standard folder 18, which does not exist (0 is %InstallDir%, 1 to 17 "
         "are %CE1% to %CE17%)"},
        {"long-folder",
         R"(--with 'files=[{"folder": "%CE1%\\)" + std::string(300, 'F') +
             R"(", "name": "a", "text": "a"}]' --with links=[])",
         "folder 1 is longer than 260 characters"},
        {"hive-root", R"(--with 'registry=[{"key": "HKLM\\X", "root": 5, "name": "A"}]')",
         "hive 1 has root 5 (1 to 4 are the roots)"},
        // The cabinet itself.
        {"truncated-data", "--truncate -4",
         "the cabinet's ReaderZR.000 cannot be read, it ends too soon"},
        {"truncated-headers", "--truncate 60", "the file is not a cabinet: it"},
        {"no-setup-file", "--no-setup", "the cabinet has no .000 setup file"},
        {"999-files", "--json " + many, "the package has 999 files, more than 998"},
    };
    std::vector<fixture::CabinetOrder> orders;
    for (const Malformed& row : rows) {
        for (const char* compression : Compressions) {
            const bool ownDescription = row.args.rfind("--json", 0) == 0;
            orders.push_back({std::string(row.name) + compression,
                              (ownDescription ? "" : "--json " + fixture::ReaderPackage + " ") +
                                  row.args + " " + compression});
        }
    }
    const std::vector<Bytes> cabinets = fixture::MakeCabinets("malformed", orders);
    ASSERT_EQ(cabinets.size(), orders.size());
    for (std::size_t c = 0; c < cabinets.size(); ++c) {
        const Malformed& row = rows[c / 2];
        SCOPED_TRACE(orders[c].name);
        sim::Package package;
        package.header.appName = "untouched";
        std::string error;
        EXPECT_FALSE(sim::ReadPackage(cabinets[c], package, error));
        // The cabinet's own errors end with libmspack's reason; the setup
        // file's are given whole.
        if (row.error.rfind("the cabinet's", 0) == 0 || row.error.rfind("the file is", 0) == 0) {
            EXPECT_EQ(error.rfind(row.error, 0), 0u) << error;
        } else {
            EXPECT_EQ(error, row.error);
        }
        EXPECT_EQ(package.header.appName, "untouched"); // a refused package leaves it alone
    }
}

// Setup files and cabinets too broken for make-cab to make.
TEST(Package, BytesThatAreNoPackage) {
    sim::Package package;
    std::string error;
    EXPECT_FALSE(sim::ReadPackage({}, package, error));
    EXPECT_EQ(error, "the file is not a cabinet: it cannot be read, it ends too soon");
    const Bytes text = {'M', 'S', 'C', 'F', 'x', 'y', 'z'};
    EXPECT_FALSE(sim::ReadPackage(text, package, error));
    EXPECT_EQ(error.rfind("the file is not a cabinet", 0), 0u) << error;
    EXPECT_FALSE(sim::ReadSetupFile(Bytes(40, 0), package, error));
    EXPECT_EQ(error, "the setup file is 40 bytes, shorter than its 100-byte header");
}

std::uint32_t Le32(const Bytes& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// A cabinet file entry the reader must refuse, made by changing the second
// entry (the first is the setup file's) of a good stored cabinet: a length
// larger than a package may hold is refused before anything is extracted;
// a date that is none is refused too.
TEST(Package, CabinetFileEntriesRefused) {
    const std::vector<Bytes> made =
        fixture::MakeCabinets("entries", {{"entries", "--json " + fixture::ReaderPackage}});
    ASSERT_EQ(made.size(), 1u);
    // An entry: length (4 bytes), offset (4), folder (2), date (2), time (2),
    // attributes (2), then its name.
    std::size_t second = Le32(made[0], 16) + 16;
    while (made[0].at(second) != 0) {
        ++second;
    }
    ++second;
    struct Row {
        const char* name;
        std::size_t at;
        std::uint32_t value;
        int bytes;
        std::string error;
    } rows[] = {
        {"length", 0, sim::MaxPackageBytes + 1, 4,
         "the package's files hold 67109433 bytes, more than the 67108864 a package may hold"},
        {"month 13", 10, (46 << 9) | (13 << 5) | 1, 2,
         "the cabinet's date of 00readme.003 (2026-13-01 05:06:08) is no date"},
        {"31 April", 10, (46 << 9) | (4 << 5) | 31, 2,
         "the cabinet's date of 00readme.003 (2026-04-31 05:06:08) is no date"},
        {"hour 24", 12, 24 << 11, 2,
         "the cabinet's date of 00readme.003 (2026-03-04 24:00:00) is no date"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes cab = made[0];
        for (int i = 0; i < row.bytes; ++i) {
            cab.at(second + row.at + i) = static_cast<std::uint8_t>(row.value >> (8 * i));
        }
        sim::Package package;
        std::string error;
        EXPECT_FALSE(sim::ReadPackage(cab, package, error));
        EXPECT_EQ(error, row.error);
    }
}

} // namespace
