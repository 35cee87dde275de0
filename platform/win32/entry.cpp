// The process entry point: the runtime's start-up calls it with the module's
// instance handle and the command line without the program's name, and ends
// the process with its result.
#include "platform/win32/start.h"
#include "platform/win32/win32_api.h"

#ifdef _WIN32_WCE
// The device's start-up calls a WinMain that takes a wide command line.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int show) {
#else
extern "C" int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int show) {
#endif
    return win32::StartProgram(reinterpret_cast<platform::HINSTANCE>(instance),
                               reinterpret_cast<char16_t*>(commandLine), show);
}
