// Between the entry point and the program (see start.cpp).
#pragma once

#include "platform/platform.h"

namespace win32 {

// Runs the program's WinMain and returns its result.
int StartProgram(platform::HINSTANCE instance, char16_t* commandLine, int show);

} // namespace win32
