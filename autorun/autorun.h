// The program's own functions: the driver and run modes, the look-ups of the
// installed reader and of the card's package, and the actions on the device.
#pragma once

#include "platform/platform.h"

enum class RunMode : int { Install = 1, Launch = 0, Removal = -1 };

// Entry point, called by the platform's start-up code. Always returns 0.
int WinMain(platform::HINSTANCE hInstance, platform::HINSTANCE hPrevInstance, char16_t* lpCmdLine,
            int nCmdShow);

RunMode DetermineRunMode(platform::HINSTANCE hInstance, const char16_t* lpCmdLine);

// Look-ups: 1 with pathOut (platform::MaxPath units) and timeOut filled, or 0
// with both left untouched.
int FindInstalledReader(char16_t* pathOut, platform::FILETIME* timeOut);
int FindCardInstaller(char16_t* pathOut, platform::FILETIME* timeOut);
int IsPocketPcPlatform();
// The device's major version, or 0 when it cannot be had.
platform::DWORD OsMajorVersion();

void LaunchProgram(const char16_t* file, const char16_t* arguments);
// Has the device's uninstaller remove the reader: the Configuration Manager on
// Windows Mobile 5 and later, \Windows\Unload.exe wherever that cannot be
// done and on every older device.
void UninstallReader();
void SetProgramsMenuEntry(platform::HINSTANCE hInstance, int folder, bool present);
void RemoveAppRegistration();

// The running program's full path, or an empty path when it cannot be had.
void GetOwnPath(char16_t* path);

// The product title (string resource 1). False, with an empty title, when it
// cannot be loaded or is empty: such a title names nothing.
bool LoadTitle(platform::HINSTANCE hInstance, char16_t* title);
