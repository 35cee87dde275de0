// What the program knows of itself: its own path and its product title.
#include "autorun/autorun.h"
#include "autorun/constants.h"

using platform::MaxPath;

void GetOwnPath(char16_t* path) {
    platform::DWORD length = platform::GetModuleFileNameW(0, path, MaxPath);
    // A length of MaxPath means the path was cut short: it is not our path.
    if (length == 0 || length >= static_cast<platform::DWORD>(MaxPath)) {
        path[0] = 0;
    }
}

bool LoadTitle(platform::HINSTANCE hInstance, char16_t* title) {
    int length = platform::LoadStringW(hInstance, TitleStringId, title, MaxPath);
    if (length <= 0 || length >= MaxPath) {
        title[0] = 0;
        return false;
    }
    return true;
}
