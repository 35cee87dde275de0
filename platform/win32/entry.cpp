// The process entry point. No C runtime is linked in: the program has no
// static initialisers and registers nothing to run at exit, so starting it is
// only this. The build names RunProcess as the image's entry.
#include "platform/win32/command_line.h"
#include "platform/win32/start.h"
#include "platform/win32/win32_api.h"

extern "C" void RunProcess() {
    HMODULE module = ::GetModuleHandleW(nullptr);
    char16_t* arguments = win32::SkipProgramName(reinterpret_cast<char16_t*>(::GetCommandLineW()));
    int result = win32::StartProgram(reinterpret_cast<platform::HINSTANCE>(module), arguments,
                                     SW_SHOWDEFAULT);
    ::ExitProcess(static_cast<UINT>(result));
}
