// The program's one straight sequence: look up the reader and the package,
// choose the run mode, carry out its flow, and return 0.
#include "autorun/autorun.h"
#include "autorun/constants.h"

using platform::FILETIME;
using platform::MaxPath;

static void ReportMissingPackage() {
    platform::MessageBoxW(0, ErrorText, ErrorCaption, platform::MbOk);
}

int WinMain(platform::HINSTANCE hInstance, platform::HINSTANCE, char16_t* lpCmdLine, int) {
    char16_t readerPath[MaxPath];
    FILETIME readerTime;
    int haveReader = FindInstalledReader(readerPath, &readerTime);

    char16_t packagePath[MaxPath];
    FILETIME packageTime;
    int havePackage = FindCardInstaller(packagePath, &packageTime);

    switch (DetermineRunMode(hInstance, lpCmdLine)) {
    case RunMode::Removal:
        UninstallReader();
        SetProgramsMenuEntry(hInstance, platform::CsidlPrograms, false);
        RemoveAppRegistration();
        break;

    case RunMode::Launch:
        if (haveReader) {
            LaunchProgram(readerPath, EmptyArguments);
        } else if (havePackage) {
            // No reader to start: install it, as a card insertion would, but
            // leave alone the menu copy we are running from.
            LaunchProgram(packagePath, EmptyArguments);
        } else {
            ReportMissingPackage();
        }
        break;

    case RunMode::Install:
        if (!havePackage) {
            ReportMissingPackage();
            break;
        }
        SetProgramsMenuEntry(hInstance, platform::CsidlPrograms, true);
        if (haveReader && platform::CompareFileTime(&packageTime, &readerTime) <= 0) {
            LaunchProgram(readerPath, EmptyArguments);
        } else {
            LaunchProgram(packagePath, EmptyArguments);
        }
        break;
    }
    return 0;
}
