// What the program does to the device: start a program or open a document,
// have the reader uninstalled, keep its copy in the Programs menu, and delete
// the reader's application key.
#include "autorun/autorun.h"
#include "autorun/constants.h"
#include "autorun/text.h"

#include <cstring>

using platform::MaxPath;

void LaunchProgram(const char16_t* file, const char16_t* arguments) {
    platform::SHELLEXECUTEINFO info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = platform::ShellExecuteInfoSize;
    info.fMask = 0;
    info.hwnd = 0;
    info.lpVerb = nullptr;
    info.lpFile = file;
    info.lpParameters = arguments;
    info.lpDirectory = nullptr;
    info.nShow = platform::SwShowNormal;
    // The result is not examined and nothing is waited for: a failed start
    // changes nothing that follows.
    platform::ShellExecuteEx(&info);
}

// Has the Configuration Manager's UnInstall provider uninstall the reader;
// false when the library or its export cannot be had, or the call does not
// succeed.
static bool UninstallThroughConfiguration() {
    platform::HMODULE library = platform::LoadLibraryW(ConfigurationLibrary);
    if (library == 0) {
        return false;
    }
    bool done = false;
    auto process = reinterpret_cast<platform::DMProcessConfigXMLProc>(
        platform::GetProcAddressW(library, ConfigurationFunction));
    if (process != nullptr) {
        // The document it answers with is the caller's to free from the
        // platform's heap. This program has no heap and ends at once, so the
        // system takes it back with the process.
        char16_t* answer = nullptr;
        done = process(UninstallDocument, platform::CfgflagProcess, &answer) == platform::SOk;
    }
    platform::FreeLibrary(library);
    return done;
}

void UninstallReader() {
    // From Windows Mobile 5 on, Unload.exe removes nothing: uninstalling goes
    // through the Configuration Manager. Where that cannot be done, and on
    // every older device, Unload.exe is started as always; where it does
    // nothing, starting it is harmless.
    if (OsMajorVersion() >= ConfigurationManagerMajor && UninstallThroughConfiguration()) {
        return;
    }
    LaunchProgram(UninstallerPath, AppName);
}

void SetProgramsMenuEntry(platform::HINSTANCE hInstance, int folder, bool present) {
    // Without a title or a folder there is no name for the copy; a file called
    // just ".exe" is never made.
    char16_t title[MaxPath];
    if (!LoadTitle(hInstance, title)) {
        return;
    }
    // The folder's path is what the buffer holds, whatever the call answers:
    // the shell of Pocket PC 2002 and earlier answers FALSE even when it has
    // given the path. The buffer starts empty, so a call that gives nothing
    // leaves no path.
    char16_t entryPath[MaxPath] = {};
    platform::SHGetSpecialFolderPath(0, entryPath, folder, 1);
    if (BoundedLength(entryPath, MaxPath) <= 0) {
        return;
    }
    char16_t ownPath[MaxPath];
    GetOwnPath(ownPath);
    if (!AppendToPath(entryPath, u"\\") || !AppendToPath(entryPath, title) ||
        !AppendToPath(entryPath, u".exe")) {
        return;
    }

    if (!present) {
        platform::DeleteFileW(entryPath);
    } else if (ownPath[0] != 0) {
        platform::CopyFileW(ownPath, entryPath, 0);
    }
}

void RemoveAppRegistration() {
    platform::HKEY apps;
    if (platform::RegOpenKeyExW(platform::HkeyLocalMachine, AppsKey, 0, 0, &apps) !=
        platform::ErrorSuccess) {
        return;
    }
    // The uninstaller may still hold the key; give it up to ten more tries.
    // A key that is already gone needs no more tries: the uninstaller removed
    // it itself.
    platform::LONG result = platform::RegDeleteKeyW(apps, AppName);
    for (int retries = 0; result != platform::ErrorSuccess &&
                          result != platform::ErrorFileNotFound && retries < KeyDeleteRetries;
         ++retries) {
        platform::Sleep(KeyDeletePauseMs);
        result = platform::RegDeleteKeyW(apps, AppName);
    }
    platform::RegCloseKey(apps);
}
