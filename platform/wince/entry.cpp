// The image's entry point. The device's loader calls it with WinMain's four
// arguments (the command line without the program's name) and ends the
// process with what it returns. There is no C runtime to start first.
#include "autorun/autorun.h"

extern "C" int WinMainCRTStartup(platform::HINSTANCE instance, platform::HINSTANCE previous,
                                 char16_t* commandLine, int show) {
    return WinMain(instance, previous, commandLine, show);
}
