// The process entry point. No C runtime is linked in: the program has no
// static initialisers and registers nothing to run at exit, so starting it is
// only this. The build names RunProcess as the image's entry.
#include "platform/win32/command_line.h"
#include "platform/win32/start.h"
#include "platform/win32/win32_api.h"

// The image's own headers, where the linker places the image: its base is the
// module's handle, which the process need not ask for.
extern "C" IMAGE_DOS_HEADER __ImageBase;

extern "C" void RunProcess() {
    char16_t* arguments = win32::SkipProgramName(reinterpret_cast<char16_t*>(::GetCommandLineW()));
    int result = win32::StartProgram(reinterpret_cast<platform::HINSTANCE>(&__ImageBase), arguments,
                                     SW_SHOWDEFAULT);
    ::ExitProcess(static_cast<UINT>(result));
}
