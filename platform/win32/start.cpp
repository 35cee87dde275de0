// Hands the process start to the program's WinMain. Kept apart from the entry
// point: the Windows headers declare a WinMain of their own, which cannot be
// declared beside the program's in one file.
#include "autorun/autorun.h"
#include "platform/win32/start.h"

namespace win32 {

int StartProgram(platform::HINSTANCE instance, char16_t* commandLine, int show) {
    return ::WinMain(instance, 0, commandLine, show);
}

} // namespace win32
