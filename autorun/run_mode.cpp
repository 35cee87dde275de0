// Chooses what this start of the program is for.
#include "autorun/autorun.h"
#include "autorun/constants.h"
#include "autorun/text.h"

using platform::MaxPath;

RunMode DetermineRunMode(platform::HINSTANCE hInstance, const char16_t* lpCmdLine) {
    // The shell starts us with "install" when a card goes in.
    if (lpCmdLine != nullptr && EqualsIgnoringCase(lpCmdLine, InstallArgument)) {
        return RunMode::Install;
    }

    // After the card is gone the shell starts the copy it keeps in \Windows.
    char16_t ownPath[MaxPath];
    GetOwnPath(ownPath);
    if (EqualsIgnoringCase(ownPath, RemovalPath)) {
        return RunMode::Removal;
    }

    // The Programs-menu copy is named after the product title.
    char16_t title[MaxPath];
    if (LoadTitle(hInstance, title) && Contains(ownPath, title)) {
        return RunMode::Launch;
    }
    return RunMode::Install;
}
