// The cabinet installer on packages shaped as CabWiz writes them, stored and
// MSZIP-compressed, on a Pocket PC: where the files and the shortcut go, what
// the shortcut starts, and the install directory the application key and the
// package's "%InstallDir%" values name; and a package that names a folder the
// device has not, refused with the entry that names it.
#include "device/device.h"
#include "tests/package_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::u16string Package = u"\\Storage Card\\App.cab";

// Stands for any program that opens the package through the shell.
class Opener : public sim::Launcher {
  public:
    sim::Outcome Run(sim::Device& device, const std::u16string&, const sim::Entry*,
                     const std::u16string&) override {
        EXPECT_FALSE(device.TheShell().Open(Package, u"").Failed());
        return sim::Outcome();
    }
};

std::string Value(const sim::Device& device, const std::u16string& key, const char16_t* name) {
    for (const sim::RegistryValue& value : device.Keys().ValuesOf(key)) {
        if (value.name == name) {
            return sim::Utf8(value.text);
        }
    }
    return "(none)";
}

// The device's last event of kind K; null when there is none.
template <class K> const K* Last(const sim::Device& device) {
    const K* found = nullptr;
    for (const sim::Event& event : device.Events()) {
        found = event.As<K>() != nullptr ? event.As<K>() : found;
    }
    return found;
}

struct Shape {
    const char* name;
    std::string args;     // make-cab's, after the CabWiz-shaped package's description
    std::string dir;      // the install directory; empty: the package is refused
    std::string shortcut; // the shortcut's file; or why the package is refused
    std::string target;   // what the shortcut starts or opens
};

TEST(Installer, PutsEachShapeWhereItsPackageSays) {
    const std::string app = "\\Program Files\\Maker\\App";
    const std::string menu = "\\Windows\\Start Menu\\Programs\\";
    auto link = [](const std::string& fields) { return "--with 'links=[{" + fields + "}]'"; };
    const Shape rows[] = {
        // The Pocket PC 2003 SDK's CabWiz: the folder in the old field, a
        // ".lnk" name, no 0 after the ids, its own install directory.
        {"cabwiz", "", app, menu + "App.lnk", app + "\\App.exe"},
        // Visual Studio 2008's: the folder in base.
        {"base",
         link(R"("name": "App.lnk", "file": "App.exe", "in": "%CE11%", "terminated": false)"), app,
         menu + "App.lnk", app + "\\App.exe"},
        {"in-install-dir", link(R"("name": "App", "file": "App.exe", "in": "%InstallDir%")"), app,
         app + "\\App.lnk", app + "\\App.exe"},
        {"to-a-folder", link(R"("name": "Help.lnk", "folder": "%InstallDir%\\Help")"), app,
         menu + "Help.lnk", app + "\\Help"},
        {"install-dir-windows", R"(--with 'installDir="%CE2%"')", "\\Windows", menu + "App.lnk",
         "\\Windows\\App.exe"},
        // Folders a Pocket PC has not.
        {"install-dir-ce9", R"(--with 'installDir="%CE9%\\App"')", "",
         "its install directory %CE9%\\App: this kind of device has no folder %CE9%", ""},
        {"link-in-ce3", link(R"("name": "App.lnk", "file": "App.exe", "inDir": "%CE3%")"), "",
         "link 1 (App.lnk) goes in %CE3%: this kind of device has no folder %CE3%", ""},
    };
    std::vector<fixture::CabinetOrder> orders;
    for (const Shape& row : rows) {
        for (const char* compression : fixture::Compressions) {
            orders.push_back(
                {std::string("installed-") + row.name + compression,
                 "--json " + fixture::CabWizPackage + " " + row.args + " " + compression});
        }
    }
    const std::vector<std::vector<std::uint8_t>> cabinets =
        fixture::MakeCabinets("installed", orders);
    ASSERT_EQ(cabinets.size(), orders.size());
    for (std::size_t c = 0; c < cabinets.size(); ++c) {
        const Shape& row = rows[c / 2];
        SCOPED_TRACE(orders[c].name);
        Opener opener;
        sim::Device device(sim::Config(), &opener);
        device.Put({u"\\Storage Card", sim::AttrDirectory | sim::AttrTemporary});
        device.Put({Package, sim::AttrReadOnly, sim::DefaultEntryTime,
                    std::make_shared<const std::vector<std::uint8_t>>(cabinets[c])});
        device.Run(u"\\Windows\\opener.exe", u"");

        const auto* installed = Last<sim::ev::Installed>(device);
        if (row.dir.empty()) {
            const auto* refused = Last<sim::ev::Refused>(device);
            ASSERT_NE(refused, nullptr);
            EXPECT_EQ(sim::Utf8(refused->why), row.shortcut);
            EXPECT_EQ(installed, nullptr);
            EXPECT_EQ(device.Files().Find(u"\\Program Files\\Maker"), nullptr);
            continue;
        }
        ASSERT_NE(installed, nullptr);
        EXPECT_EQ(sim::Utf8(installed->installDir), row.dir);
        const std::vector<std::u16string> files = {sim::Utf16(row.dir + "\\App.exe"),
                                                   sim::Utf16(row.dir + "\\Help\\App.htm"),
                                                   sim::Utf16(row.shortcut)};
        EXPECT_EQ(installed->files, files);
        // The shortcut as the device's shell reads one: "<length>#"<target>"".
        const sim::Entry* shortcut = device.Files().Find(sim::Utf16(row.shortcut));
        ASSERT_NE(shortcut, nullptr);
        ASSERT_NE(shortcut->content, nullptr);
        const std::string quoted = "\"" + row.target + "\"";
        EXPECT_EQ(std::string(shortcut->content->begin(), shortcut->content->end()),
                  std::to_string(quoted.size()) + "#" + quoted);
        // The install directory, where the application key and the package's
        // values name it.
        EXPECT_EQ(Value(device, u"SOFTWARE\\Apps\\Maker App", u"InstallDir"), row.dir);
        EXPECT_EQ(Value(device, u"Software\\Maker\\App", u"InstallDir"), row.dir);
        EXPECT_EQ(Value(device, u"Software\\Maker\\App", u"Help"), row.dir + "\\Help\\App.htm");
    }
}

} // namespace
