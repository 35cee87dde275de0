// The device's libraries and its Configuration Manager, as a program reaches
// them through LoadLibraryW, GetProcAddressW and FreeLibrary and the address
// of DMProcessConfigXML.
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using fixture::U8;

namespace {

// A run of a program on the device, for the platform calls made within it.
struct InRun {
    explicit InRun(sim::Device& device) : use(device, fixture::ProgramAt()) {}
    sim::Device::Use use;
};

std::string WhyOfLast(const sim::Device& device) {
    const sim::ev::Call* call = device.Events().back().As<sim::ev::Call>();
    return call != nullptr && call->why ? U8(*call->why) : "";
}

} // namespace

// A library by its file name, letter case ignored, with or without ".dll";
// another name fails with ERROR_MOD_NOT_FOUND. Loading a loaded library
// gives its handle again, and each load is given back.
TEST(Libraries, LoadByNameIgnoringCaseWithOrWithoutDll) {
    struct Case {
        const char* name;
        bool found;
    };
    const Case cases[] = {
        {"aygshell.dll", true}, {"AYGSHELL", true}, {"AygShell.DLL", true},      {"coredll", true},
        {"aygshell.dl", false}, {"ayg", false},     {"aygshell.dll.dll", false}, {"", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Device device = fixture::NewDevice(fixture::WindowsMobile());
        InRun run(device);
        const platform::HMODULE first = platform::LoadLibraryW(sim::Utf16(c.name).c_str());
        EXPECT_EQ(c.found, first != 0);
        if (!c.found) {
            EXPECT_EQ("the device has no library " + std::string(c.name), WhyOfLast(device));
            continue;
        }
        EXPECT_EQ(first, platform::LoadLibraryW(sim::Utf16(c.name).c_str()));
        EXPECT_EQ(1, platform::FreeLibrary(first));
        EXPECT_EQ(1, platform::FreeLibrary(first));
        EXPECT_TRUE(device.Violations().empty());
    }
    // A Pocket PC 2003 has COREDLL alone.
    sim::Device older = fixture::NewDevice();
    InRun run(older);
    EXPECT_EQ(0u, platform::LoadLibraryW(u"aygshell.dll"));
    EXPECT_EQ(sim::ErrorModNotFound, older.Events().back().As<sim::ev::Call>()->error);
}

// An export by its exact name: COREDLL's are the operations, which work when
// called through their addresses; a name the library does not export fails
// with ERROR_PROC_NOT_FOUND.
TEST(Libraries, AnExportByItsExactName) {
    sim::Device device = fixture::NewDevice(fixture::WindowsMobile());
    InRun run(device);
    const platform::HMODULE ayg = platform::LoadLibraryW(u"aygshell.dll");
    const platform::HMODULE core = platform::LoadLibraryW(u"coredll.dll");
    EXPECT_NE(nullptr, platform::GetProcAddressW(ayg, u"DMProcessConfigXML"));
    EXPECT_EQ("aygshell.dll!DMProcessConfigXML",
              U8(sim::RecordOf<sim::rec::GetProcAddressW>(device.Events().back())->result.value()));
    for (const char16_t* missing : {u"dmprocessconfigxml", u"SHFullScreen", u""}) {
        EXPECT_EQ(nullptr, platform::GetProcAddressW(ayg, missing));
        EXPECT_EQ(sim::ErrorProcNotFound, device.Events().back().As<sim::ev::Call>()->error);
    }
    EXPECT_EQ(nullptr, platform::GetProcAddressW(core, u"DMProcessConfigXML"));
    auto sleep =
        reinterpret_cast<void (*)(platform::DWORD)>(platform::GetProcAddressW(core, u"Sleep"));
    ASSERT_NE(nullptr, sleep);
    sleep(250);
    EXPECT_EQ(250u, device.NowMs());
    platform::FreeLibrary(core);
    platform::FreeLibrary(ayg);
    EXPECT_TRUE(device.Violations().empty());
}

// A handle that holds no loaded library is a misuse, and so is a library
// loaded and never freed.
TEST(Libraries, HandlesAreCheckedAndALibraryLeftLoadedIsAMisuse) {
    sim::Device device = fixture::NewDevice(fixture::WindowsMobile());
    {
        InRun run(device);
        const platform::HMODULE ayg = platform::LoadLibraryW(u"aygshell");
        EXPECT_EQ(nullptr, platform::GetProcAddressW(ayg + 1, u"DMProcessConfigXML"));
        EXPECT_EQ(0, platform::FreeLibrary(ayg + 1));
        EXPECT_EQ(1, platform::FreeLibrary(ayg));
        EXPECT_EQ(0, platform::FreeLibrary(ayg)); // freed already
        platform::LoadLibraryW(u"coredll");
    }
    const std::vector<std::string> misuse = {
        "GetProcAddressW: not a loaded library", "FreeLibrary: not a loaded library",
        "FreeLibrary: not a loaded library", "a library was left loaded"};
    EXPECT_EQ(misuse, device.Violations());
}

// The Configuration Manager carries out a document whole or not at all, and
// answers S_OK with the document as given, or the error its case calls for,
// with the failing characteristic marked in the document it answers.
TEST(ConfigurationManager, CarriesOutTheUnInstallProvider) {
    const std::u16string app = AppName;
    auto uninstall = [](const std::u16string& name, const char16_t* value = u"1") {
        return u"<wap-provisioningdoc><characteristic type=\"UnInstall\"><characteristic type=\"" +
               name + u"\"><parm name=\"uninstall\" value=\"" + value +
               u"\"/></characteristic></characteristic></wap-provisioningdoc>";
    };
    sim::Config noProvider = fixture::WindowsMobile();
    noProvider.configurationProviders.clear();
    struct Case {
        const char* what;
        std::u16string document;
        platform::DWORD flags;
        sim::Config kind;
        platform::HRESULT result;
        std::string output; // what the answer holds; "" for no answer
        bool removes;
    };
    const Case cases[] = {
        {"the program's document", UninstallDocument, 1, fixture::WindowsMobile(), platform::SOk,
         U8(UninstallDocument), true},
        {"an uninstall parm of 0", uninstall(app, u"0"), 1, fixture::WindowsMobile(), platform::SOk,
         "value=\"0\"", false},
        {"an application not installed", uninstall(u"Other Reader"), 1, fixture::WindowsMobile(),
         sim::ConfigECspException,
         "<characteristic-error type=\"Other Reader\" desc=\"the UnInstall provider finds "
         "nothing installed under &quot;Other Reader&quot;\">",
         false},
        {"a document that is not well-formed", u"<wap-provisioningdoc><characteristic", 1,
         fixture::WindowsMobile(), sim::ConfigEBadXml, "", false},
        {"no provisioning document", u"<characteristic type=\"UnInstall\"/>", 1,
         fixture::WindowsMobile(), sim::ConfigEBadXml, "", false},
        {"a provider the device has not",
         u"<wap-provisioningdoc><characteristic type=\"Registry\"/></wap-provisioningdoc>", 1,
         fixture::WindowsMobile(), sim::ConfigEEntryNotFound,
         "<characteristic-error type=\"Registry\"", false},
        {"a device without the UnInstall provider", UninstallDocument, 1, noProvider,
         sim::ConfigEEntryNotFound, "<characteristic-error type=\"UnInstall\"", false},
        {"a parm the provider does not take",
         u"<wap-provisioningdoc><characteristic type=\"UnInstall\"><characteristic type=\"" + app +
             u"\"><parm name=\"remove\" value=\"1\"/></characteristic></characteristic>"
             u"</wap-provisioningdoc>",
         1, fixture::WindowsMobile(), sim::ConfigECspException, "<characteristic-error", false},
        {"flags other than CFGFLAG_PROCESS", UninstallDocument, 2, fixture::WindowsMobile(),
         sim::EInvalidArg, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Device device = fixture::NewDevice(c.kind);
        fixture::InstallReader(device);
        char16_t* output = nullptr;
        platform::HRESULT result = 0;
        {
            InRun run(device);
            const platform::HMODULE ayg = platform::LoadLibraryW(u"aygshell.dll");
            auto process = reinterpret_cast<platform::DMProcessConfigXMLProc>(
                platform::GetProcAddressW(ayg, u"DMProcessConfigXML"));
            result = process(c.document.c_str(), c.flags, &output);
            EXPECT_EQ(c.output.empty(), output == nullptr);
            if (output != nullptr) {
                EXPECT_NE(std::string::npos, U8(output).find(c.output)) << U8(output);
            }
            platform::FreeLibrary(ayg);
        }
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(c.removes, device.Files().Find(ReaderPath) == nullptr);
        EXPECT_EQ(c.removes, !device.Keys().Has(fixture::AppKey));
        const auto configured = fixture::EventsOf<sim::ev::Configure>(device);
        ASSERT_EQ(1u, configured.size());
        EXPECT_EQ(static_cast<std::uint32_t>(c.result), configured[0].result);
        EXPECT_EQ(c.removes ? std::vector<std::u16string>{app} : std::vector<std::u16string>(),
                  configured[0].apps);
        EXPECT_EQ(c.result != platform::SOk, configured[0].why.has_value());
        EXPECT_TRUE(device.Violations().empty());
    }
}
