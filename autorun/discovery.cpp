// Where the installed reader and the card's package are, and how new each is.
// Nothing here changes the device.
#include "autorun/autorun.h"
#include "autorun/constants.h"
#include "autorun/text.h"

using platform::FILETIME;
using platform::MaxPath;
using platform::WIN32_FIND_DATAW;

int FindInstalledReader(char16_t* pathOut, FILETIME* timeOut) {
    char16_t path[MaxPath];
    CopyToPath(path, ReaderPath);

    WIN32_FIND_DATAW found;
    platform::HANDLE search = platform::FindFirstFileW(path, &found);
    if (search == platform::InvalidHandleValue) {
        return 0;
    }
    *timeOut = found.ftLastWriteTime;
    CopyToPath(pathOut, ReaderPath);
    platform::FindClose(search);
    return 1;
}

platform::DWORD OsMajorVersion() {
    platform::OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = platform::OsVersionInfoSize;
    static_assert(sizeof version == platform::OsVersionInfoSize, "device layout");
    return platform::GetVersionExW(&version) ? version.dwMajorVersion : 0;
}

int IsPocketPcPlatform() {
    // A query that fails leaves its buffer zeroed, which reads as "not a
    // Pocket PC".
    char16_t platformType[256] = {};
    if (!platform::SystemParametersInfoW(platform::SpiGetPlatformType, sizeof platformType,
                                         platformType, 0)) {
        return 0;
    }
    // The version is asked for whatever the platform type says.
    const platform::DWORD major = OsMajorVersion();
    return platformType[0] == u'P' && major >= 3 ? 1 : 0;
}

// Looks for the first package in one card's platform folder. Paths that would
// not fit in MaxPath units pass the card over.
static int FindPackageOnCard(const char16_t* cardName, char16_t* pathOut, FILETIME* timeOut) {
    char16_t folder[MaxPath] = u"\\";
    if (!AppendToPath(folder, cardName) || !AppendToPath(folder, u"\\") ||
        !AppendToPath(folder, IsPocketPcPlatform() ? PocketPcCardDir : DefaultCardDir) ||
        !AppendToPath(folder, u"\\")) {
        return 0;
    }
    char16_t pattern[MaxPath];
    CopyToPath(pattern, folder);
    if (!AppendToPath(pattern, u"*.cab")) {
        return 0;
    }

    WIN32_FIND_DATAW package;
    platform::HANDLE search = platform::FindFirstFileW(pattern, &package);
    if (search == platform::InvalidHandleValue) {
        return 0;
    }
    // A folder whose name ends in ".cab" is no package: the first file is.
    bool isFile = (package.dwFileAttributes & platform::FileAttributeDirectory) == 0;
    while (!isFile && platform::FindNextFileW(search, &package)) {
        isFile = (package.dwFileAttributes & platform::FileAttributeDirectory) == 0;
    }
    int found = isFile && AppendToPath(folder, package.cFileName) ? 1 : 0;
    if (found) {
        CopyToPath(pathOut, folder);
        *timeOut = package.ftLastWriteTime;
    }
    platform::FindClose(search);
    return found;
}

int FindCardInstaller(char16_t* pathOut, FILETIME* timeOut) {
    WIN32_FIND_DATAW entry;
    platform::HANDLE root = platform::FindFirstFileW(u"\\*", &entry);
    if (root == platform::InvalidHandleValue) {
        return 0;
    }

    // A mounted storage card is a root folder marked temporary.
    const platform::DWORD card =
        platform::FileAttributeDirectory | platform::FileAttributeTemporary;
    int found = 0;
    do {
        if ((entry.dwFileAttributes & card) == card &&
            FindPackageOnCard(entry.cFileName, pathOut, timeOut)) {
            found = 1;
            break;
        }
    } while (platform::FindNextFileW(root, &entry));
    platform::FindClose(root);
    return found;
}
