// The command line as WinMain takes it: without the program's name.
#pragma once

namespace win32 {

// The arguments in a process's command line: what follows the program's name
// and the one blank after it, so that WinMain sees them exactly as the
// program was started with them (on the device, where no name precedes
// them, too). The name ends at the first blank (a space, a tab or any other
// unit below '!') outside double quotes; a quote only opens or closes a
// quoted part, so "C:\Program Files\a.exe" is one name. Returns a pointer
// into commandLine: to its terminator when there are no arguments.
char16_t* SkipProgramName(char16_t* commandLine);

} // namespace win32
