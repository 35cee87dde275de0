// What the program does to the device: start a program or open a document,
// keep its copy in the Programs menu, and delete the reader's application key.
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
